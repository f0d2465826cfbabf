// Builds the reference table the real-pair test holds the matcher to:
// textured ground pixels of the left image of each real pair and their
// partners, found slowly and independently of the matcher. Each pixel is
// searched exhaustively along its whole epipolar curve (a band across it) with
// windows warped two ways, as the pixel's surface would be if it faced the
// camera and if it lay level; the best place, if it stands clear of every
// other, is refined by a pattern search of position and window shape that
// maximises the correlation of Catmull-Rom resampled windows (of both images
// smoothed alike), and kept when
// the same search from the right image comes back within a small distance.
//
//   make_real_reference > tests/matching/data/real_reference.csv
#include "geometry/RayIntersection.h"
#include "matching/Epipolar.h"
#include "tests/matching/RealPairs.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

using namespace real_pairs;

namespace {

constexpr int kHalf = 10;             // windows of 21 x 21
constexpr double kLeastPeak = 0.6;    // correlation the best place needs
constexpr double kClearance = 0.15;   // by which it must beat every other peak
constexpr double kBackWithinPx = 0.3; // matching back lands this close
constexpr double kMaxRangeM = 30.0;
constexpr int kGridStep = 32;

double Linear(const GreyImage& im, double x, double y) {
    x = std::clamp(x, 0.0, im.width - 1.001);
    y = std::clamp(y, 0.0, im.height - 1.001);
    const int x0 = static_cast<int>(x);
    const int y0 = static_cast<int>(y);
    const double fx = x - x0;
    const double fy = y - y0;
    const float* r0 = im.Row(y0) + x0;
    const float* r1 = im.Row(y0 + 1) + x0;
    return (1 - fy) * ((1 - fx) * r0[0] + fx * r0[1]) + fy * ((1 - fx) * r1[0] + fx * r1[1]);
}

double Cubic(const GreyImage& im, double x, double y) {
    const auto weights = [](double t, double* w) {
        w[0] = 0.5 * (-t * t * t + 2 * t * t - t);
        w[1] = 0.5 * (3 * t * t * t - 5 * t * t + 2);
        w[2] = 0.5 * (-3 * t * t * t + 4 * t * t + t);
        w[3] = 0.5 * (t * t * t - t * t);
    };
    x = std::clamp(x, 1.0, im.width - 2.001);
    y = std::clamp(y, 1.0, im.height - 2.001);
    const int x0 = static_cast<int>(x);
    const int y0 = static_cast<int>(y);
    double wx[4], wy[4];
    weights(x - x0, wx);
    weights(y - y0, wy);
    double v = 0;
    for (int j = 0; j < 4; ++j) {
        const float* row = im.Row(std::min(y0 - 1 + j, im.height - 1)) + x0 - 1;
        v += wy[j] * (wx[0] * row[0] + wx[1] * row[1] + wx[2] * row[2] + wx[3] * row[3]);
    }
    return v;
}

// Window offsets (u, v) go to centre + (a u + b v, c u + d v).
struct Shape {
    double x = 0, y = 0, a = 1, b = 0, c = 0, d = 1;
};

using Values = std::array<double, (2 * kHalf + 1) * (2 * kHalf + 1)>;

double Zncc(const Values& s, const GreyImage& dst, const Shape& g, bool cubic) {
    Values t;
    size_t k = 0;
    for (int v = -kHalf; v <= kHalf; ++v) {
        for (int u = -kHalf; u <= kHalf; ++u) {
            const double x = g.x + g.a * u + g.b * v;
            const double y = g.y + g.c * u + g.d * v;
            t[k++] = cubic ? Cubic(dst, x, y) : Linear(dst, x, y);
        }
    }
    double ms = 0, mt = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        ms += s[i];
        mt += t[i];
    }
    ms /= s.size();
    mt /= t.size();
    double st = 0, ss = 0, tt = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        st += (s[i] - ms) * (t[i] - mt);
        ss += (s[i] - ms) * (s[i] - ms);
        tt += (t[i] - mt) * (t[i] - mt);
    }
    return ss > 0 && tt > 0 ? st / std::sqrt(ss * tt) : 0.0;
}

// Both images through a 3 x 3 binomial filter: one eye of a pair may carry
// a two-pixel pattern of its colour filter the other does not, which would
// otherwise decide the correlation of small windows.
GreyImage Smoothed(const GreyImage& im) {
    GreyImage out = im;
    for (int y = 1; y + 1 < im.height; ++y) {
        for (int x = 1; x + 1 < im.width; ++x) {
            double sum = 0;
            for (int v = -1; v <= 1; ++v) {
                for (int u = -1; u <= 1; ++u) {
                    sum += (2 - std::abs(u)) * (2 - std::abs(v)) * im.At(x + u, y + v);
                }
            }
            out.samples[static_cast<size_t>(y) * im.width + x] = static_cast<float>(sum / 16);
        }
    }
    return out;
}

bool Inside(const GreyImage& im, double x, double y, double margin) {
    return x >= margin && y >= margin && x <= im.width - 1 - margin && y <= im.height - 1 - margin;
}

// The warp of the window round p into the other image if its surface were
// the level plane (z constant, the frame's z being vertical) through the
// point where p's ray meets q's.
std::optional<Shape> LevelWarp(const ICameraProjection& from, const ICameraProjection& to,
                               const ImagePoint& p, const ImagePoint& q) {
    const auto rp = from.PixelToRay(p);
    const auto rq = to.PixelToRay(q);
    if (!rp || !rq) {
        return std::nullopt;
    }
    const RayIntersectionResult hit = IntersectRays(*rp, *rq);
    if (hit.status != RayIntersectionStatus::Ok || !(hit.tFirst > 0)) {
        return std::nullopt;
    }
    const double z = hit.closestOnFirst.m_dZ;
    const auto q0 = to.PointToPixel(hit.closestOnFirst);
    std::array<ImagePoint, 2> cols;
    for (int i = 0; i < 2; ++i) {
        const auto r = from.PixelToRay({p.x + (i == 0 ? 3.0 : 0.0), p.y + (i == 1 ? 3.0 : 0.0)});
        if (!r || std::abs(r->direction.m_dZ) < 1e-9) {
            return std::nullopt;
        }
        const double t = (z - r->origin.m_dZ) / r->direction.m_dZ;
        if (!(t > 0)) {
            return std::nullopt;
        }
        const auto qi = to.PointToPixel(r->origin + r->direction * t);
        if (!q0 || !qi) {
            return std::nullopt;
        }
        cols[i] = {(qi->x - q0->x) / 3.0, (qi->y - q0->y) / 3.0};
    }
    const Shape s{0, 0, cols[0].x, cols[1].x, cols[0].y, cols[1].y};
    const double det = s.a * s.d - s.b * s.c;
    if (!(det > 0.3 && det < 3.0) || std::abs(s.b) > 1.5 || std::abs(s.c) > 1.5) {
        return std::nullopt;
    }
    return s;
}

// The partner of p (sub-pixel) of src in dst, or nothing when no place
// stands out.
std::optional<Shape> FindPartner(const GreyImage& src, const ICameraProjection& srcCam,
                                 const GreyImage& dst, const ICameraProjection& dstCam,
                                 const ImagePoint& p) {
    Values s;
    size_t k = 0;
    for (int v = -kHalf; v <= kHalf; ++v) {
        for (int u = -kHalf; u <= kHalf; ++u) {
            s[k++] = Cubic(src, p.x + u, p.y + v);
        }
    }
    EpipolarOptions eo;
    eo.nearM = 1.0;
    eo.tolerancePx = 0.25;
    const EpipolarCurveResult curve = EpipolarCurve(srcCam, dstCam, p, dst.width, dst.height, eo);
    if (!curve.ok) {
        return std::nullopt;
    }
    struct Station {
        double best = -2;
        Shape shape;
    };
    std::vector<Station> profile;
    std::optional<Shape> level;
    for (size_t i = 0; i + 1 < curve.points.size(); ++i) {
        const ImagePoint a = curve.points[i];
        const ImagePoint b = curve.points[i + 1];
        const double len = std::hypot(b.x - a.x, b.y - a.y);
        for (double at = 0; at < len; at += 1.0) {
            const ImagePoint c{a.x + (b.x - a.x) * at / len, a.y + (b.y - a.y) * at / len};
            if (profile.size() % 4 == 0) {
                level = LevelWarp(srcCam, dstCam, p, c);
            }
            Station st;
            for (int band = -2; band <= 2; ++band) {
                const double nx = -(b.y - a.y) / len;
                const double ny = (b.x - a.x) / len;
                const double x = std::round(c.x + nx * band);
                const double y = std::round(c.y + ny * band);
                if (!Inside(dst, x, y, 2 * kHalf)) {
                    continue;
                }
                std::vector<Shape> shapes{Shape{x, y}};
                if (level) {
                    shapes.push_back({x, y, level->a, level->b, level->c, level->d});
                }
                for (const Shape& g : shapes) {
                    const double z = Zncc(s, dst, g, false);
                    if (z > st.best) {
                        st.best = z;
                        st.shape = g;
                    }
                }
            }
            profile.push_back(st);
        }
    }
    size_t peak = 0;
    for (size_t i = 0; i < profile.size(); ++i) {
        if (profile[i].best > profile[peak].best) {
            peak = i;
        }
    }
    if (profile.empty() || profile[peak].best < kLeastPeak) {
        return std::nullopt;
    }
    for (size_t i = 0; i < profile.size(); ++i) {
        const bool top = (i == 0 || profile[i].best >= profile[i - 1].best) &&
                         (i + 1 == profile.size() || profile[i].best >= profile[i + 1].best);
        if (top && (i + 4 < peak || i > peak + 4) &&
            profile[i].best > profile[peak].best - kClearance) {
            return std::nullopt;
        }
    }
    // Pattern search of position and shape on resampled windows.
    Shape g = profile[peak].shape;
    double score = Zncc(s, dst, g, true);
    double step = 0.5;
    while (step > 0.004) {
        bool moved = false;
        for (int param = 0; param < 6; ++param) {
            for (double sign : {-1.0, 1.0}) {
                Shape t = g;
                double* v[] = {&t.x, &t.y, &t.a, &t.b, &t.c, &t.d};
                *v[param] += sign * (param < 2 ? step : 0.1 * step);
                const double z = Zncc(s, dst, t, true);
                if (z > score) {
                    score = z;
                    g = t;
                    moved = true;
                }
            }
        }
        if (!moved) {
            step *= 0.5;
        }
    }
    if (std::hypot(g.x - profile[peak].shape.x, g.y - profile[peak].shape.y) > 3.0) {
        return std::nullopt;
    }
    return g;
}

} // namespace

int main() {
    std::printf("# pair,left x,left y,right x,right y,range m\n");
    for (const RealPairFiles& files : RealPairList()) {
        auto pair = LoadRealPair(files);
        if (!pair) {
            return 1;
        }
        pair->left = Smoothed(pair->left);
        pair->right = Smoothed(pair->right);
        int candidates = 0;
        int kept = 0;
        for (int y = kGridStep / 2; y < pair->left.height - 2 * kHalf; y += kGridStep) {
            for (int x = kGridStep / 2; x < pair->left.width - 2 * kHalf; x += kGridStep) {
                if (!Inside(pair->left, x, y, 2 * kHalf)) {
                    continue;
                }
                // Textured: a window deviation of at least 4 grey steps.
                double sum = 0, sum2 = 0;
                for (int v = -kHalf; v <= kHalf; ++v) {
                    for (int u = -kHalf; u <= kHalf; ++u) {
                        const double g = pair->left.At(x + u, y + v);
                        sum += g;
                        sum2 += g * g;
                    }
                }
                const double n = (2 * kHalf + 1) * (2 * kHalf + 1);
                if (std::sqrt(std::max(0.0, sum2 / n - sum * sum / n / n)) <
                    4 * pair->left.quantum) {
                    continue;
                }
                ++candidates;
                const ImagePoint p{static_cast<double>(x), static_cast<double>(y)};
                const auto there =
                    FindPartner(pair->left, *pair->leftCamera, pair->right, *pair->rightCamera, p);
                if (!there) {
                    continue;
                }
                const ImagePoint q{there->x, there->y};
                const auto back =
                    FindPartner(pair->right, *pair->rightCamera, pair->left, *pair->leftCamera, q);
                if (!back || std::hypot(back->x - p.x, back->y - p.y) > kBackWithinPx) {
                    continue;
                }
                double range = 0;
                pair->pair->Intersect(p.x, p.y, q.x, q.y, range);
                if (!(range <= kMaxRangeM)) {
                    continue;
                }
                ++kept;
                std::printf("%s,%d,%d,%.3f,%.3f,%.2f\n", files.name, x, y, q.x, q.y, range);
                std::fflush(stdout);
            }
        }
        std::fprintf(stderr, "%s: %d textured, %d kept\n", files.name, candidates, kept);
    }
    return 0;
}
