// Auto-match on two real Navcam pairs, held to a reference table made
// independently by make_real_reference (an exhaustive search with warped
// windows, checked both ways): near ground foreshortened between the eyes,
// compression noise, and a pair whose eyes were processed differently.
#include "matching/BayerMosaic.h"
#include "matching/Corners.h"
#include "matching/Matcher.h"
#include "tests/matching/RealPairs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

using namespace real_pairs;

namespace {

const RealPair& Pair(const std::string& name) {
    static std::map<std::string, RealPair> pairs;
    if (pairs.empty()) {
        for (const RealPairFiles& files : RealPairList()) {
            if (auto p = LoadRealPair(files)) {
                pairs.emplace(files.name, std::move(*p));
            }
        }
    }
    static const RealPair none;
    const auto it = pairs.find(name);
    return it == pairs.end() ? none : it->second;
}

struct Agreement {
    int tried = 0;
    int accepted = 0;
    int within1 = 0;
    double median = 1e9;
};

Agreement CompareWithReference(const std::string& name) {
    const RealPair& pair = Pair(name);
    Agreement a;
    if (pair.left.Empty()) {
        return a;
    }
    const StereoMatcher matcher(pair.left, pair.right, *pair.leftCamera, *pair.rightCamera);
    std::printf("%s: pixel-pattern share left %.3f right %.3f\n", name.c_str(),
                FilterPatternShare(pair.left), FilterPatternShare(pair.right));
    std::vector<double> errors;
    std::map<MatchStatus, int> refusals;
    for (const ReferencePoint& p : ReadReference()) {
        if (p.pair != name) {
            continue;
        }
        ++a.tried;
        const MatchResult m = matcher.Match(Eye::Left, p.left);
        if (!m.ok) {
            ++refusals[m.status];
            continue;
        }
        ++a.accepted;
        const double e = std::hypot(m.pixel.x - p.right.x, m.pixel.y - p.right.y);
        errors.push_back(e);
        a.within1 += e <= 1.0 ? 1 : 0;
    }
    if (!errors.empty()) {
        std::nth_element(errors.begin(), errors.begin() + errors.size() / 2, errors.end());
        a.median = errors[errors.size() / 2];
    }
    std::printf("%s: %d reference pixels, %d accepted, %d of them within 1 px, median %.3f px; "
                "refused:",
                name.c_str(), a.tried, a.accepted, a.within1, a.median);
    for (const auto& [status, count] : refusals) {
        std::printf(" status %d x %d", static_cast<int>(status), count);
    }
    std::printf("\n");
    return a;
}

} // namespace

TEST(RealPairMatch, TexturedGroundWithinThirtyMetresIsMatchedWhereTheReferenceFindsIt) {
    const Agreement a = CompareWithReference("sol1110");
    ASSERT_GE(a.tried, 100) << "the reference table lacks the pair";
    EXPECT_GE(a.accepted, 0.9 * a.tried);
    EXPECT_GE(a.within1, 0.95 * a.accepted);
    EXPECT_LE(a.median, 0.3);
}

TEST(RealPairMatch, EyesProcessedDifferentlyStillMatchMostOfTheGround) {
    const Agreement a = CompareWithReference("sol60");
    ASSERT_GE(a.tried, 100) << "the reference table lacks the pair";
    EXPECT_GE(a.accepted, 0.7 * a.tried);
    EXPECT_GE(a.within1, 0.95 * a.accepted);
    EXPECT_LE(a.median, 0.3);
}

// Regions of sky picked by eye, well clear of the skyline.
TEST(RealPairMatch, NothingIsAcceptedInTheSky) {
    const struct {
        const char* pair;
        PixelRect sky;
    } skies[] = {{"sol1110", {450, 30, 800, 370}}, {"sol60", {20, 15, 1250, 95}}};
    for (const auto& [name, sky] : skies) {
        const RealPair& pair = Pair(name);
        ASSERT_FALSE(pair.left.Empty()) << name;
        const StereoMatcher matcher(pair.left, pair.right, *pair.leftCamera, *pair.rightCamera);
        int tried = 0;
        for (int y = sky.y; y < sky.y + sky.height; y += 23) {
            for (int x = sky.x; x < sky.x + sky.width; x += 23) {
                ++tried;
                for (const Eye eye : {Eye::Left, Eye::Right}) {
                    const MatchResult m =
                        matcher.Match(eye, {static_cast<double>(x), static_cast<double>(y)});
                    EXPECT_FALSE(m.ok) << name << " " << x << "," << y << " matched " << m.pixel.x
                                       << "," << m.pixel.y;
                }
            }
        }
        EXPECT_GT(tried, 100) << name;
    }
}

// Auto-Detect on the real ground: the corners it picks are matched, and
// every pair it keeps intersects on the terrain in front of the rover (which
// in the middle of these rows runs out along a valley to about 90 m).
TEST(RealPairMatch, AutoDetectOnRealGroundMatchesMostCornersAndKeepsOnlyGroundPoints) {
    const RealPair& pair = Pair("sol1110");
    ASSERT_FALSE(pair.left.Empty());
    const StereoMatcher matcher(pair.left, pair.right, *pair.leftCamera, *pair.rightCamera);
    const DetectResult r = DetectVertexPairs(matcher, {0, 620, pair.left.width, 340}, {60});
    ASSERT_GE(r.found, 40);
    EXPECT_GE(r.matched, 0.8 * (r.matched + r.refused));
    for (const DetectedPair& p : r.pairs) {
        double range = 0.0;
        pair.pair->Intersect(p.left.x, p.left.y, p.match.pixel.x, p.match.pixel.y, range);
        EXPECT_GT(range, 2.0) << p.left.x << "," << p.left.y;
        EXPECT_LT(range, 150.0) << p.left.x << "," << p.left.y;
    }
}
