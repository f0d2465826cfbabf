// stereo-image and dense: the rectified pair as a picture for the eyes, and
// a range for every pixel of the left image with its files.
#include "base/AtomicFile.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "cli/MeasureOptions.h"
#include "imagedb/ImageDatabase.h"
#include "matching/GreyImageFile.h"
#include "stereo/DenseExport.h"
#include "stereo/DenseRange.h"
#include "stereo/Rectification.h"
#include "stereo/StereoImage.h"
#include "stereo/StereoRig.h"

#include <cstdio>
#include <memory>

namespace {

// The pair read and rectified: its cameras as the range calculation sees
// them (the products' own models, or the catalogue cameras and the
// database's poses), both images, and the rectification. Nothing when any
// of it fails (said on stderr).
struct RectifiedPair {
    StereoRig rig;
    GreyImage left;
    GreyImage right;
    std::shared_ptr<const StereoRectification> rect;
};

std::optional<RectifiedPair> LoadRectifiedPair(const Args& args) {
    const std::string leftPath = *args.Value("left");
    const std::string rightPath = *args.Value("right");
    ImageDatabase db;
    if (!LoadDatabase(args, db)) {
        return std::nullopt;
    }
    RectifiedPair pair;
    pair.rig = BuildPairRig(args, db);
    const StereoRig& rig = pair.rig;
    if (!rig.Cameras().ok) {
        return std::nullopt;
    }
    for (const auto& [path, image] :
         {std::pair{&leftPath, &pair.left}, {&rightPath, &pair.right}}) {
        ImageFileResult r = ReadGreyImage(*path);
        if (!r.ok) {
            std::fprintf(stderr, "%s\n", r.error.c_str());
            return std::nullopt;
        }
        *image = std::move(r.image);
    }
    pair.rect = std::make_shared<const StereoRectification>(
        rig.SharedCamera(Eye::Left), rig.SharedCamera(Eye::Right), pair.left.width,
        pair.left.height, pair.right.width, pair.right.height);
    if (!pair.rect->Problem().empty()) {
        std::fprintf(stderr, "%s\n", pair.rect->Problem().c_str());
        return std::nullopt;
    }
    return pair;
}

bool WriteOrSay(const std::string& path, const std::string& bytes) {
    std::string error;
    if (bytes.empty() || !WriteFileAtomically(path, bytes, &error)) {
        std::fprintf(stderr, "Unable to write %s: %s\n", path.c_str(),
                     bytes.empty() ? "the picture could not be encoded" : error.c_str());
        return false;
    }
    return true;
}

} // namespace

int RunStereoImage(const Tokens& tokens) {
    const Args args = ParsePairCommand(tokens, {"mode", "out"});
    const std::string modeText = args.Value("mode").value_or("anaglyph");
    const auto mode = ParseStereoImageMode(modeText);
    if (!mode) {
        throw UsageError{"--mode needs anaglyph, cross or parallel, got '" + modeText + "'"};
    }
    if (!args.Has("out")) {
        throw UsageError{"--out FILE.png is required"};
    }
    const auto pair = LoadRectifiedPair(args);
    if (!pair) {
        return 1;
    }
    const RgbImage picture = MakeStereoImage(pair->rect->Resample(Eye::Left, pair->left),
                                             pair->rect->Resample(Eye::Right, pair->right), *mode);
    const std::string out = *args.Value("out");
    if (!WriteOrSay(out, EncodePng(picture))) {
        return 1;
    }
    if (args.Json()) {
        Json j;
        j["out"] = out;
        j["mode"] = modeText;
        j["width"] = picture.width;
        j["height"] = picture.height;
        PrintJson(j);
    }
    return 0;
}

int RunDense(const Tokens& tokens) {
    const Args args = ParsePairCommand(
        tokens, {"max-range", "min-range", "xyz", "ply", "ply-format", "range-png", "frame"});
    DenseOptions options;
    const auto metres = [&](const char* name, double& into) {
        if (const auto v = args.Value(name)) {
            const auto m = ParseNumber(*v);
            if (!m || !(*m > 0.0)) {
                throw UsageError{std::string("--") + name +
                                 " needs a distance in metres above 0, got '" + *v + "'"};
            }
            into = *m;
        }
    };
    metres("max-range", options.maxRangeM);
    metres("min-range", options.minRangeM);
    const std::string plyFormat = args.Value("ply-format").value_or("binary");
    if (plyFormat != "binary" && plyFormat != "ascii") {
        throw UsageError{"--ply-format needs binary or ascii, got '" + plyFormat + "'"};
    }
    const std::string frame = args.Value("frame").value_or("rover");
    if (frame != "rover" && frame != "site") {
        throw UsageError{"--frame needs rover or site, got '" + frame + "'"};
    }
    const auto pair = LoadRectifiedPair(args);
    if (!pair) {
        return 1;
    }
    if (frame == "site" && !pair->rig.SitePosition({})) {
        std::fprintf(stderr, "the pair's products give no site frame: use --frame rover\n");
        return 1;
    }
    const DenseResult dense = ComputeDenseRange(pair->rect, pair->left, pair->right, options);
    if (!dense.ok) {
        std::fprintf(stderr, "%s\n", dense.problem.c_str());
        return 1;
    }
    const DenseRangeMap& map = dense.map;
    const std::vector<uint8_t> grey = StretchTo8Bit(pair->left);
    // The points in the site frame when asked; the map keeps the pair's
    // output frame (its ranges are from that origin).
    std::optional<std::vector<float>> sitePoints;
    if (frame == "site") {
        sitePoints =
            PointsInFrame(map, [&](const CPoint3D& p) { return pair->rig.SitePosition(p); });
    }
    const std::vector<float>* points = sitePoints ? &*sitePoints : nullptr;
    const std::string frameName = sitePoints ? "site frame" : "output frame";
    bool written = true;
    std::string error;
    if (const auto path = args.Value("xyz"); path && !WriteXyzTiff(*path, map, &error, points)) {
        std::fprintf(stderr, "Unable to write %s: %s\n", path->c_str(), error.c_str());
        written = false;
    }
    if (const auto path = args.Value("ply");
        path &&
        !WriteDensePly(*path, map, grey, plyFormat == "binary", &error, points, frameName)) {
        std::fprintf(stderr, "Unable to write %s: %s\n", path->c_str(), error.c_str());
        written = false;
    }
    if (const auto path = args.Value("range-png")) {
        written = WriteOrSay(*path, EncodePng(RangePicture(map, grey))) && written;
    }
    const DenseSummary& s = map.Summary();
    if (args.Json()) {
        Json j;
        j["width"] = s.width;
        j["height"] = s.height;
        j["valid"] = s.valid;
        j["valid_fraction"] = JsonNumber(s.validFraction);
        Json percentiles;
        const char* names[5] = {"p5", "p25", "p50", "p75", "p95"};
        for (int i = 0; i < 5; ++i) {
            percentiles[names[i]] = s.valid > 0 ? JsonNumber(s.rangePercentiles[i]) : Json();
        }
        j["range_percentiles"] = std::move(percentiles);
        j["disparity_range"] =
            Json::array({JsonNumber(s.minDisparity), JsonNumber(s.maxDisparity)});
        j["match_scale"] = s.matchScale;
        j["frame"] = frame;
        j["seconds"] = JsonNumber(dense.seconds);
        PrintJson(j);
    } else {
        std::printf("%lld of %d x %d pixels ranged (%.1f %%); range 5/50/95 %%: %.3f / %.3f / "
                    "%.3f m; %.2f s\n",
                    s.valid, s.width, s.height, 100.0 * s.validFraction, s.rangePercentiles[0],
                    s.rangePercentiles[2], s.rangePercentiles[4], dense.seconds);
    }
    return written ? 0 : 1;
}
