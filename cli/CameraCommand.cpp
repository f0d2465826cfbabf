// camera: the camera model, frame and pose a product carries (or the
// catalogue camera of a plain product name).
#include "base/Paths.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "geometry/CameraCatalogue.h"
#include "geometry/CameraModel.h"
#include "products/ProductName.h"
#include "products/ProductReader.h"
#include "stereo/ProductStereo.h"

#include <cstdio>
#include <filesystem>

namespace {

struct CameraReport {
    std::string source;
    ModelParameters model;
    std::string frame;
    std::vector<long long> frameIndex;
    std::optional<std::pair<int, int>> imageSize;
    std::optional<SitePose> pose;
    std::vector<std::string> notes;
};

Json JsonCamera(const CameraReport& c) {
    const ModelParameters& m = c.model;
    Json j;
    j["ok"] = true;
    j["source"] = c.source;
    j["model_type"] = ModelTypeName(m.type);
    j["C"] = JsonPoint(m.c);
    j["A"] = JsonPoint(m.a);
    j["H"] = JsonPoint(m.h);
    j["V"] = JsonPoint(m.v);
    if (m.type != ModelType::Cahv) {
        j["O"] = JsonPoint(m.o);
        j["R"] = JsonPoint(m.r);
    }
    if (m.type == ModelType::Cahvore) {
        j["E"] = JsonPoint(m.e);
        j["mtype"] = m.mtype;
        j["mparm"] = JsonNumber(m.mparm);
        j["linearity"] = JsonNumber(m.mtype == 1 ? 1.0 : (m.mtype == 2 ? 0.0 : m.mparm));
    }
    j["frame"] = c.frame.empty() ? Json(nullptr) : Json(c.frame);
    if (c.frameIndex.empty()) {
        j["frame_index"] = nullptr;
    } else {
        j["frame_index"] = Json::array();
        for (const long long i : c.frameIndex) {
            j["frame_index"].push_back(i);
        }
    }
    j["image_size"] =
        c.imageSize ? Json::array({c.imageSize->first, c.imageSize->second}) : Json(nullptr);
    j["principal_point"] = Json::array({JsonNumber(Dot(m.a, m.h)), JsonNumber(Dot(m.a, m.v))});
    j["focal_length_px"] =
        Json::array({JsonNumber(Cross(m.a, m.h).Length()), JsonNumber(Cross(m.a, m.v).Length())});
    if (c.pose) {
        const FramePose& p = c.pose->roverToSite;
        Json pose;
        pose["quaternion"] =
            Json::array({JsonNumber(p.rotation.m_dS), JsonNumber(p.rotation.m_ptVec.m_dX),
                         JsonNumber(p.rotation.m_ptVec.m_dY), JsonNumber(p.rotation.m_ptVec.m_dZ)});
        pose["offset"] = c.pose->offsetKnown ? JsonPoint(p.offset) : Json(nullptr);
        pose["site"] = c.pose->site;
        j["rover_to_site"] = pose;
    } else {
        j["rover_to_site"] = nullptr;
    }
    j["notes"] = JsonStrings(c.notes);
    return j;
}

void PrintText(const CameraReport& c) {
    const ModelParameters& m = c.model;
    auto vec = [](const char* name, const CPoint3D& p) {
        std::printf("%-3s %.9g %.9g %.9g\n", name, p.m_dX, p.m_dY, p.m_dZ);
    };
    std::printf("source: %s\nmodel:  %s\nframe:  %s", c.source.c_str(), ModelTypeName(m.type),
                c.frame.empty() ? "(catalogue model frame)" : c.frame.c_str());
    for (size_t i = 0; i < c.frameIndex.size(); ++i) {
        std::printf("%s%lld", i == 0 ? " (" : ",", c.frameIndex[i]);
    }
    std::printf("%s\n", c.frameIndex.empty() ? "" : ")");
    vec("C", m.c);
    vec("A", m.a);
    vec("H", m.h);
    vec("V", m.v);
    if (m.type != ModelType::Cahv) {
        vec("O", m.o);
        vec("R", m.r);
    }
    if (m.type == ModelType::Cahvore) {
        vec("E", m.e);
        std::printf("MTYPE %d  MPARM %.9g\n", m.mtype, m.mparm);
    }
    if (c.imageSize) {
        std::printf("image: %d x %d\n", c.imageSize->first, c.imageSize->second);
    }
    std::printf("principal point: %.4f %.4f\nfocal length (px): %.4f %.4f\n", Dot(m.a, m.h),
                Dot(m.a, m.v), Cross(m.a, m.h).Length(), Cross(m.a, m.v).Length());
    if (c.pose) {
        const FramePose& p = c.pose->roverToSite;
        std::printf("rover to site %d: quaternion %.9g %.9g %.9g %.9g  offset %.9g %.9g %.9g\n",
                    c.pose->site, p.rotation.m_dS, p.rotation.m_ptVec.m_dX, p.rotation.m_ptVec.m_dY,
                    p.rotation.m_ptVec.m_dZ, p.offset.m_dX, p.offset.m_dY, p.offset.m_dZ);
    } else {
        std::printf("rover to site: (none)\n");
    }
    for (const auto& n : c.notes) {
        std::printf("note: %s\n", n.c_str());
    }
}

int Failed(const std::string& message, bool json) {
    std::fprintf(stderr, "ranvista-cli camera: %s\n", message.c_str());
    if (json) {
        Json j;
        j["ok"] = false;
        j["message"] = message;
        PrintJson(j);
    }
    return 1;
}

} // namespace

int RunCamera(const Tokens& tokens) {
    std::string error;
    const auto args = Args::Parse(tokens, {}, error);
    if (!args) {
        throw UsageError{error};
    }
    if (args->Positionals().size() != 1) {
        throw UsageError{"usage: camera FILE [--json]"};
    }
    const std::string& path = args->Positionals()[0];
    CameraReport report;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) || !CarriesCameraModel(path)) {
        // A plain product name or image: the catalogue camera its name gives.
        const ProductNameInfo info = DecodeProductName(PathTitle(path));
        if (info.nCameraId < 0) {
            return Failed(path + (std::filesystem::exists(path, ec)
                                      ? ": carries no camera model, and its name is not a "
                                        "product name of a catalogue camera"
                                      : ": no such file, and not a product name of a catalogue "
                                        "camera"),
                          args->Json());
        }
        const CameraModel camera(info.nCameraId);
        report.source = "catalogue";
        report.model.type = ModelType::Cahvor;
        report.model.c = camera.m_ptC;
        report.model.a = camera.m_ptA;
        report.model.h = camera.m_ptH;
        report.model.v = camera.m_ptV;
        report.model.o = camera.m_ptO;
        report.model.r = camera.m_ptR;
        report.notes.push_back(std::string("catalogue camera ") + CameraName(info.nCameraId));
    } else {
        ProductReadOptions options;
        options.pixels = false;
        const ProductReadResult r = ReadProduct(path, options);
        if (!r.ok) {
            return Failed(r.message, args->Json());
        }
        const ProductInfo& p = r.product;
        report.source = p.source;
        report.model = p.model;
        report.frame = p.frame;
        report.frameIndex = p.frameIndex;
        if (p.width > 0 && p.height > 0) {
            report.imageSize = std::make_pair(p.width, p.height);
        }
        report.pose = p.pose;
        report.notes = p.notes;
    }
    if (args->Json()) {
        PrintJson(JsonCamera(report));
    } else {
        PrintText(report);
    }
    return 0;
}
