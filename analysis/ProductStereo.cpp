#include "analysis/ProductStereo.h"

#include "analysis/ProductFiles.h"
#include "geometry/CameraModel.h"
#include "geometry/Frames.h"
#include "geometry/RayIntersection.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

std::string IndexText(const std::vector<long long>& index) {
    std::string text;
    for (size_t i = 0; i < index.size(); ++i) {
        if (i > 0) {
            text.push_back(',');
        }
        text.append(std::to_string(index[i]));
    }
    return text;
}

bool IsImageFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[8] = {};
    in.read(head, sizeof head);
    const std::string_view h(head, static_cast<size_t>(in.gcount()));
    return h.substr(0, 8) == "\x89PNG\r\n\x1a\n" || h.substr(0, 2) == "\xFF\xD8";
}

} // namespace

std::string ProductCamera::Description() const {
    std::string text = source + ": " + ModelTypeName(model.type) + ", " + frame;
    if (pose) {
        text += " (site " + std::to_string(pose->site);
        if (!frameIndex.empty()) {
            text += ", motion counter " + IndexText(frameIndex);
        }
        text += ")";
    } else if (!frameIndex.empty()) {
        text += " (" + IndexText(frameIndex) + ")";
    }
    return text;
}

bool CarriesCameraModel(const std::string& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        return false;
    }
    if (!IsImageFile(path)) {
        // Labels, records and anything else the product reader takes; an
        // image format Ranvista reads without a label (BMP, TIFF, JPEG 2000)
        // is not a product.
        std::ifstream in(path, std::ios::binary);
        std::string head(64, '\0');
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        head.resize(static_cast<size_t>(in.gcount()));
        size_t i = head.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
        while (i < head.size() && std::isspace(static_cast<unsigned char>(head[i]))) {
            ++i;
        }
        const std::string_view h = std::string_view(head).substr(i);
        return h.substr(0, 14) == "PDS_VERSION_ID" || h.substr(0, 14) == "pds_version_id" ||
               h.substr(0, 8) == "LBLSIZE=" || h.substr(0, 1) == "<" || h.substr(0, 1) == "{" ||
               h.substr(0, 1) == "[" || fs::path(path).extension() == ".LBL" ||
               fs::path(path).extension() == ".lbl";
    }
    // An image: a product when its JSON record lies beside it.
    const fs::path p(path);
    const std::string stem = p.stem().string();
    const std::string name = p.filename().string();
    for (const std::string& candidate :
         {stem + ".json", name + ".json", stem + "-metadata.json", name + "-metadata.json"}) {
        if (fs::is_regular_file(p.parent_path() / candidate, ec)) {
            return true;
        }
    }
    return false;
}

ProductCameraResult ReadProductCamera(const std::string& path) {
    if (!CarriesCameraModel(path)) {
        return {};
    }
    ProductReadOptions options;
    options.pixels = false;
    options.refuseResizedImages = false;
    const ProductReadResult r = ReadProduct(path, options);
    if (!r.ok) {
        return {true, std::nullopt, r.message};
    }
    const ModelValidationResult valid = ValidateModel(r.product.model);
    if (!valid.ok) {
        return {true, std::nullopt, path + ": " + valid.message};
    }
    ProductCamera camera;
    camera.model = r.product.model;
    camera.source = r.product.source;
    camera.frame = r.product.frame;
    camera.frameIndex = r.product.frameIndex;
    camera.pose = r.product.pose;
    camera.width = r.product.width;
    camera.height = r.product.height;
    camera.imageWidth = r.product.imageWidth;
    camera.imageHeight = r.product.imageHeight;
    if (camera.source == "raw-json" && camera.imageWidth == 0) {
        // A record given for its image: the image beside it is what is measured.
        const std::string image = ImageFileToOpen(path);
        if (image != path) {
            if (const auto head = ReadFileHead(image, 1u << 20)) {
                if (const auto size = ImageFileSize(*head)) {
                    camera.imageWidth = size->first;
                    camera.imageHeight = size->second;
                }
            }
        }
    }
    return {true, camera, {}};
}

std::string ModelSizeMismatch(const std::string& path, const ProductCamera& camera,
                              std::optional<ImageSize> shown) {
    if (camera.width <= 0 || camera.height <= 0) {
        return {};
    }
    if (!shown && camera.imageWidth > 0 && camera.imageHeight > 0) {
        shown = ImageSize{camera.imageWidth, camera.imageHeight};
    }
    if (!shown || (shown->width == camera.width && shown->height == camera.height)) {
        return {};
    }
    const auto size = [](int w, int h) { return std::to_string(w) + " x " + std::to_string(h); };
    return fs::path(path).filename().string() + " is " + size(shown->width, shown->height) +
           " pixels but its camera model is for " + size(camera.width, camera.height) +
           " (a resized or cropped copy)";
}

namespace {

std::string LowerExtension(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return ext;
}

// The first PNG or JPEG image in the folder of beside called stem plus an
// image extension.
std::optional<std::string> ImageBeside(const std::string& beside, const std::string& stem) {
    for (const char* ext : {".png", ".jpg", ".jpeg", ".jpe"}) {
        if (const auto found = ResolveBeside(beside, stem + ext); found && IsImageFile(*found)) {
            return found;
        }
    }
    return std::nullopt;
}

// The image beside path that an image id names: the id is the image's name
// or a leading part of it (the feed drops the version suffix).
std::optional<std::string> ImageOfId(const std::string& path, const std::string& id) {
    if (id.empty() || id.find_first_of("/\\") != std::string::npos) {
        return std::nullopt;
    }
    if (const auto exact = ImageBeside(path, id)) {
        return exact;
    }
    std::error_code ec;
    std::vector<std::string> candidates;
    fs::directory_iterator it(fs::path(path).parent_path(), ec);
    for (std::size_t seen = 0; !ec && it != fs::directory_iterator() && seen < 100000;
         it.increment(ec), ++seen) {
        const std::string name = it->path().filename().string();
        const std::string ext = LowerExtension(name);
        if (name.compare(0, id.size(), id) == 0 &&
            (ext == ".png" || ext == ".jpg" || ext == ".jpeg") &&
            IsImageFile(it->path().string())) {
            candidates.push_back(it->path().string());
        }
    }
    if (candidates.empty()) {
        return std::nullopt;
    }
    // The same choice whatever order the folder lists its files in.
    return *std::min_element(candidates.begin(), candidates.end());
}

} // namespace

std::string ImageFileToOpen(const std::string& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        return path;
    }
    const std::string ext = LowerExtension(path);
    if (ext == ".json") {
        std::string stem = fs::path(path).stem().string();
        constexpr std::string_view kMetadata = "-metadata";
        if (stem.size() > kMetadata.size() &&
            stem.compare(stem.size() - kMetadata.size(), kMetadata.size(), kMetadata) == 0) {
            stem.resize(stem.size() - kMetadata.size());
        }
        // "NAME.png.json" names its image whole.
        if (const auto whole = ResolveBeside(path, stem); whole && IsImageFile(*whole)) {
            return *whole;
        }
        if (const auto image = ImageBeside(path, stem)) {
            return *image;
        }
        // A record saved under a name of its own: the image its id names.
        if (const auto text = ReadFileHead(path, 64u << 20)) {
            const nlohmann::json doc = nlohmann::json::parse(*text, nullptr, false);
            if (doc.is_object() && doc.contains("imageid") && doc["imageid"].is_string()) {
                const std::string id = doc["imageid"].get<std::string>();
                if (const auto image = ImageOfId(path, id)) {
                    return *image;
                }
            }
        }
        return path;
    }
    if ((ext == ".img" || ext == ".dat") && !CarriesCameraModel(path)) {
        // Pixels without a label of their own: the label beside them opens them.
        if (const auto label = FindSibling(path, ".LBL")) {
            return *label;
        }
    }
    return path;
}

const ProductCameraResult& ProductCameraCache::Get(const std::string& path) {
    const auto it = m_known.find(path);
    if (it != m_known.end()) {
        return it->second;
    }
    if (m_known.size() >= 4096) {
        m_known.clear();
    }
    return m_known.emplace(path, ReadProductCamera(path)).first->second;
}

ProductStereoPair::ProductStereoPair(const ProductCamera& left, const ProductCamera& right,
                                     bool b2D, double azCorrLeft, double azCorrRight)
    : m_leftPose(left.pose), m_b2D(b2D), m_turnLeft(FromAxisAngleDeg(kZAxis, -azCorrLeft)),
      m_turnRight(FromAxisAngleDeg(kZAxis, -azCorrRight)) {
    CameraModelResult l = MakeCameraModel(left.model);
    CameraModelResult r = MakeCameraModel(right.model);
    if (!l.model || !r.model) {
        m_problem =
            !l.model ? "left camera model: " + l.message : "right camera model: " + r.message;
        return;
    }
    m_left = std::move(l.model);
    m_right = std::move(r.model);
    if (left.pose && IsUsablePose(left.pose->roverToSite)) {
        m_attitude = left.pose->roverToSite.rotation;
    }
    const bool sameVehicleFrame = left.frame == right.frame && left.frameIndex == right.frameIndex;
    if (sameVehicleFrame) {
        return;
    }
    // Two rover positions: the rays meet in the site frame, which needs both
    // positions and one site.
    if (!left.pose || !right.pose || !left.pose->offsetKnown || !right.pose->offsetKnown) {
        m_problem = "the two images were taken from different rover positions (motion counters " +
                    IndexText(left.frameIndex) + " and " + IndexText(right.frameIndex) +
                    ") and a position in the site frame is missing";
        return;
    }
    if (left.pose->site != right.pose->site) {
        m_problem = "the two images were taken at different sites (" +
                    std::to_string(left.pose->site) + " and " + std::to_string(right.pose->site) +
                    "); Ranvista does not chain sites";
        return;
    }
    if (!IsUsablePose(left.pose->roverToSite) || !IsUsablePose(right.pose->roverToSite)) {
        m_problem = "a rover pose in the site frame is not usable";
        return;
    }
    m_bInSite = true;
    m_rightInLeft = ComposePoses(InversePose(left.pose->roverToSite), right.pose->roverToSite);
}

std::optional<Ray> ProductStereoPair::UnturnedRay(bool right, double x, double y) const {
    const std::optional<ProductCameraModel>& model = right ? m_right : m_left;
    if (!model) {
        return std::nullopt;
    }
    std::optional<Ray> ray = model->PixelToRay({x, y});
    if (!ray) {
        return std::nullopt;
    }
    if (right && m_rightInLeft) {
        ray = Ray{PointToReference(*m_rightInLeft, ray->origin),
                  VectorToReference(*m_rightInLeft, ray->direction)};
    }
    return OutputRayFromVehicle(*ray, m_attitude);
}

std::optional<Ray> ProductStereoPair::OutputRay(bool right, double x, double y) const {
    const std::optional<Ray> out = UnturnedRay(right, x, y);
    if (!out) {
        return std::nullopt;
    }
    CPoint3D d = out->direction;
    if (m_b2D) {
        d = ProjectOntoPlane(kZAxis, d).Normalized();
    }
    const CQuat& turn = right ? m_turnRight : m_turnLeft;
    return Ray{RotateVector(out->origin, turn), RotateVector(d, turn)};
}

std::optional<Ray> ProductStereoPair::CameraRay(bool right, double x, double y) const {
    const std::optional<Ray> out = UnturnedRay(right, x, y);
    if (!out) {
        return std::nullopt;
    }
    const CQuat& turn = right ? m_turnRight : m_turnLeft;
    return Ray{RotateVector(out->origin, turn), RotateVector(out->direction, turn)};
}

std::optional<ImagePoint> ProductStereoPair::CameraPixel(bool right,
                                                         const CPoint3D& pointInOutput) const {
    const std::optional<ProductCameraModel>& model = right ? m_right : m_left;
    if (!model) {
        return std::nullopt;
    }
    // Undo in reverse order what CameraRay does. The azimuth turns are unit
    // quaternions; the attitude may be a little off unit length, and
    // rotating by it and back by its conjugate scales by its squared norm
    // twice.
    const CQuat& turn = right ? m_turnRight : m_turnLeft;
    CPoint3D p = RotateVector(pointInOutput, turn.Conjugate());
    if (m_attitude) {
        const double norm2 =
            m_attitude->m_dS * m_attitude->m_dS + Dot(m_attitude->m_ptVec, m_attitude->m_ptVec);
        p = VehicleFromOutputTurned(p, *m_attitude) / (norm2 * norm2);
    } else {
        p = VehicleFromOutput(p);
    }
    if (right && m_rightInLeft) {
        p = PointFromReference(*m_rightInLeft, p);
    }
    return model->PointToPixel(p);
}

CPoint3D ProductStereoPair::Intersect(double xL, double yL, double xR, double yR, double& range,
                                      double* missDistance) const {
    range = DBL_MAX;
    if (!m_problem.empty()) {
        return CPoint3D::Invalid();
    }
    const std::optional<Ray> l = OutputRay(false, xL, yL);
    const std::optional<Ray> r = OutputRay(true, xR, yR);
    if (!l || !r) {
        return CPoint3D::Invalid();
    }
    const RayIntersectionResult hit = IntersectRays(*l, *r);
    if (!hit.ok()) {
        return CPoint3D::Invalid();
    }
    const double length = hit.point.Length();
    if (!(length < DBL_MAX)) {
        return CPoint3D::Invalid();
    }
    range = length;
    if (missDistance != nullptr) {
        *missDistance = hit.missDistance;
    }
    return hit.point;
}

double ProductStereoPair::PixelAngleDeg(double x, double y) const {
    const std::optional<Ray> a = OutputRay(false, x, y);
    const std::optional<Ray> b = OutputRay(false, x + 1.0, y);
    if (!a || !b) {
        return 0.0;
    }
    return AngleDeg(a->direction, b->direction);
}

std::optional<ProductStereoPair::AzElResult> ProductStereoPair::PixelAzEl(bool right, double x,
                                                                          double y) const {
    // The ray as OutputRay casts it, never flattened.
    const std::optional<ProductCameraModel>& model = right ? m_right : m_left;
    std::optional<Ray> ray = model ? model->PixelToRay({x, y}) : std::nullopt;
    if (!ray) {
        return std::nullopt;
    }
    if (right && m_rightInLeft) {
        ray = Ray{PointToReference(*m_rightInLeft, ray->origin),
                  VectorToReference(*m_rightInLeft, ray->direction)};
    }
    const CPoint3D d = RotateVector(OutputRayFromVehicle(*ray, m_attitude).direction,
                                    right ? m_turnRight : m_turnLeft);
    return AzElResult{-AzimuthDeg(d), 90.0 - AngleDeg(d, kZAxis)};
}

std::optional<CPoint3D> ProductStereoPair::SitePosition(const CPoint3D& pointInOutput) const {
    if (!m_leftPose || !m_leftPose->offsetKnown || !m_attitude) {
        return std::nullopt;
    }
    const CPoint3D inVehicle = VehicleFromOutputTurned(pointInOutput, *m_attitude);
    return PointToReference(m_leftPose->roverToSite, inVehicle);
}
