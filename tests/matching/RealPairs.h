// The two real Navcam pairs kept in tests/matching/data (grey copies of the
// published images beside their JSON records), their product cameras, and the
// reference table of ground pixels and partners made by make_real_reference.
#pragma once

#include "matching/GreyImage.h"
#include "matching/GreyImageFile.h"
#include "products/ProductCamera.h"
#include "stereo/ProductStereo.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace real_pairs {

struct RealPairFiles {
    const char* name; // as the reference table and the reports call it
    const char* left;
    const char* right;
};

// sol1110: a tile of a full frame, near ground to far hills and sky.
// sol60: left and right processed differently, so the eyes do not look alike.
inline const std::vector<RealPairFiles>& RealPairList() {
    static const std::vector<RealPairFiles> list{
        {"sol1110", "NLF_1110_0765465872_675ECM_N0512578NCAM13109_04_195J",
         "NRF_1110_0765465872_675ECM_N0512578NCAM13109_04_195J"},
        {"sol60", "NLF_0060_0672265209_237EBY_N0032046NCAM00410_00_0LLJ",
         "NRE_0060_0672265209_237ECM_N0032046NCAM00410_00_0LLJ"},
    };
    return list;
}

inline std::string RealDataDir() {
    return std::string(RANVISTA_SOURCE_DIR) + "/tests/matching/data/";
}

struct RealPair {
    std::string name;
    GreyImage left;
    GreyImage right;
    std::shared_ptr<const ProductStereoPair> pair;
    std::shared_ptr<const ICameraProjection> leftCamera;
    std::shared_ptr<const ICameraProjection> rightCamera;
};

// Nothing (and why on stderr) when a file is missing or unusable.
inline std::optional<RealPair> LoadRealPair(const RealPairFiles& files) {
    RealPair p;
    p.name = files.name;
    const std::string dir = RealDataDir();
    ImageFileResult l = ReadGreyImage(dir + files.left + ".png");
    ImageFileResult r = ReadGreyImage(dir + files.right + ".png");
    const ProductCameraResult lc = ReadProductCamera(dir + files.left + ".json");
    const ProductCameraResult rc = ReadProductCamera(dir + files.right + ".json");
    if (!l.ok || !r.ok || !lc.camera || !rc.camera) {
        std::fprintf(stderr, "%s: %s %s %s %s\n", files.name, l.error.c_str(), r.error.c_str(),
                     lc.message.c_str(), rc.message.c_str());
        return std::nullopt;
    }
    p.left = std::move(l.image);
    p.right = std::move(r.image);
    p.pair = std::make_shared<const ProductStereoPair>(*lc.camera, *rc.camera, false, 0.0, 0.0);
    if (!p.pair->Problem().empty()) {
        std::fprintf(stderr, "%s: %s\n", files.name, p.pair->Problem().c_str());
        return std::nullopt;
    }
    p.leftCamera = std::make_shared<const ProductPairSide>(p.pair, false);
    p.rightCamera = std::make_shared<const ProductPairSide>(p.pair, true);
    return p;
}

// One row of the reference table: a textured ground pixel of the left image,
// its partner in the right one, and the range the pair gives them.
struct ReferencePoint {
    std::string pair;
    ImagePoint left;
    ImagePoint right;
    double rangeM = 0.0;
};

inline std::string ReferencePath() {
    return RealDataDir() + "real_reference.csv";
}

inline std::vector<ReferencePoint> ReadReference() {
    std::vector<ReferencePoint> points;
    std::FILE* f = std::fopen(ReferencePath().c_str(), "r");
    if (f == nullptr) {
        return points;
    }
    char line[256];
    while (std::fgets(line, sizeof line, f) != nullptr) {
        char name[32];
        ReferencePoint p;
        if (std::sscanf(line, "%31[^,],%lf,%lf,%lf,%lf,%lf", name, &p.left.x, &p.left.y, &p.right.x,
                        &p.right.y, &p.rangeM) == 6) {
            p.pair = name;
            points.push_back(p);
        }
    }
    std::fclose(f);
    return points;
}

} // namespace real_pairs
