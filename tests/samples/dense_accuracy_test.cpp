// Rectification and the dense range map against the per-pixel ground truth
// of every sample pair: the maps go back and forth exactly, partners share a
// rectified row, and the dense partners of textured ground are where the
// true point appears, while the sky gets none.
#include "geometry/CatalogueProjection.h"
#include "matching/GreyImageFile.h"
#include "samplegen/SamplePairs.h"
#include "samplegen/TruthMap.h"
#include "stereo/DenseRange.h"
#include "stereo/Rectification.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

const std::string kSamples = std::string(RANVISTA_SOURCE_DIR) + "/samples/";

std::shared_ptr<const ICameraProjection> ProjectionOf(const PosedCamera& camera) {
    CataloguePose pose;
    pose.pose = PoseOf(camera.Record());
    pose.applyPointing = true;
    return std::make_shared<const CatalogueProjection>(camera.Model().m_nCameraId, pose);
}

struct Loaded {
    SamplePair pair;
    GreyImage left, right;
    std::shared_ptr<const StereoRectification> rect;
};

Loaded Load(const SamplePairDefinition& def) {
    Loaded l{BuildSamplePair(def), {}, {}, nullptr};
    const auto lf = ReadGreyImage(kSamples + def.folder + "/" + def.leftTitle + ".png");
    const auto rf = ReadGreyImage(kSamples + def.folder + "/" + def.rightTitle + ".png");
    EXPECT_TRUE(lf.ok && rf.ok) << def.folder;
    l.left = lf.image;
    l.right = rf.image;
    l.rect = std::make_shared<const StereoRectification>(
        ProjectionOf(l.pair.left), ProjectionOf(l.pair.right), l.left.width, l.left.height,
        l.right.width, l.right.height);
    EXPECT_EQ(l.rect->Problem(), "") << def.folder;
    return l;
}

// The local contrast round a pixel: the grey values' standard deviation in a
// 7 x 7 window.
double Contrast(const GreyImage& img, int cx, int cy) {
    double s = 0.0, s2 = 0.0;
    for (int v = -3; v <= 3; ++v) {
        for (int u = -3; u <= 3; ++u) {
            const double g = img.At(cx + u, cy + v);
            s += g;
            s2 += g * g;
        }
    }
    return std::sqrt(std::max(0.0, s2 / 49 - (s / 49) * (s / 49)));
}

// Texture in two dimensions: the root mean square grey gradient in the
// weakest direction round the pixel (7 x 7). Stripes, such as far ground
// drawn out into bands across the image, fix no position along them.
double Texture2d(const GreyImage& img, int cx, int cy) {
    double xx = 0.0, xy = 0.0, yy = 0.0;
    for (int v = -3; v <= 3; ++v) {
        for (int u = -3; u <= 3; ++u) {
            const double gx = 0.5 * (img.At(cx + u + 1, cy + v) - img.At(cx + u - 1, cy + v));
            const double gy = 0.5 * (img.At(cx + u, cy + v + 1) - img.At(cx + u, cy + v - 1));
            xx += gx * gx;
            xy += gx * gy;
            yy += gy * gy;
        }
    }
    const double half = 0.5 * (xx + yy);
    const double weakest = half - std::sqrt(std::max(0.0, half * half - (xx * yy - xy * xy)));
    return std::sqrt(std::max(0.0, weakest) / 49);
}

TEST(DenseAccuracy, RectificationMapsReturnToTheSamePixelAndPartnersShareARow) {
    for (const SamplePairDefinition& def : SamplePairDefinitions()) {
        const Loaded l = Load(def);
        const StereoRectification& rect = *l.rect;
        double worstExact = 0.0, worstFast = 0.0;
        for (const Eye eye : {Eye::Left, Eye::Right}) {
            for (int y = 0; y < rect.OriginalHeight(eye); y += 37) {
                for (int x = 0; x < rect.OriginalWidth(eye); x += 41) {
                    const ImagePoint o{x + 0.25, y + 0.75};
                    const auto r = rect.ToRectified(eye, o);
                    ASSERT_TRUE(r) << def.folder << " " << x << "," << y;
                    const auto back = rect.ToOriginal(eye, *r);
                    ASSERT_TRUE(back);
                    worstExact = std::max(worstExact, std::hypot(back->x - o.x, back->y - o.y));
                    const auto fast = rect.ToRectifiedFast(eye, o);
                    ASSERT_TRUE(fast);
                    worstFast = std::max(worstFast, std::hypot(fast->x - r->x, fast->y - r->y));
                    const auto fastBack = rect.ToOriginalFast(eye, *r);
                    ASSERT_TRUE(fastBack);
                    worstFast =
                        std::max(worstFast, std::hypot(fastBack->x - o.x, fastBack->y - o.y));
                }
            }
        }
        EXPECT_LE(worstExact, 0.01) << def.folder;
        EXPECT_LE(worstFast, 0.02) << def.folder;

        double worstRow = 0.0;
        for (const TruthPoint& t : l.pair.truth) {
            const auto rl = rect.ToRectified(Eye::Left, t.left);
            const auto rr = rect.ToRectified(Eye::Right, t.right);
            ASSERT_TRUE(rl && rr);
            worstRow = std::max(worstRow, std::abs(rl->y - rr->y));
            EXPECT_GT(rl->x - rr->x, 0.0) << "a point in front has a positive disparity";
        }
        EXPECT_LE(worstRow, 0.1) << def.folder;

        // The resampled image shows at a rectified pixel what the original
        // shows at the pixel it maps back to.
        const GreyImage rl = rect.Resample(Eye::Left, l.left);
        int compared = 0, close = 0;
        for (int y = 40; y < rl.height - 40; y += 53) {
            for (int x = 40; x < rl.width - 40; x += 59) {
                const auto o = rect.ToOriginal(Eye::Left, {double(x), double(y)});
                if (!o || o->x < 2 || o->y < 2 || o->x > l.left.width - 3 ||
                    o->y > l.left.height - 3) {
                    continue;
                }
                const int ox = static_cast<int>(std::lround(o->x));
                const int oy = static_cast<int>(std::lround(o->y));
                ++compared;
                const double slack = 2.0 * Contrast(l.left, ox, oy) + 2.0 / 255;
                close += std::abs(rl.At(x, y) - l.left.At(ox, oy)) <= slack ? 1 : 0;
            }
        }
        EXPECT_GT(compared, 100);
        EXPECT_GE(close, 0.97 * compared) << def.folder;
    }
}

TEST(DenseAccuracy, TexturedGroundIsFilledWithItsTruePartnerAndTheSkyIsLeftEmpty) {
    for (const SamplePairDefinition& def : SamplePairDefinitions()) {
        const Loaded l = Load(def);
        const TruthMap truth =
            ComputeTruthMap(l.pair.scene, l.pair.left, l.left.width, l.left.height);
        const DenseResult dense = ComputeDenseRange(l.rect, l.left, l.right);
        ASSERT_TRUE(dense.ok) << dense.problem;
        const DenseRangeMap& map = dense.map;
        // Depth edges (sky, a jump or a fold in the true partner), and how
        // many lie within kClearance pixels of each pixel: ground beside a
        // rock's outline is left out, where any window sees both.
        const int w = truth.width, h = truth.height;
        std::vector<ImagePoint> partner(static_cast<size_t>(w) * h);
        std::vector<char> seen(partner.size(), 0);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const auto p = truth.At(x, y);
                const size_t k = static_cast<size_t>(y) * w + x;
                seen[k] = p && l.pair.right.Project(*p, partner[k]) ? 1 : 0;
            }
        }
        const auto bends = [&](size_t a, size_t b, size_t c) {
            return !seen[a] || !seen[b] || !seen[c] ||
                   std::hypot(partner[a].x - 2 * partner[b].x + partner[c].x,
                              partner[a].y - 2 * partner[b].y + partner[c].y) > 0.1;
        };
        std::vector<int> edges(static_cast<size_t>(w + 1) * (h + 1), 0); // integral image
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const size_t k = static_cast<size_t>(y) * w + x;
                const bool edge = !seen[k] || (x > 0 && x + 1 < w && bends(k - 1, k, k + 1)) ||
                                  (y > 0 && y + 1 < h && bends(k - w, k, k + w));
                edges[(y + 1) * (w + 1) + x + 1] = (edge ? 1 : 0) + edges[y * (w + 1) + x + 1] +
                                                   edges[(y + 1) * (w + 1) + x] -
                                                   edges[y * (w + 1) + x];
            }
        }
        constexpr int kClearance = 6;
        const auto nearEdge = [&](int x, int y) {
            const int x0 = x - kClearance, y0 = y - kClearance;
            const int x1 = x + kClearance + 1, y1 = y + kClearance + 1;
            return edges[y1 * (w + 1) + x1] - edges[y0 * (w + 1) + x1] - edges[y1 * (w + 1) + x0] +
                       edges[y0 * (w + 1) + x0] !=
                   0;
        };
        int ground = 0, filled = 0, within1 = 0, sky = 0, skyFilled = 0;
        for (int y = 8; y < truth.height - 8; ++y) {
            for (int x = 8; x < truth.width - 8; ++x) {
                const auto p = truth.At(x, y);
                const auto d = map.At({double(x), double(y)});
                if (!p) {
                    // Sky; the ring of pixels next to an outline is partly
                    // rock or ground in the rendered image.
                    bool ring = false;
                    for (int v = -1; v <= 1; ++v) {
                        for (int u = -1; u <= 1; ++u) {
                            ring = ring || truth.At(x + u, y + v).has_value();
                        }
                    }
                    if (!ring) {
                        ++sky;
                        skyFilled += d ? 1 : 0;
                    }
                    continue;
                }
                ImagePoint r;
                if (std::abs(p->m_dZ - def.groundZ) > 1e-3 || !l.pair.right.Project(*p, r) ||
                    r.x < 8 || r.y < 8 || r.x > l.right.width - 9 || r.y > l.right.height - 9 ||
                    Texture2d(l.left, x, y) < 1.0 / 255 || nearEdge(x, y)) {
                    continue;
                }
                // Ground the right camera sees too (no rock in front of it).
                const CPoint3D toPoint = *p - l.pair.right.Centre();
                const double dist = toPoint.Length();
                if (l.pair.scene.Blocked(l.pair.right.Centre(), toPoint / dist,
                                         dist * (1 - 1e-4))) {
                    continue;
                }
                ++ground;
                if (!d) {
                    continue;
                }
                ++filled;
                within1 += std::hypot(d->right.x - r.x, d->right.y - r.y) <= 1.0 ? 1 : 0;
            }
        }
        std::printf("%s: %d textured ground pixels, %.1f %% filled, %.1f %% of those within 1 px; "
                    "%d sky pixels, %d filled; %.2f s\n",
                    def.folder.c_str(), ground, 100.0 * filled / ground, 100.0 * within1 / filled,
                    sky, skyFilled, dense.seconds);
        EXPECT_GT(ground, 10000) << def.folder;
        EXPECT_GE(filled, 0.8 * ground) << def.folder;
        EXPECT_GE(within1, 0.9 * filled) << def.folder;
        EXPECT_EQ(skyFilled, 0) << def.folder;
    }
}

} // namespace
