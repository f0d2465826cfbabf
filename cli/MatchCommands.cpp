// epipolar, match and detect: the assisted matching of the view on the
// command line, with the images, cameras and database options of measure.
#include "base/Paths.h"
#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "cli/MeasureOptions.h"
#include "imagedb/ImageDatabase.h"
#include "matching/Corners.h"
#include "matching/Epipolar.h"
#include "matching/GreyImageFile.h"
#include "matching/Matcher.h"
#include "stereo/StereoRig.h"

#include <cstdio>
#include <memory>

namespace {

// The eye of --pixel: left unless --from right.
Eye FromEye(const Args& args) {
    const std::string from = args.Value("from").value_or("left");
    if (from != "left" && from != "right") {
        throw UsageError{"--from needs left or right, got '" + from + "'"};
    }
    return from == "left" ? Eye::Left : Eye::Right;
}

ImagePoint PixelOf(const Args& args) {
    if (!args.Has("pixel")) {
        throw UsageError{"--pixel X,Y is required"};
    }
    const auto v = ListOrThrow(args, "pixel", 2, "X,Y");
    return {v[0], v[1]};
}

// The pair as the range calculation sees it: the products' own camera
// models, or the catalogue cameras from the names (or chosen) with poses
// from the database records, posed as its rays are cast.
struct Pair {
    std::string leftPath;
    std::string rightPath;
    ImageDatabase db;
    StereoRig rig; // the pair's cameras, built once for every measurement of the pair
};

// Nothing when the store exists but cannot be read, or the pair's cameras
// cannot measure it (said on stderr).
std::unique_ptr<Pair> LoadPair(const Args& args) {
    auto pair = std::make_unique<Pair>();
    pair->leftPath = *args.Value("left");
    pair->rightPath = *args.Value("right");
    if (!LoadDatabase(args, pair->db)) {
        return nullptr;
    }
    pair->rig = BuildPairRig(args, pair->db);
    if (!pair->rig.Cameras().ok) {
        return nullptr;
    }
    return pair;
}

std::optional<GreyImage> ReadImage(const std::string& path) {
    ImageFileResult r = ReadGreyImage(path);
    if (!r.ok) {
        std::fprintf(stderr, "%s\n", r.error.c_str());
        return std::nullopt;
    }
    return std::move(r.image);
}

Json PixelJson(const ImagePoint& p) {
    return Json::array({JsonNumber(p.x), JsonNumber(p.y)});
}

// The range calculation of a matched pair, as measure --json prints it.
Json MeasurementJson(Pair& pair, const ImagePoint& left, const ImagePoint& right) {
    const RangeCalcInput in = pair.rig.Input(left, right, {});
    std::string text;
    AppendResultJson(text, in, CalculateRange(in));
    return Json::parse(text);
}

const char* StatusName(MatchStatus s) {
    switch (s) {
    case MatchStatus::Matched:
        return "matched";
    case MatchStatus::OutsideImage:
        return "outside_image";
    case MatchStatus::AtBorder:
        return "at_border";
    case MatchStatus::Textureless:
        return "textureless";
    case MatchStatus::NoCurve:
        return "no_curve";
    case MatchStatus::Weak:
        return "weak";
    case MatchStatus::Ambiguous:
        return "ambiguous";
    case MatchStatus::Inconsistent:
        return "inconsistent";
    }
    return "unknown";
}

MatchOptions MatchOptionsOf(const Args& args) {
    MatchOptions o;
    if (const auto w = args.Value("window")) {
        const auto v = ParseNumber(*w);
        if (!v || *v < 11 || *v > 31 || *v != static_cast<int>(*v) ||
            static_cast<int>(*v) % 2 == 0) {
            throw UsageError{"--window needs an odd size from 11 to 31, got '" + *w + "'"};
        }
        o.windowPx = static_cast<int>(*v);
    }
    return o;
}

} // namespace

int RunEpipolar(const Tokens& tokens) {
    const Args args = ParsePairCommand(tokens, {"pixel", "near", "from"});
    const Eye from = FromEye(args);
    const ImagePoint pixel = PixelOf(args);
    EpipolarOptions eo;
    if (const auto n = args.Value("near")) {
        const auto v = ParseNumber(*n);
        if (!v || !(*v > 0.0)) {
            throw UsageError{"--near needs a distance in metres above 0, got '" + *n + "'"};
        }
        eo.nearM = *v;
    }
    const auto pair = LoadPair(args);
    if (!pair) {
        return 1;
    }
    const auto other = ReadImage(from == Eye::Left ? pair->rightPath : pair->leftPath);
    if (!other) {
        return 1;
    }
    const ICameraProjection& src =
        from == Eye::Left ? *pair->rig.Camera(Eye::Left) : *pair->rig.Camera(Eye::Right);
    const ICameraProjection& dst =
        from == Eye::Left ? *pair->rig.Camera(Eye::Right) : *pair->rig.Camera(Eye::Left);
    const EpipolarCurveResult curve =
        EpipolarCurve(src, dst, pixel, other->width, other->height, eo);
    if (args.Json()) {
        Json j;
        j["ok"] = curve.ok;
        if (!curve.ok) {
            j["reason"] = curve.reason;
        }
        Json points = Json::array();
        for (const ImagePoint& p : curve.points) {
            points.push_back(PixelJson(p));
        }
        j["points"] = std::move(points);
        Json ticks = Json::array();
        for (const EpipolarTick& t : curve.ticks) {
            ticks.push_back(Json{{"range", JsonNumber(t.rangeM)}, {"pixel", PixelJson(t.pixel)}});
        }
        j["ticks"] = std::move(ticks);
        PrintJson(j);
    } else if (!curve.ok) {
        std::printf("%s\n", curve.reason.c_str());
    } else {
        for (const ImagePoint& p : curve.points) {
            std::printf("%.3f,%.3f\n", p.x, p.y);
        }
        for (const EpipolarTick& t : curve.ticks) {
            std::printf("%g m: %.3f,%.3f\n", t.rangeM, t.pixel.x, t.pixel.y);
        }
    }
    return 0;
}

int RunMatch(const Tokens& tokens) {
    const Args args = ParsePairCommand(tokens, {"pixel", "window", "from"});
    const Eye from = FromEye(args);
    const ImagePoint pixel = PixelOf(args);
    const MatchOptions mo = MatchOptionsOf(args);
    const auto pair = LoadPair(args);
    if (!pair) {
        return 1;
    }
    const auto leftImage = ReadImage(pair->leftPath);
    const auto rightImage = leftImage ? ReadImage(pair->rightPath) : std::nullopt;
    if (!rightImage) {
        return 1;
    }
    const StereoMatcher matcher(*leftImage, *rightImage, *pair->rig.Camera(Eye::Left),
                                *pair->rig.Camera(Eye::Right), mo);
    const MatchResult m = matcher.Match(from, pixel);
    const ImagePoint left = from == Eye::Left ? pixel : m.pixel;
    const ImagePoint right = from == Eye::Left ? m.pixel : pixel;
    if (args.Json()) {
        Json j;
        j["ok"] = m.ok;
        if (!m.ok) {
            j["reason"] = m.reason;
        }
        j["status"] = StatusName(m.status);
        j["pixel"] = PixelJson(m.pixel);
        j["score"] = JsonNumber(m.score);
        j["ambiguity"] = JsonNumber(m.ambiguity);
        j["consistency_px"] = m.consistencyPx >= 0.0 ? JsonNumber(m.consistencyPx) : Json();
        j["sigma_px"] = m.ok ? JsonNumber(m.sigmaPx) : Json();
        j["window"] = m.windowPx;
        if (m.ok) {
            j["measurement"] = MeasurementJson(*pair, left, right);
        }
        PrintJson(j);
    } else if (m.ok) {
        std::printf("%.3f,%.3f score %.3f\n", m.pixel.x, m.pixel.y, m.score);
    } else {
        std::printf("%s\n", m.reason.c_str());
    }
    return 0;
}

int RunDetect(const Tokens& tokens) {
    const Args args = ParsePairCommand(tokens, {"max", "rect", "window", "from"});
    DetectOptions options;
    if (const auto n = args.Value("max")) {
        const auto v = ParseNumber(*n);
        if (!v || *v < 1 || *v > 100000 || *v != static_cast<int>(*v)) {
            throw UsageError{"--max needs a count from 1, got '" + *n + "'"};
        }
        options.maxPoints = static_cast<int>(*v);
    }
    const MatchOptions mo = MatchOptionsOf(args);
    const auto pair = LoadPair(args);
    if (!pair) {
        return 1;
    }
    const auto leftImage = ReadImage(pair->leftPath);
    const auto rightImage = leftImage ? ReadImage(pair->rightPath) : std::nullopt;
    if (!rightImage) {
        return 1;
    }
    PixelRect area{0, 0, leftImage->width, leftImage->height};
    if (args.Has("rect")) {
        const auto v = ListOrThrow(args, "rect", 4, "X,Y,WIDTH,HEIGHT");
        area = {static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
                static_cast<int>(v[3])};
    }
    const StereoMatcher matcher(*leftImage, *rightImage, *pair->rig.Camera(Eye::Left),
                                *pair->rig.Camera(Eye::Right), mo);
    const DetectResult found = DetectVertexPairs(matcher, area, options);
    for (const DetectedPair& p : found.pairs) {
        if (args.Json()) {
            Json j;
            j["left"] = PixelJson(p.left);
            j["right"] = PixelJson(p.match.pixel);
            j["score"] = JsonNumber(p.match.score);
            j["ambiguity"] = JsonNumber(p.match.ambiguity);
            j["consistency_px"] = JsonNumber(p.match.consistencyPx);
            j["sigma_px"] = JsonNumber(p.match.sigmaPx);
            j["measurement"] = MeasurementJson(*pair, p.left, p.match.pixel);
            PrintJson(j);
        } else {
            std::printf("%.3f,%.3f,%.3f,%.3f,%.3f\n", p.left.x, p.left.y, p.match.pixel.x,
                        p.match.pixel.y, p.match.score);
        }
    }
    std::fprintf(stderr, "Found %d, matched %d, refused %d\n", found.found, found.matched,
                 found.refused);
    return 0;
}
