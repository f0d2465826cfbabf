#include "matching/Epipolar.h"

#include <cmath>
#include <limits>
#include <optional>

namespace {

// The ray is walked in inverse distance s = 1/t: s = 0 is infinity and the
// image moves roughly evenly with s (disparity is proportional to it).
constexpr double kFarM = 1e9; // stands in for infinity when projecting
constexpr int kCoarseSteps = 64;
constexpr int kMaxDepth = 24;
// Projections one curve may spend: a model that never settles within the
// tolerance (a discontinuity) gets a coarser curve, not an endless one.
constexpr long kMaxProjections = 200000;

struct Sample {
    double s = 0.0;
    std::optional<ImagePoint> pixel; // none: not projected
    bool inside = false;
};

class Walker {
public:
    Walker(const ICameraProjection& to, const Ray& ray, int width, int height, double tolerance)
        : m_to(to), m_ray(ray), m_w(width), m_h(height), m_tol(tolerance) {}

    Sample At(double s) const {
        ++m_nProjections;
        Sample q;
        q.s = s;
        const double t = s > 0.0 ? 1.0 / s : kFarM;
        q.pixel = m_to.PointToPixel(m_ray.origin + m_ray.direction * t);
        q.inside = q.pixel && Inside(*q.pixel);
        return q;
    }

    bool Inside(const ImagePoint& p) const {
        return p.x >= -0.5 && p.y >= -0.5 && p.x <= m_w - 0.5 && p.y <= m_h - 0.5 &&
               std::isfinite(p.x) && std::isfinite(p.y);
    }

    // Appends the samples strictly between a and b (both inside) that keep
    // the chords within tolerance, then b.
    void Refine(const Sample& a, const Sample& b, int depth, std::vector<Sample>& out) const {
        if (depth < kMaxDepth && m_nProjections < kMaxProjections) {
            const Sample m = At(0.5 * (a.s + b.s));
            if (!m.inside) {
                // The curve leaves the image between two inside samples:
                // keep both parts up to the border, with a break between.
                Refine(a, Border(a, m), depth + 1, out);
                out.back().inside = false;
                const Sample back = Border(b, m);
                out.push_back(back);
                Refine(back, b, depth + 1, out);
                return;
            }
            const Sample q = At(0.75 * a.s + 0.25 * b.s);
            if (!q.inside || ChordDistance(*a.pixel, *b.pixel, *m.pixel) > m_tol ||
                ChordDistance(*a.pixel, *m.pixel, *q.pixel) > m_tol) {
                Refine(a, m, depth + 1, out);
                Refine(m, b, depth + 1, out);
                return;
            }
        }
        out.push_back(b);
    }

    // The point where the curve crosses the border between an inside and an
    // outside sample.
    Sample Border(Sample in, Sample out) const {
        for (int i = 0; i < 48; ++i) {
            const Sample m = At(0.5 * (in.s + out.s));
            (m.inside ? in : out) = m;
            if (out.pixel && Distance(*in.pixel, *out.pixel) < 1e-3) {
                break;
            }
        }
        return in;
    }

    static double Distance(const ImagePoint& a, const ImagePoint& b) {
        return std::hypot(a.x - b.x, a.y - b.y);
    }

    static double ChordDistance(const ImagePoint& a, const ImagePoint& b, const ImagePoint& p) {
        const double dx = b.x - a.x;
        const double dy = b.y - a.y;
        const double len2 = dx * dx + dy * dy;
        if (len2 < 1e-18) {
            return Distance(a, p);
        }
        const double u = ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2;
        if (u < 0.0 || u > 1.0) {
            return std::min(Distance(a, p), Distance(b, p));
        }
        return std::abs((p.x - a.x) * dy - (p.y - a.y) * dx) / std::sqrt(len2);
    }

private:
    const ICameraProjection& m_to;
    Ray m_ray;
    int m_w;
    int m_h;
    double m_tol;
    mutable long m_nProjections = 0;
};

double DistanceForRange(const Ray& ray, double rangeM) {
    // |origin + t d| = range, d unit: the far root.
    const double b = Dot(ray.origin, ray.direction);
    const double c = Dot(ray.origin, ray.origin) - rangeM * rangeM;
    const double disc = b * b - c;
    if (disc < 0.0) {
        return -1.0;
    }
    return -b + std::sqrt(disc);
}

} // namespace

EpipolarCurveResult EpipolarCurve(const ICameraProjection& from, const ICameraProjection& to,
                                  const ImagePoint& pixel, int width, int height,
                                  const EpipolarOptions& options) {
    EpipolarCurveResult res;
    if (width < 1 || height < 1 || !(options.nearM > 0.0) || !(options.tolerancePx > 0.0)) {
        res.reason = "Invalid image size or options";
        return res;
    }
    auto ray = from.PixelToRay(pixel);
    if (!ray) {
        res.reason = "The pixel has no viewing ray";
        return res;
    }
    ray->direction = ray->direction.Normalized();
    const Walker walk(to, *ray, width, height, options.tolerancePx);

    // Coarse samples from near (s = 1/near) to far (s = 0); the runs of
    // samples inside the image, with their ends moved to the border.
    const double sNear = 1.0 / options.nearM;
    std::vector<Sample> coarse;
    for (int i = 0; i <= kCoarseSteps; ++i) {
        coarse.push_back(walk.At(sNear * (1.0 - static_cast<double>(i) / kCoarseSteps)));
    }
    std::vector<std::vector<Sample>> runs;
    std::vector<Sample> run;
    for (size_t i = 0; i < coarse.size(); ++i) {
        const Sample& q = coarse[i];
        if (q.inside) {
            if (run.empty()) {
                run.push_back(i > 0 ? walk.Border(q, coarse[i - 1]) : q);
            }
            if (run.back().s != q.s) {
                walk.Refine(run.back(), q, 0, run);
            }
        } else if (!run.empty()) {
            const Sample end = walk.Border(run.back(), q);
            if (end.s != run.back().s) {
                walk.Refine(run.back(), end, 0, run);
            }
            runs.push_back(std::move(run));
            run.clear();
        }
    }
    if (!run.empty()) {
        runs.push_back(std::move(run));
    }
    // Refine marks a break inside a run with an outside sample: split there.
    std::vector<std::vector<Sample>> pieces;
    for (auto& r : runs) {
        std::vector<Sample> piece;
        for (const Sample& q : r) {
            piece.push_back(q);
            if (!q.inside) {
                pieces.push_back(std::move(piece));
                piece.clear();
            }
        }
        if (!piece.empty()) {
            pieces.push_back(std::move(piece));
        }
    }
    // The piece reaching farthest wins (the one with the vanishing point when
    // it is in view): that is where distant partners lie.
    const std::vector<Sample>* best = nullptr;
    for (const auto& p : pieces) {
        if (p.size() >= 2 && (best == nullptr || p.back().s < best->back().s)) {
            best = &p;
        }
    }
    if (best == nullptr) {
        res.reason = "The ray does not appear in the other image";
        return res;
    }
    for (const Sample& q : *best) {
        res.points.push_back(*q.pixel);
        res.distancesM.push_back(q.s > 0.0 ? 1.0 / q.s : std::numeric_limits<double>::infinity());
    }
    res.reachesVanishingPoint = best->back().s == 0.0;

    // Ticks at 1, 2, 5 x 10^k m while they lie on the curve and are still
    // apart from the previous one.
    const double sFarEnd = best->back().s;
    const double sNearEnd = best->front().s;
    std::optional<ImagePoint> last;
    bool crowded = false;
    for (double decade = 1.0; decade <= 1e6 && !crowded; decade *= 10.0) {
        for (const double m : {1.0, 2.0, 5.0}) {
            const double rangeM = m * decade;
            const double t = DistanceForRange(*ray, rangeM);
            if (!(t >= options.nearM)) {
                continue;
            }
            const double s = 1.0 / t;
            if (s > sNearEnd || s < sFarEnd) {
                continue;
            }
            const Sample q = walk.At(s);
            if (!q.inside) {
                continue;
            }
            if (last && Walker::Distance(*last, *q.pixel) < 0.5) {
                crowded = true;
                break;
            }
            res.ticks.push_back({rangeM, *q.pixel});
            last = q.pixel;
        }
    }
    res.ok = true;
    return res;
}
