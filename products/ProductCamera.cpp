#include "products/ProductCamera.h"

#include "geometry/CameraModel.h"
#include "geometry/Frames.h"
#include "geometry/RayIntersection.h"
#include "products/ProductFiles.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

std::string FrameIndexText(const std::vector<long long>& index) {
    std::string text;
    for (size_t i = 0; i < index.size(); ++i) {
        if (i > 0) {
            text.push_back(',');
        }
        text.append(std::to_string(index[i]));
    }
    return text;
}

namespace {

// "0.5", "0.25", "2": the shortest text that reads back as s.
std::string FormatScale(double s) {
    char text[32];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, s);
        if (std::strtod(text, nullptr) == s) {
            break;
        }
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
            text += ", motion counter " + FrameIndexText(frameIndex);
        }
        text += ")";
    } else if (!frameIndex.empty()) {
        text += " (" + FrameIndexText(frameIndex) + ")";
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
        return StartsWithOdlLabel(h) || h.substr(0, 8) == "LBLSIZE=" || h.substr(0, 1) == "<" ||
               h.substr(0, 1) == "{" || h.substr(0, 1) == "[" ||
               fs::path(path).extension() == ".LBL" || fs::path(path).extension() == ".lbl";
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

FittedCamera FitCameraToImage(const std::string& path, const ProductCamera& camera,
                              std::optional<ImageSize> shown) {
    FittedCamera fitted;
    const std::string mismatch = ModelSizeMismatch(path, camera, shown);
    if (mismatch.empty()) {
        fitted.camera = camera;
        return fitted;
    }
    if (!shown) {
        shown = ImageSize{camera.imageWidth, camera.imageHeight};
    }
    const double s = static_cast<double>(shown->width) / camera.width;
    if (shown->width <= 0 || shown->height <= 0 ||
        std::fabs(s * camera.height - shown->height) > 0.5) {
        fitted.problem = mismatch + ": another aspect cannot be fitted to the model";
        return fitted;
    }
    ProductCamera scaled = camera;
    ModelParameters& m = scaled.model;
    const CPoint3D halfA = m.a * 0.5;
    m.h = (m.h + halfA) * s - halfA;
    m.v = (m.v + halfA) * s - halfA;
    scaled.width = shown->width;
    scaled.height = shown->height;
    scaled.imageWidth = shown->width;
    scaled.imageHeight = shown->height;
    fitted.camera = scaled;
    fitted.note = fs::path(path).filename().string() + " is " + std::to_string(shown->width) +
                  " x " + std::to_string(shown->height) + " pixels, a rendition of the " +
                  std::to_string(camera.width) + " x " + std::to_string(camera.height) +
                  " image its camera model is for: the model is scaled by " + FormatScale(s);
    return fitted;
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
