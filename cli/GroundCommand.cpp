// ground: range from one image, the ray of a pixel met with a plane (given,
// fitted to a session's measurements, or the vehicle's ground plane).
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "cli/MeasureOptions.h"
#include "geometry/CameraCatalogue.h"
#include "imagedb/ImageDatabase.h"
#include "session/MonoRecord.h"
#include "session/SessionFile.h"
#include "stereo/MonoRange.h"

#include <cstdio>
#include <filesystem>

namespace {

// A failure: the reason on stderr (and as JSON on stdout), status 1.
int Refused(const std::string& message, bool json) {
    std::fprintf(stderr, "ranvista-cli ground: %s\n", message.c_str());
    if (json) {
        Json j;
        j["ok"] = false;
        j["kind"] = "mono";
        j["message"] = message;
        PrintJson(j);
    }
    return 1;
}

struct SurfaceChoice {
    std::optional<MonoSurface> surface;
    std::string problem;
};

// A plane fitted to the measured points of a session taken from the same
// rover position as the image.
SurfaceChoice SessionPlane(const std::string& path, const MonoCamera& camera,
                           std::optional<double> heightSigma) {
    const SessionReadResult read = ReadSessionFile(path);
    if (!read.ok) {
        return {std::nullopt, path + ": " + read.message};
    }
    SessionPlaneResult fitted = SessionPlaneSurface(read.session.leftImage, read.session.rightImage,
                                                    read.session.measurements, camera);
    if (!fitted.surface) {
        return {std::nullopt, path + (fitted.otherPosition ? " " : ": ") + fitted.problem};
    }
    if (heightSigma) {
        fitted.surface->heightSigmaM = *heightSigma;
    }
    return {fitted.surface, {}};
}

void PrintResultJson(const std::string& file, const ImagePoint& pixel, const MonoCamera& camera,
                     const MonoSurface& surface, const MonoRangeResult& r,
                     const CPoint3D& lastPosition, double pixelSigma) {
    Json j;
    j["ok"] = true;
    j["kind"] = "mono";
    j["range"] = JsonNumber(r.rangeM);
    j["position"] = JsonPoint(r.position);
    j["distance_to_last"] = JsonNumber((r.position - lastPosition).Length());
    j["azimuth"] = JsonNumber(r.azimuthDeg);
    j["elevation"] = JsonNumber(r.elevationDeg);
    j["incidence"] = JsonNumber(r.incidenceDeg);
    if (r.uncertainty) {
        const PointUncertainty& u = *r.uncertainty;
        j["sigma"] = {{"range", JsonNumber(u.rangeSigmaM)},
                      {"down_range", JsonNumber(u.downRangeSigmaM)},
                      {"cross_range", JsonNumber(u.crossRangeSigmaM)},
                      {"vertical", JsonNumber(u.verticalSigmaM)},
                      {"range_from_pixel", JsonNumber(r.rangeSigmaPixelM)},
                      {"range_from_surface", JsonNumber(r.rangeSigmaSurfaceM)}};
    } else {
        j["sigma"] = nullptr;
    }
    Json s;
    s["kind"] = surface.Name();
    s["description"] = surface.Description();
    s["plane"] = Json::array({JsonNumber(surface.normal.m_dX), JsonNumber(surface.normal.m_dY),
                              JsonNumber(surface.normal.m_dZ), JsonNumber(surface.offset)});
    s["height_sigma"] = JsonNumber(surface.heightSigmaM);
    s["points"] = surface.fittedPoints;
    j["surface"] = s;
    j["pixel"] = Json::array({JsonNumber(pixel.x), JsonNumber(pixel.y)});
    j["pixel_sigma"] = JsonNumber(pixelSigma);
    j["image"] = file;
    j["model_source"] = camera.source;
    if (!camera.note.empty()) {
        j["model_note"] = camera.note;
    }
    j["log_entry"] = MonoLogEntry(file, pixel, surface, r, lastPosition);
    PrintJson(j);
}

} // namespace

int RunGround(const Tokens& tokens) {
    OptionSet options;
    options.values = {"plane", "session", "height-sigma",  "camera",
                      "db",    "records", "last-position", "click-sigma"};
    std::string error;
    const auto args = Args::Parse(tokens, options, error);
    if (!args) {
        throw UsageError{error};
    }
    if (args->Positionals().size() != 3) {
        throw UsageError{"usage: ground FILE X Y [--plane A,B,C,D | --session S] "
                         "[--height-sigma M] [--json]"};
    }
    if (args->Has("plane") && args->Has("session")) {
        throw UsageError{"--plane and --session name two surfaces: give one"};
    }
    const std::string& file = args->Positionals()[0];
    const auto x = ParseNumber(args->Positionals()[1]);
    const auto y = ParseNumber(args->Positionals()[2]);
    if (!x || !y) {
        throw UsageError{"X and Y must be numbers (the pixel's column and row)"};
    }
    std::optional<double> heightSigma;
    if (const auto text = args->Value("height-sigma")) {
        heightSigma = ParseNumber(*text);
        if (!heightSigma || *heightSigma < 0.0) {
            throw UsageError{"--height-sigma needs a length of zero or more in metres, got '" +
                             *text + "'"};
        }
    }
    double pixelSigma = 0.5;
    if (const auto text = args->Value("click-sigma")) {
        const auto v = ParseNumber(*text);
        if (!v || !(*v > 0.0)) {
            throw UsageError{"--click-sigma needs a positive number of pixels, got '" + *text +
                             "'"};
        }
        pixelSigma = *v;
    }
    CPoint3D lastPosition;
    if (args->Has("last-position")) {
        const auto v = ListOrThrow(*args, "last-position", 3, "X,Y,Z");
        lastPosition = {v[0], v[1], v[2]};
    }
    CalcOptions calc;
    if (const auto text = args->Value("camera")) {
        calc.leftCamera = ParseCameraId(*text);
        if (!calc.leftCamera) {
            throw UsageError{"unknown camera '" + *text + "' (a name such as OppyNavL or 0-13)"};
        }
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        return Refused(file + ": no such file", args->Json());
    }
    ImageDatabase db;
    if (!LoadDatabase(*args, db)) {
        return 1;
    }
    const MonoCamera camera = MakeMonoCamera(file, calc, db);
    if (!camera.camera) {
        return Refused(camera.problem, args->Json());
    }
    if (!camera.note.empty()) {
        std::fprintf(stderr, "%s\n", camera.note.c_str());
    }

    MonoSurface surface;
    if (const auto text = args->Value("plane")) {
        const SurfaceResult plane = ParsePlane(*text, heightSigma.value_or(0.0));
        if (!plane.surface) {
            throw UsageError{"--plane: " + plane.problem};
        }
        surface = *plane.surface;
    } else if (const auto session = args->Value("session")) {
        const SurfaceChoice fitted = SessionPlane(*session, camera, heightSigma);
        if (!fitted.surface) {
            return Refused(fitted.problem, args->Json());
        }
        surface = *fitted.surface;
    } else {
        const SurfaceResult ground =
            VehicleGroundSurface(camera, heightSigma.value_or(kDefaultGroundHeightSigmaM));
        if (!ground.surface) {
            return Refused(ground.problem, args->Json());
        }
        surface = *ground.surface;
    }

    const ImagePoint pixel{*x, *y};
    const MonoRangeResult r = MeasureOnSurface(*camera.camera, pixel, surface, pixelSigma);
    if (!r.ok) {
        return Refused(r.problem, args->Json());
    }
    if (args->Json()) {
        PrintResultJson(file, pixel, camera, surface, r, lastPosition, pixelSigma);
    } else {
        const std::string entry = MonoLogEntry(file, pixel, surface, r, lastPosition);
        std::fwrite(entry.data(), 1, entry.size(), stdout);
    }
    return 0;
}
