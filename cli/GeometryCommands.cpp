// decode, ray and intersect: the geometry and product-name core.
#include "base/Messages.h"
#include "base/Paths.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "geometry/CameraModel.h"
#include "geometry/Frames.h"
#include "geometry/StereoIntersection.h"
#include "imagedb/ImageDatabase.h"
#include "products/ProductName.h"
#include "stereo/ProductStereo.h"

#include <cfloat>
#include <cstdio>

namespace {

Args ParseOrThrow(const Tokens& tokens, const OptionSet& options) {
    std::string error;
    auto args = Args::Parse(tokens, options, error);
    if (!args) {
        throw UsageError{error};
    }
    return *args;
}

double NumberOrThrow(const std::string& text, const char* what) {
    const auto v = ParseNumber(text);
    if (!v) {
        throw UsageError{std::string("bad ") + what + " '" + text + "'"};
    }
    return *v;
}

CameraId CameraOrThrow(const std::string& text, bool allowNone) {
    const auto id = ParseCameraId(text);
    if (!id || (!allowNone && *id < 0)) {
        throw UsageError{"unknown camera '" + text + "' (a name such as OppyNavL or 0-13)"};
    }
    return *id;
}

// "S,QX,QY,QZ,AZ,EL": attitude quaternion then head azimuth and elevation.
ImageRecord RecordOrThrow(const std::string& text, const char* option) {
    const auto v = ParseNumberList(text, 6);
    if (!v) {
        throw UsageError{std::string("--") + option + " needs S,QX,QY,QZ,AZ,EL, got '" + text +
                         "'"};
    }
    ImageRecord r;
    r.m_qAttitude = CQuat((*v)[0], {(*v)[1], (*v)[2], (*v)[3]});
    r.m_dAzimuth = (*v)[4];
    r.m_dElevation = (*v)[5];
    return r;
}

void PrintMessagesText(const std::vector<std::string>& messages) {
    for (const auto& m : messages) {
        std::fprintf(stderr, "%s\n", m.c_str());
    }
}

} // namespace

int RunDecode(const Tokens& tokens) {
    const Args args = ParseOrThrow(tokens, {});
    if (args.Positionals().size() != 1) {
        throw UsageError{"usage: decode NAME"};
    }
    const std::string& name = args.Positionals()[0];
    const std::string title = PathTitle(name);
    const ProductNameInfo info = DecodeProductName(title);
    if (info.bInvalidArgument) {
        std::fprintf(stderr, "ranvista-cli decode: %s\n", InvalidProductNameMessage(title).c_str());
        return 2;
    }
    const char* camera = CameraName(info.nCameraId);
    if (args.Json()) {
        Json j;
        // A bare file name has no folder (PathFolder gives it back whole).
        j["folder"] =
            name.find_first_of("/\\") == std::string::npos ? std::string() : PathFolder(name);
        j["name"] = PathName(name);
        j["extension"] = PathExtension(name);
        j["title"] = title;
        j["key"] = MakeProductKey(name);
        j["camera_id"] = info.nCameraId;
        j["camera"] = camera ? Json(camera) : Json(nullptr);
        j["has_sol"] = info.bHasSol;
        j["sol"] = info.nSol;
        j["hour"] = info.nHour;
        j["minute"] = info.nMinute;
        j["second"] = info.nSecond;
        j["sol_text"] = info.strSol;
        PrintJson(j);
    } else {
        std::printf("title:  %s\ncamera: %s\nsol:    %s\n", title.c_str(),
                    camera ? camera : "(none)", info.bHasSol ? info.strSol.c_str() : "(none)");
    }
    return 0;
}

namespace {

// Azimuth clockwise from +X seen from above (0 to 360) and elevation up, of
// a direction in a frame with +Z down (vehicle and site frames, PDS axes).
std::pair<double, double> PdsAzimuthElevation(const CPoint3D& d) {
    double az = std::atan2(d.m_dY, d.m_dX) * 180.0 / kPi;
    if (az < 0.0) {
        az += 360.0;
    }
    const double el = std::atan2(-d.m_dZ, std::hypot(d.m_dX, d.m_dY)) * 180.0 / kPi;
    return {az, el};
}

// The ray of a pixel of a product through the model the product carries:
// origin and direction in the vehicle frame, pointing in the vehicle frame
// and, with a pose, in the site frame.
int RunProductRay(const Args& args, const std::string& path, double x, double y) {
    const ProductCameraResult product = ReadProductCamera(path);
    const FittedCamera fitted =
        product.camera ? FitCameraToImage(path, *product.camera) : FittedCamera{};
    if (!fitted.camera) {
        const std::string& message = product.camera ? fitted.problem : product.message;
        std::fprintf(stderr, "%s\n", message.c_str());
        if (args.Json()) {
            Json j;
            j["ok"] = false;
            j["message"] = message;
            PrintJson(j);
        }
        return 1;
    }
    if (!fitted.note.empty()) {
        std::fprintf(stderr, "%s\n", fitted.note.c_str());
    }
    const CameraModelResult model = MakeCameraModel(fitted.camera->model);
    const std::optional<Ray> ray = model.model ? model.model->PixelToRay({x, y}) : std::nullopt;
    Json j;
    j["ok"] = ray.has_value();
    if (!ray) {
        j["message"] = "the model casts no ray through that pixel";
    }
    const CPoint3D direction = ray ? ray->direction.Normalized() : CPoint3D();
    j["origin"] = ray ? JsonPoint(ray->origin) : Json();
    j["direction"] = ray ? JsonPoint(direction) : Json();
    const auto [roverAz, roverEl] = PdsAzimuthElevation(direction);
    j["rover_azimuth"] = ray ? JsonNumber(roverAz) : Json();
    j["rover_elevation"] = ray ? JsonNumber(roverEl) : Json();
    j["site_azimuth"] = Json();
    j["site_elevation"] = Json();
    if (ray && fitted.camera->pose) {
        const auto [siteAz, siteEl] =
            PdsAzimuthElevation(VectorToReference(fitted.camera->pose->roverToSite, direction));
        j["site_azimuth"] = JsonNumber(siteAz);
        j["site_elevation"] = JsonNumber(siteEl);
    }
    j["model_source"] = fitted.camera->Description();
    if (!fitted.note.empty()) {
        j["model_note"] = fitted.note;
    }
    if (args.Json()) {
        PrintJson(j);
    } else if (ray) {
        std::printf("%s (%.17g, %.17g): origin %.6f %.6f %.6f  direction %.9f %.9f %.9f  "
                    "azimuth %.4f  elevation %.4f\n",
                    path.c_str(), x, y, ray->origin.m_dX, ray->origin.m_dY, ray->origin.m_dZ,
                    direction.m_dX, direction.m_dY, direction.m_dZ, roverAz, roverEl);
    } else {
        std::printf("%s (%.17g, %.17g): no ray\n", path.c_str(), x, y);
    }
    return ray ? 0 : 1;
}

} // namespace

int RunRay(const Tokens& tokens) {
    OptionSet options;
    options.values = {"record"};
    const Args args = ParseOrThrow(tokens, options);
    const auto& pos = args.Positionals();
    if (pos.size() != 3) {
        throw UsageError{"usage: ray CAMERA X Y [--record S,QX,QY,QZ,AZ,EL]"};
    }
    if (CarriesCameraModel(pos[0])) {
        if (args.Has("record")) {
            throw UsageError{"--record is for catalogue cameras; a product carries its pose"};
        }
        return RunProductRay(args, pos[0], NumberOrThrow(pos[1], "column"),
                             NumberOrThrow(pos[2], "row"));
    }
    const CameraId id = CameraOrThrow(pos[0], false);
    const double x = NumberOrThrow(pos[1], "column");
    const double y = NumberOrThrow(pos[2], "row");
    CameraModel model(id);
    if (const auto r = args.Value("record")) {
        model.m_pose = PoseOf(RecordOrThrow(*r, "record"));
    }
    CollectingMessageSink rayMessages;
    CPoint3D direction;
    {
        ScopedMessageSink scope(&rayMessages);
        direction = model.PixelToRay(x, y);
    }
    double azimuth = 0.0;
    double elevation = 0.0;
    {
        CollectingMessageSink ignored; // the same solver messages again
        ScopedMessageSink scope(&ignored);
        model.PixelAzEl(x, y, azimuth, elevation);
    }
    if (args.Json()) {
        Json j;
        j["camera_id"] = id;
        j["direction"] = JsonPoint(direction);
        j["azimuth"] = JsonNumber(azimuth);
        j["elevation"] = JsonNumber(elevation);
        j["messages"] = JsonStrings(rayMessages.m_vMessages);
        PrintJson(j);
    } else {
        PrintMessagesText(rayMessages.m_vMessages);
        std::printf("%s (%.17g, %.17g): direction %.9f %.9f %.9f  azimuth %.4f  elevation %.4f\n",
                    CameraName(id), x, y, direction.m_dX, direction.m_dY, direction.m_dZ, azimuth,
                    elevation);
    }
    return 0;
}

int RunIntersect(const Tokens& tokens) {
    OptionSet options;
    options.flags = {"2d"};
    options.values = {"az-corr", "left-record", "right-record", "rl-vector"};
    const Args args = ParseOrThrow(tokens, options);
    const auto& pos = args.Positionals();
    if (pos.size() != 6) {
        throw UsageError{
            "usage: intersect LEFT_CAMERA RIGHT_CAMERA XL YL XR YR [--2d] "
            "[--az-corr L,R] [--left-record R] [--right-record R] [--rl-vector X,Y,Z]"};
    }
    CameraModel left(CameraOrThrow(pos[0], true));
    CameraModel right(CameraOrThrow(pos[1], true));
    const double xL = NumberOrThrow(pos[2], "XL");
    const double yL = NumberOrThrow(pos[3], "YL");
    const double xR = NumberOrThrow(pos[4], "XR");
    const double yR = NumberOrThrow(pos[5], "YR");
    double azL = 0.0;
    double azR = 0.0;
    if (const auto a = args.Value("az-corr")) {
        const auto v = ParseNumberList(*a, 2);
        if (!v) {
            throw UsageError{"--az-corr needs L,R, got '" + *a + "'"};
        }
        azL = (*v)[0];
        azR = (*v)[1];
    }
    if (const auto r = args.Value("left-record")) {
        left.m_pose = PoseOf(RecordOrThrow(*r, "left-record"));
    }
    if (const auto r = args.Value("right-record")) {
        right.m_pose = PoseOf(RecordOrThrow(*r, "right-record"));
    }
    const bool b2D = args.Has("2d");
    CollectingMessageSink messages;
    double range = 0.0;
    CPoint3D p;
    {
        ScopedMessageSink scope(&messages);
        if (const auto rl = args.Value("rl-vector")) {
            const auto v = ParseNumberList(*rl, 3);
            if (!v) {
                throw UsageError{"--rl-vector needs X,Y,Z, got '" + *rl + "'"};
            }
            if (!left.m_pose || !right.m_pose) {
                throw UsageError{"--rl-vector needs both --left-record and --right-record"};
            }
            p = StereoIntersectRL(left, right, b2D, {(*v)[0], (*v)[1], (*v)[2]}, xL, yL, xR, yR,
                                  azL, azR, range);
        } else {
            p = StereoIntersect(left, right, b2D, xL, yL, xR, yR, azL, azR, range);
        }
    }
    const bool ok = range != DBL_MAX;
    if (args.Json()) {
        Json j;
        j["ok"] = ok;
        j["range"] = ok ? JsonNumber(range) : Json(nullptr);
        j["position"] = ok ? JsonPoint(p) : Json(nullptr);
        j["messages"] = JsonStrings(messages.m_vMessages);
        PrintJson(j);
    } else {
        PrintMessagesText(messages.m_vMessages);
        if (ok) {
            std::printf("range %.4f  position %.4f, %.4f, %.4f\n", range, p.m_dX, p.m_dY, p.m_dZ);
        } else {
            std::printf("Error\n");
        }
    }
    return 0;
}
