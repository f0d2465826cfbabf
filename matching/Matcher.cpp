#include "matching/Matcher.h"

#include "matching/BayerMosaic.h"

#include "matching/Epipolar.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr int kMinWindow = 11;
constexpr int kMaxWindow = 31;
constexpr int kMinClippedWindow = 9; // a window cut by the border keeps at least this
// A window with this many times the least contrast is large enough.
constexpr double kEnoughContrast = 4.0;
// Structure (in squared quanta) a window needs to be chosen before a larger one.
constexpr double kGoodStructure = 2000.0;
// Least structure along the search direction for any match.
constexpr double kLeastStructure = 200.0;
// Correlation given up per pixel of offset across the curve, so that an
// edge crossing the band is matched where it crosses the curve.
constexpr double kBandPenalty = 0.03;
// Stiffness of the sub-pixel alignment's pull toward the curve, as a share
// of the image's own.
constexpr double kCurveSpring = 0.02;
// Mismatch that even a true match shows (sampling, noise): added to both
// sides of the ambiguity ratio so that two near-perfect peaks count as alike.
constexpr double kMismatchFloor = 0.02;
// A second peak must rise this far above the valley that parts it from the best.
constexpr double kProminence = 0.1;
// How far the sub-pixel alignment may move from the best whole-pixel window:
// on a slanted surface the whole-pixel peak of a smooth texture can lie a
// few pixels from the true one.
constexpr double kMaxAlignShiftPx = 3.0;
// Pixels beside the click whose rays give the shape of a level surface.
constexpr double kShapeStepPx = 4.0;
// Curve length after which the predicted shape is computed again.
constexpr double kShapeEveryPx = 8.0;
// Shapes whose entries all differ less than this are taken as one.
constexpr double kSameShape = 0.04;
// Predicted shapes beyond these (a level surface seen nearly edge-on) are
// not tried.
constexpr double kLeastShapeDet = 0.4;
constexpr double kMostShapeChange = 1.0;
// Above this disagreement of the two windows' grey distributions the
// profile's peaks are scored by rank correlation, the kRankedPeaks highest.
constexpr double kMostHistogramDisagreement = 0.1;
constexpr size_t kRankedPeaks = 8;
// The alignment's residual variance is scaled up for the parameters it
// fits, by at most the inverse of this.
constexpr double kLeastDegreesShare = 0.5;
// Gauss-Newton steps of the alignment, and the step below which it has settled.
constexpr int kAlignIterations = 15;
constexpr double kSettledStepPx = 0.01;
// How far each entry of the window's shape may move from the predicted one
// in the alignment.
constexpr double kMaxShapeChange = 0.5;
// Standard deviation of the alignment's centre weighting, as a share of the
// window size.
constexpr double kCentreWeightShare = 0.25;
// How far the smallest window, aligned from a larger one's match, may move
// before the match is taken to depend on the window.
constexpr double kMaxWindowDisagreementPx = 1.0;

// A window around an integer centre, cut by the image border: offsets
// -left..right and -up..down.
struct Window {
    int left = 0, right = 0, up = 0, down = 0;
    int Width() const { return left + right + 1; }
    int Height() const { return up + down + 1; }
    int Count() const { return Width() * Height(); }
};

Window ClippedWindow(const GreyImage& image, int cx, int cy, int size) {
    const int half = size / 2;
    return {std::min(half, cx), std::min(half, image.width - 1 - cx), std::min(half, cy),
            std::min(half, image.height - 1 - cy)};
}

// The summed squared grey gradient (central differences) along the unit
// direction (ex, ey) inside a window: how sharply the window's position along
// that direction is fixed.
double StructureAlong(const GreyImage& image, int cx, int cy, const Window& w, double ex,
                      double ey) {
    double sum = 0.0;
    for (int y = std::max(1, cy - w.up); y <= std::min(image.height - 2, cy + w.down); ++y) {
        const float* row = image.Row(y);
        const float* up = image.Row(y - 1);
        const float* down = image.Row(y + 1);
        for (int x = std::max(1, cx - w.left); x <= std::min(image.width - 2, cx + w.right); ++x) {
            const double g = 0.5 * (ex * (row[x + 1] - row[x - 1]) + ey * (down[x] - up[x]));
            sum += g * g;
        }
    }
    return sum;
}

bool InImage(const GreyImage& image, const ImagePoint& p) {
    return p.x >= -0.5 && p.y >= -0.5 && p.x < image.width - 0.5 && p.y < image.height - 0.5;
}

// A window's grey values with their best-fitting plane (mean and linear
// ramp) removed. Correlating these ignores smooth shading, which otherwise
// matches itself equally well all along its slope.
struct Template {
    Window window;
    std::vector<float> values;        // row-major residuals
    std::vector<float> columnOffsets; // centred column offset of each window column
    std::vector<float> rowOffsets;    // centred row offset of each window row
    double sumU2 = 0.0;               // sums of the squared centred offsets over the window
    double sumV2 = 0.0;
    double norm = 0.0; // of the residuals

    // Standard deviation of the residuals: the texture of the window.
    double Texture() const { return norm / std::sqrt(static_cast<double>(window.Count())); }
};

// A template of window w from values(u, v), the grey value at window offset
// (u, v): the values less their best-fitting plane.
template <class Values> Template MakeTemplateOf(const Window& w, const Values& values) {
    Template t;
    t.window = w;
    const double mu = 0.5 * (w.right - w.left);
    const double mv = 0.5 * (w.down - w.up);
    for (int u = -w.left; u <= w.right; ++u) {
        t.columnOffsets.push_back(static_cast<float>(u - mu));
        t.sumU2 += (u - mu) * (u - mu) * w.Height();
    }
    for (int v = -w.up; v <= w.down; ++v) {
        t.rowOffsets.push_back(static_cast<float>(v - mv));
        t.sumV2 += (v - mv) * (v - mv) * w.Width();
    }
    t.values.reserve(static_cast<size_t>(w.Count()));
    double sum = 0.0;
    double sumU = 0.0;
    double sumV = 0.0;
    for (int v = -w.up; v <= w.down; ++v) {
        const double vc = t.rowOffsets[static_cast<size_t>(v + w.up)];
        for (int u = -w.left; u <= w.right; ++u) {
            const double g = values(u, v);
            t.values.push_back(static_cast<float>(g));
            sum += g;
            sumU += g * t.columnOffsets[static_cast<size_t>(u + w.left)];
            sumV += g * vc;
        }
    }
    const double mean = sum / w.Count();
    const double slopeU = sumU / t.sumU2;
    const double slopeV = sumV / t.sumV2;
    double norm2 = 0.0;
    size_t k = 0;
    for (int v = 0; v < w.Height(); ++v) {
        for (int u = 0; u < w.Width(); ++u, ++k) {
            const double r = t.values[k] - mean - slopeU * t.columnOffsets[static_cast<size_t>(u)] -
                             slopeV * t.rowOffsets[static_cast<size_t>(v)];
            t.values[k] = static_cast<float>(r);
            norm2 += r * r;
        }
    }
    t.norm = std::sqrt(norm2);
    return t;
}

Template MakeTemplate(const GreyImage& image, int cx, int cy, const Window& w) {
    return MakeTemplateOf(w, [&](int u, int v) { return image.Row(cy + v)[cx + u]; });
}

// Normalised cross-correlation of the template's residuals with those of the
// window of the same shape centred on (cx, cy) of image, which must hold it
// whole. The template's residuals are orthogonal to any plane, so only the
// candidate's norm needs its plane removed.
double Zncc(const Template& t, const GreyImage& image, int cx, int cy) {
    const Window& w = t.window;
    const int width = w.Width();
    const float* tv = t.values.data();
    const float* uc = t.columnOffsets.data();
    double cross = 0.0;
    double sum = 0.0;
    double sum2 = 0.0;
    double sumU = 0.0;
    double sumV = 0.0;
    for (int v = 0; v < w.Height(); ++v) {
        const float* row = image.Row(cy - w.up + v) + (cx - w.left);
        float c = 0.0f;
        float s = 0.0f;
        float s2 = 0.0f;
        float su = 0.0f;
        for (int x = 0; x < width; ++x) {
            const float g = row[x];
            c += g * tv[x];
            s += g;
            s2 += g * g;
            su += g * uc[x];
        }
        cross += c;
        sum += s;
        sum2 += s2;
        sumU += su;
        sumV += static_cast<double>(s) * t.rowOffsets[static_cast<size_t>(v)];
        tv += width;
    }
    const double var = sum2 - sum * sum / w.Count() - sumU * sumU / t.sumU2 - sumV * sumV / t.sumV2;
    if (!(var > 1e-12) || !(t.norm > 0.0)) {
        return 0.0;
    }
    return cross / (t.norm * std::sqrt(var));
}

// Catmull-Rom interpolation of the grey values with its gradient: smooth
// between pixels, so that fine texture keeps its shape at any sub-pixel
// offset (bilinear interpolation blurs it by an amount that depends on the
// offset, which pulls alignments toward whole pixels).
struct Sample {
    double value = 0.0;
    double gx = 0.0;
    double gy = 0.0;
};

void CubicWeights(double t, double w[4], double d[4]) {
    const double t2 = t * t;
    const double t3 = t2 * t;
    w[0] = 0.5 * (-t3 + 2.0 * t2 - t);
    w[1] = 0.5 * (3.0 * t3 - 5.0 * t2 + 2.0);
    w[2] = 0.5 * (-3.0 * t3 + 4.0 * t2 + t);
    w[3] = 0.5 * (t3 - t2);
    d[0] = 0.5 * (-3.0 * t2 + 4.0 * t - 1.0);
    d[1] = 0.5 * (9.0 * t2 - 10.0 * t);
    d[2] = 0.5 * (-9.0 * t2 + 8.0 * t + 1.0);
    d[3] = 0.5 * (3.0 * t2 - 2.0 * t);
}

Sample Cubic(const GreyImage& image, double x, double y) {
    x = std::clamp(x, 0.0, image.width - 1.0);
    y = std::clamp(y, 0.0, image.height - 1.0);
    const int x0 = static_cast<int>(x);
    const int y0 = static_cast<int>(y);
    double wx[4], dx[4], wy[4], dy[4];
    CubicWeights(x - x0, wx, dx);
    CubicWeights(y - y0, wy, dy);
    int cols[4];
    for (int i = 0; i < 4; ++i) {
        cols[i] = std::clamp(x0 - 1 + i, 0, image.width - 1);
    }
    Sample s;
    for (int j = 0; j < 4; ++j) {
        const float* row = image.Row(std::clamp(y0 - 1 + j, 0, image.height - 1));
        double v = 0.0;
        double g = 0.0;
        for (int i = 0; i < 4; ++i) {
            v += wx[i] * row[cols[i]];
            g += dx[i] * row[cols[i]];
        }
        s.value += wy[j] * v;
        s.gx += wy[j] * g;
        s.gy += dy[j] * v;
    }
    return s;
}

// Solves the n x n system a x = b in place (Gaussian elimination with
// partial pivoting); false when singular.
template <int N> bool Solve(std::array<std::array<double, N>, N>& a, std::array<double, N>& b) {
    for (int c = 0; c < N; ++c) {
        int p = c;
        for (int r = c + 1; r < N; ++r) {
            if (std::abs(a[r][c]) > std::abs(a[p][c])) {
                p = r;
            }
        }
        if (!(std::abs(a[p][c]) > 1e-12)) {
            return false;
        }
        std::swap(a[p], a[c]);
        std::swap(b[p], b[c]);
        for (int r = c + 1; r < N; ++r) {
            const double f = a[r][c] / a[c][c];
            for (int k = c; k < N; ++k) {
                a[r][k] -= f * a[c][k];
            }
            b[r] -= f * b[c];
        }
    }
    for (int c = N - 1; c >= 0; --c) {
        for (int k = c + 1; k < N; ++k) {
            b[c] -= a[c][k] * b[k];
        }
        b[c] /= a[c][c];
    }
    return true;
}

// How window offsets (u, v) of one image map to offsets of the other:
// (a u + b v, c u + d v). The identity for a surface that faces both cameras
// alike; sheared and squeezed for ground seen at a slant.
struct Shape {
    double a = 1.0, b = 0.0, c = 0.0, d = 1.0;

    double Det() const { return a * d - b * c; }
    double DistanceTo(const Shape& o) const {
        return std::max(
            {std::abs(a - o.a), std::abs(b - o.b), std::abs(c - o.c), std::abs(d - o.d)});
    }
    bool IsIdentity(double tolerance) const { return DistanceTo(Shape{}) <= tolerance; }
};

// The template of the source window as it appears in the other image when
// its offsets map there by shape: the window w in the target's pixel grid,
// its values resampled from the source through the inverse of the shape.
Template MakeWarpedTemplate(const GreyImage& src, int cx, int cy, const Window& w,
                            const Shape& shape) {
    const double det = shape.Det();
    const double ia = shape.d / det;
    const double ib = -shape.b / det;
    const double ic = -shape.c / det;
    const double id = shape.a / det;
    return MakeTemplateOf(w, [&](int u, int v) {
        return Cubic(src, cx + ia * u + ib * v, cy + ic * u + id * v).value;
    });
}

struct Alignment {
    ImagePoint pixel;    // of the window centre in the target
    Shape shape;         // of the window there
    double sigmaPx = 0;  // 1-sigma of each coordinate from the fit's residuals
    bool settled = true; // the steps shrank to nothing within the iterations
    double zncc = 0.0;   // correlation of the aligned windows
};

// Least-squares alignment of the source window onto the target: an affine
// warp of the window offsets (the shift and a 2 x 2 matrix, which absorbs
// the foreshortening of slanted surfaces) and a gain and bias of the grey
// values, by Gauss-Newton from the given shift and shape. Returns none when
// it wanders off the start (more than a few pixels, or a shape far from the
// predicted one). The curve is a soft constraint: the shift across it (normal
// n at the point onCurve) is held by a spring of a fiftieth of the image's
// own stiffness, so a window that is only an edge cannot slide along that
// edge off the curve, while texture in two dimensions still follows a pose
// error.
std::optional<Alignment> AlignAffine(const GreyImage& src, int sx, int sy, const Window& w,
                                     const GreyImage& dst, const ImagePoint& start,
                                     const Shape& startShape, const ImagePoint& onCurve,
                                     const ImagePoint& n, bool toneCurve = false) {
    // Parameters: shift x, y; matrix a b c d (offsets u, v go to
    // (1 + a) u + b v, c u + (1 + d) v); gain; bias; and a square term of the
    // grey values for eyes stretched differently (toneCurve; else held at 0).
    std::array<double, 9> p{
        start.x, start.y, startShape.a - 1.0, startShape.b, startShape.c, startShape.d - 1.0, 1,
        0,       0};
    const std::array<double, 9> p0 = p;
    // Pixels weigh less with their distance from the centre, so that a fold
    // of the surface toward the window's edge moves the estimate little.
    const double sigma = kCentreWeightShare * std::max(w.Width(), w.Height());
    std::vector<double> weights;
    double sumW = 0.0;
    double sumW2 = 0.0;
    for (int v = -w.up; v <= w.down; ++v) {
        for (int u = -w.left; u <= w.right; ++u) {
            weights.push_back(std::exp(-0.5 * (u * u + v * v) / (sigma * sigma)));
            sumW += weights.back();
            sumW2 += weights.back() * weights.back();
        }
    }
    Alignment out;
    out.settled = false;
    std::array<std::array<double, 9>, 9> normal{};
    double residual2 = 0.0;
    double cross = 0.0, sumS = 0.0, sumT = 0.0, sumS2 = 0.0, sumT2 = 0.0;
    // The square term is centred on the target window's mean grey, found in
    // the first step (which holds it at zero), so that it stays apart from
    // the gain and the bias.
    double toneCentre = 0.0;
    for (int iter = 0; iter < kAlignIterations; ++iter) {
        if (iter == 1) {
            toneCentre = sumT / sumW;
        }
        std::array<std::array<double, 9>, 9> h{};
        std::array<double, 9> g{};
        residual2 = 0.0;
        cross = sumS = sumT = sumS2 = sumT2 = 0.0;
        const double* weight = weights.data();
        for (int v = -w.up; v <= w.down; ++v) {
            const float* srow = src.Row(sy + v);
            for (int u = -w.left; u <= w.right; ++u) {
                const double x = p[0] + (1.0 + p[2]) * u + p[3] * v;
                const double y = p[1] + p[4] * u + (1.0 + p[5]) * v;
                const Sample c = Cubic(dst, x, y);
                const double t = c.value;
                const double sv = srow[sx + u];
                const double tc = t - toneCentre;
                const double r = p[6] * t + p[7] + p[8] * tc * tc - sv;
                const double slope = p[6] + 2.0 * p[8] * tc;
                const double ax = slope * c.gx;
                const double ay = slope * c.gy;
                const std::array<double, 9> j{ax,     ay, ax * u, ax * v, ay * u,
                                              ay * v, t,  1.0,    tc * tc};
                const double wt = *weight++;
                residual2 += wt * r * r;
                cross += wt * sv * t;
                sumS += wt * sv;
                sumT += wt * t;
                sumS2 += wt * sv * sv;
                sumT2 += wt * t * t;
                for (int a = 0; a < 9; ++a) {
                    g[a] -= wt * j[a] * r;
                    for (int b = a; b < 9; ++b) {
                        h[a][b] += wt * j[a] * j[b];
                    }
                }
            }
        }
        for (int a = 0; a < 9; ++a) {
            for (int b = 0; b < a; ++b) {
                h[a][b] = h[b][a];
            }
        }
        if (!toneCurve || iter == 0) {
            for (int a = 0; a < 9; ++a) {
                h[8][a] = h[a][8] = 0.0;
            }
            h[8][8] = 1.0;
            g[8] = 0.0;
        }
        const double spring = kCurveSpring * (h[0][0] + h[1][1]);
        const double across = n.x * (p[0] - onCurve.x) + n.y * (p[1] - onCurve.y);
        h[0][0] += spring * n.x * n.x;
        h[0][1] += spring * n.x * n.y;
        h[1][0] += spring * n.x * n.y;
        h[1][1] += spring * n.y * n.y;
        g[0] -= spring * n.x * across;
        g[1] -= spring * n.y * across;
        normal = h;
        if (!Solve<9>(h, g)) {
            return std::nullopt;
        }
        for (int a = 0; a < 9; ++a) {
            p[a] += g[a];
        }
        if (std::hypot(p[0] - start.x, p[1] - start.y) > kMaxAlignShiftPx ||
            std::abs(p[2] - p0[2]) > kMaxShapeChange || std::abs(p[3] - p0[3]) > kMaxShapeChange ||
            std::abs(p[4] - p0[4]) > kMaxShapeChange || std::abs(p[5] - p0[5]) > kMaxShapeChange ||
            !(p[6] > 0.0)) {
            return std::nullopt;
        }
        if (std::hypot(g[0], g[1]) < kSettledStepPx) {
            out.settled = true;
            break;
        }
    }
    out.pixel = {p[0], p[1]};
    out.shape = {1.0 + p[2], p[3], p[4], 1.0 + p[5]};
    // The shift's covariance: the residual variance times the inverse of the
    // normal matrix (its shift block, the other parameters eliminated),
    // scaled for the weights (the residuals taken as alike over the window).
    const double nEff = sumW * sumW / sumW2;
    const double variance =
        residual2 / sumW / std::max(kLeastDegreesShare, 1.0 - 9.0 / nEff) * (sumW2 / sumW);
    double trace = 0.0;
    for (int axis = 0; axis < 2; ++axis) {
        std::array<std::array<double, 9>, 9> m = normal;
        std::array<double, 9> e{};
        e[static_cast<size_t>(axis)] = 1.0;
        if (!Solve<9>(m, e)) {
            return std::nullopt;
        }
        trace += e[static_cast<size_t>(axis)];
    }
    out.sigmaPx = std::sqrt(std::max(0.0, variance * 0.5 * trace));
    const double vs = sumS2 - sumS * sumS / sumW;
    const double vt = sumT2 - sumT * sumT / sumW;
    out.zncc = vs > 0.0 && vt > 0.0 ? (cross - sumS * sumT / sumW) / std::sqrt(vs * vt) : 0.0;
    return out;
}

struct SearchResult {
    MatchStatus status = MatchStatus::Matched;
    std::string reason;
    ImagePoint pixel;
    double score = 0.0;
    double ambiguity = 0.0;
    int windowPx = 0;
    Window window;                      // as cut by the border
    double peakSigmaPx = 0.0;           // from the correlation peak; 0 when its shape gives none
    double alignedZncc = 0.0;           // of the windows aligned to sub-pixel
    double alignSigmaPx = 0.0;          // of the alignment's shift, from its residuals
    double histogramDisagreement = 0.0; // of the windows at the best place
    bool byRank = false;                // the peaks were scored by rank correlation
};

// The 1-sigma localisation error per coordinate of a correlation peak. For
// two windows of n pixels that differ by noise, 1 - zncc is the noise
// variance over the grey variance, and the peak's curvature is the summed
// squared gradient over n times that variance; least squares then gives a
// variance of the shift of 2 (1 - zncc) / (n * curvature) per coordinate.
// inverseCurvatureTrace is the trace of the inverse of minus the Hessian of
// the correlation (square pixels); the mean of its two axes is taken.
double PeakSigma(double zncc, double inverseCurvatureTrace, int n) {
    if (n <= 0 || !(inverseCurvatureTrace > 0.0)) {
        return 0.0;
    }
    const double mismatch = std::max(1.0 - zncc, 0.0);
    return std::sqrt(mismatch * inverseCurvatureTrace / n);
}

// How unlike the grey distributions of two windows of equal size are, each
// taken to zero mean and unit deviation: the mean difference of their sorted
// values (0 for distributions alike; a window and a stretched copy differ).
double HistogramDisagreement(std::vector<float> a, std::vector<float> b) {
    if (a.size() != b.size() || a.size() < 2) {
        return 0.0;
    }
    for (std::vector<float>* v : {&a, &b}) {
        double sum = 0.0;
        double sum2 = 0.0;
        for (const float x : *v) {
            sum += x;
            sum2 += static_cast<double>(x) * x;
        }
        const double n = static_cast<double>(v->size());
        const double mean = sum / n;
        const double sd = std::sqrt(std::max(0.0, sum2 / n - mean * mean));
        if (!(sd > 0.0)) {
            return 0.0;
        }
        for (float& x : *v) {
            x = static_cast<float>((x - mean) / sd);
        }
        std::sort(v->begin(), v->end());
    }
    double diff = 0.0;
    for (size_t i = 0; i < a.size(); ++i) {
        diff += std::abs(a[i] - b[i]);
    }
    return diff / static_cast<double>(a.size());
}

// The ranks of values (ties share their mean rank), centred on zero.
std::vector<double> CentredRanks(const std::vector<float>& values) {
    std::vector<size_t> order(values.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return values[a] < values[b]; });
    std::vector<double> ranks(values.size());
    const double centre = 0.5 * (static_cast<double>(values.size()) - 1.0);
    for (size_t i = 0; i < order.size();) {
        size_t j = i;
        while (j + 1 < order.size() && values[order[j + 1]] == values[order[i]]) {
            ++j;
        }
        for (size_t k = i; k <= j; ++k) {
            ranks[order[k]] = 0.5 * static_cast<double>(i + j) - centre;
        }
        i = j + 1;
    }
    return ranks;
}

// Correlation of the ranks of two windows' values (Spearman's), -1..1.
double RankCorrelation(const std::vector<float>& a, const std::vector<float>& b) {
    const std::vector<double> ra = CentredRanks(a);
    const std::vector<double> rb = CentredRanks(b);
    double cross = 0.0;
    double aa = 0.0;
    double bb = 0.0;
    for (size_t i = 0; i < ra.size() && i < rb.size(); ++i) {
        cross += ra[i] * rb[i];
        aa += ra[i] * ra[i];
        bb += rb[i] * rb[i];
    }
    return aa > 0.0 && bb > 0.0 ? cross / std::sqrt(aa * bb) : 0.0;
}

int64_t Key(int x, int y) {
    return (static_cast<int64_t>(y) << 32) | static_cast<uint32_t>(x);
}

SearchResult Search(const GreyImage& src, const ICameraProjection& srcCamera, const GreyImage& dst,
                    const ICameraProjection& dstCamera, const ImagePoint& click, int windowPx,
                    const MatchOptions& o, const Window* limit = nullptr) {
    SearchResult res;
    if (src.Empty() || dst.Empty() || !InImage(src, click)) {
        res.status = MatchStatus::OutsideImage;
        res.reason = "The mark is outside its image";
        return res;
    }
    const int cx = static_cast<int>(std::lround(click.x));
    const int cy = static_cast<int>(std::lround(click.y));
    const ImagePoint along = EpipolarDirection(srcCamera, dstCamera, click);
    const int size = windowPx > 0 ? windowPx : ChooseWindowSize(src, click, o.minContrast, along);
    res.windowPx = size;
    Window w = ClippedWindow(src, cx, cy, size);
    if (limit != nullptr) {
        w = {std::min(w.left, limit->left), std::min(w.right, limit->right),
             std::min(w.up, limit->up), std::min(w.down, limit->down)};
    }
    res.window = w;
    if (w.Width() < kMinClippedWindow || w.Height() < kMinClippedWindow) {
        res.status = MatchStatus::AtBorder;
        res.reason = "Too close to the image border to match";
        return res;
    }
    const Template t = MakeTemplate(src, cx, cy, w);
    if (t.Texture() < o.minContrast || StructureAlong(src, cx, cy, w, along.x, along.y) <
                                           kLeastStructure * src.quantum * src.quantum) {
        res.status = MatchStatus::Textureless;
        res.reason = "No texture to match around the mark";
        return res;
    }
    EpipolarOptions eo;
    eo.nearM = o.nearM;
    eo.tolerancePx = 0.25;
    const EpipolarCurveResult curve =
        EpipolarCurve(srcCamera, dstCamera, click, dst.width, dst.height, eo);
    if (!curve.ok) {
        res.status = MatchStatus::NoCurve;
        res.reason = "The mark's ray does not appear in the other image";
        return res;
    }

    // The shape a level surface (z constant in the common frame, whose z is
    // vertical) would give the window at each distance along the ray: from
    // the point of the ray at that distance, where the rays of two pixels
    // beside the click meet the level through it, seen from the other camera.
    const auto clickRay = srcCamera.PixelToRay(click);
    const auto rightRay = srcCamera.PixelToRay({click.x + kShapeStepPx, click.y});
    const auto downRay = srcCamera.PixelToRay({click.x, click.y + kShapeStepPx});
    const auto levelShape = [&](double distance) -> std::optional<Shape> {
        if (!clickRay || !rightRay || !downRay || !std::isfinite(distance)) {
            return std::nullopt;
        }
        const CPoint3D x = clickRay->origin + clickRay->direction * distance;
        const auto q0 = dstCamera.PointToPixel(x);
        std::array<ImagePoint, 2> cols;
        for (int i = 0; i < 2; ++i) {
            const Ray& r = i == 0 ? *rightRay : *downRay;
            if (!(std::abs(r.direction.m_dZ) > 1e-9)) {
                return std::nullopt;
            }
            const double t = (x.m_dZ - r.origin.m_dZ) / r.direction.m_dZ;
            if (!(t > 0.0)) {
                return std::nullopt;
            }
            const auto qi = dstCamera.PointToPixel(r.origin + r.direction * t);
            if (!q0 || !qi) {
                return std::nullopt;
            }
            cols[static_cast<size_t>(i)] = {(qi->x - q0->x) / kShapeStepPx,
                                            (qi->y - q0->y) / kShapeStepPx};
        }
        const Shape shape{cols[0].x, cols[1].x, cols[0].y, cols[1].y};
        if (!(shape.Det() > kLeastShapeDet && shape.Det() < 1.0 / kLeastShapeDet) ||
            shape.DistanceTo(Shape{}) > kMostShapeChange) {
            return std::nullopt;
        }
        return shape;
    };

    // Stations one pixel apart along the curve; at each, the best window of
    // the band across it, each correlated as the square window and, where the
    // level surface predicts another shape, as that shape.
    std::vector<Template> templates{t};
    std::vector<Shape> shapes{Shape{}};
    std::unordered_map<int64_t, double> scores;
    const auto fits = [&](int x, int y) {
        return x - w.left >= 0 && y - w.up >= 0 && x + w.right < dst.width &&
               y + w.down < dst.height;
    };
    const auto score = [&](int x, int y, size_t k) {
        const auto [it, fresh] =
            scores.try_emplace(Key(x, y) ^ (static_cast<int64_t>(k) << 48), 0.0);
        if (fresh) {
            it->second = Zncc(templates[k], dst, x, y);
        }
        return it->second;
    };
    struct Station {
        double best = -2.0; // the band's best correlation, less its offset penalty
        double zncc = 0.0;  // that window's correlation
        int x = 0, y = 0;
        size_t shape = 0; // index of the window's shape
        ImagePoint onCurve;
        ImagePoint normal;
    };
    std::vector<Station> profile;
    const int band = static_cast<int>(std::ceil(o.bandPx));
    const auto& pts = curve.points;
    const auto& dist = curve.distancesM;
    size_t level = 0;  // the shape in use for the level surface; 0 none
    double next = 0.0; // arc length from the segment start to the next station
    double sinceShape = kShapeEveryPx;
    for (size_t i = 0; i + 1 < pts.size(); ++i) {
        const double dx = pts[i + 1].x - pts[i].x;
        const double dy = pts[i + 1].y - pts[i].y;
        const double len = std::hypot(dx, dy);
        if (len <= 0.0) {
            continue;
        }
        const double nx = -dy / len;
        const double ny = dx / len;
        // The inverse distance goes nearly linearly along a short segment.
        const double inv0 = i < dist.size() && dist[i] > 0.0 ? 1.0 / dist[i] : 0.0;
        const double inv1 = i + 1 < dist.size() && dist[i + 1] > 0.0 ? 1.0 / dist[i + 1] : 0.0;
        double at = next;
        for (; at <= len; at += 1.0, sinceShape += 1.0) {
            const double px = pts[i].x + dx * at / len;
            const double py = pts[i].y + dy * at / len;
            if (sinceShape >= kShapeEveryPx) {
                sinceShape = 0.0;
                const double inv = inv0 + (inv1 - inv0) * at / len;
                const auto shape = inv > 0.0 ? levelShape(1.0 / inv) : std::nullopt;
                if (!shape || shape->IsIdentity(kSameShape)) {
                    level = 0;
                } else if (level == 0 || shape->DistanceTo(shapes[level]) > kSameShape) {
                    shapes.push_back(*shape);
                    templates.push_back(MakeWarpedTemplate(src, cx, cy, w, *shape));
                    level = shapes.size() - 1;
                }
            }
            Station s;
            s.onCurve = {px, py};
            s.normal = {nx, ny};
            for (int b = -band; b <= band; ++b) {
                const int x = static_cast<int>(std::lround(px + nx * b));
                const int y = static_cast<int>(std::lround(py + ny * b));
                if (!fits(x, y)) {
                    continue;
                }
                for (const size_t k : {size_t{0}, level}) {
                    const double v = score(x, y, k);
                    const double penalised = v - kBandPenalty * std::abs(b);
                    if (penalised > s.best) {
                        s.best = penalised;
                        s.zncc = v;
                        s.x = x;
                        s.y = y;
                        s.shape = k;
                    }
                    if (level == 0) {
                        break;
                    }
                }
            }
            profile.push_back(s);
        }
        next = at - len;
    }
    size_t peak = profile.size();
    for (size_t k = 0; k < profile.size(); ++k) {
        if (profile[k].best > -2.0 &&
            (peak == profile.size() || profile[k].best > profile[peak].best)) {
            peak = k;
        }
    }
    if (peak == profile.size()) {
        res.status = MatchStatus::NoCurve;
        res.reason = "The epipolar curve has no room for a window in the other image";
        return res;
    }
    // Radiometry: where the grey distributions of the two windows disagree
    // (eyes whose products were stretched differently), correlating grey
    // values favours whatever place happens to share the stretch; the ranks
    // of the values do not depend on it. The profile's highest peaks are then
    // scored again by the correlation of ranks, and only they stand.
    const auto window = [&](const GreyImage& image, int x, int y, const Shape& shape) {
        std::vector<float> values;
        values.reserve(static_cast<size_t>(w.Count()));
        const double det = shape.Det();
        for (int v = -w.up; v <= w.down; ++v) {
            for (int u = -w.left; u <= w.right; ++u) {
                values.push_back(
                    shape.IsIdentity(0.0)
                        ? image.Row(y + v)[x + u]
                        : static_cast<float>(Cubic(image, x + (shape.d * u - shape.b * v) / det,
                                                   y + (shape.a * v - shape.c * u) / det)
                                                 .value));
            }
        }
        return values;
    };
    res.histogramDisagreement =
        HistogramDisagreement(window(src, cx, cy, shapes[profile[peak].shape]),
                              window(dst, profile[peak].x, profile[peak].y, Shape{}));
    if (res.histogramDisagreement > kMostHistogramDisagreement) {
        res.byRank = true;
        std::vector<size_t> tops;
        for (size_t k = 0; k < profile.size(); ++k) {
            const bool top = profile[k].best > -2.0 &&
                             (k == 0 || profile[k].best >= profile[k - 1].best) &&
                             (k + 1 == profile.size() || profile[k].best >= profile[k + 1].best);
            if (top) {
                tops.push_back(k);
            }
        }
        const size_t kept = std::min(tops.size(), kRankedPeaks);
        std::partial_sort(tops.begin(), tops.begin() + static_cast<ptrdiff_t>(kept), tops.end(),
                          [&](size_t a, size_t b) { return profile[a].best > profile[b].best; });
        tops.resize(kept);
        std::vector<double> ranked(profile.size(), -1.0);
        for (const size_t k : tops) {
            const Station& st = profile[k];
            ranked[k] = RankCorrelation(window(src, cx, cy, shapes[st.shape]),
                                        window(dst, st.x, st.y, Shape{}));
        }
        for (size_t k = 0; k < profile.size(); ++k) {
            if (profile[k].best > -2.0) {
                profile[k].best = ranked[k] - (profile[k].zncc - profile[k].best);
                profile[k].zncc = ranked[k];
            }
        }
        peak = tops.empty() ? peak : tops.front();
        for (const size_t k : tops) {
            if (profile[k].best > profile[peak].best) {
                peak = k;
            }
        }
    }
    const Station best = profile[peak];
    res.score = best.zncc;
    // The click lies off the window's centre pixel by a fraction of a pixel,
    // which the window's shape carries into the other image.
    const double offU = click.x - cx;
    const double offV = click.y - cy;
    const auto carried = [&](const Shape& shape) {
        return ImagePoint{shape.a * offU + shape.b * offV, shape.c * offU + shape.d * offV};
    };
    const ImagePoint bestOff = carried(shapes[best.shape]);
    res.pixel = {best.x + bestOff.x, best.y + bestOff.y};

    // The second peak: the best other local maximum that stands out from
    // the valley between it and the peak (ripples on the main peak's flanks,
    // left by rounding the band to whole pixels, do not count).
    double second = -1.0;
    for (int dir : {-1, 1}) {
        double valley = best.best;
        for (auto k = static_cast<ptrdiff_t>(peak) + dir;
             k >= 0 && k < static_cast<ptrdiff_t>(profile.size()); k += dir) {
            const double v = profile[static_cast<size_t>(k)].best;
            valley = std::min(valley, v);
            const double before = profile[static_cast<size_t>(k - dir)].best;
            const ptrdiff_t after = k + dir;
            const bool top =
                v >= before && (after < 0 || after >= static_cast<ptrdiff_t>(profile.size()) ||
                                v >= profile[static_cast<size_t>(after)].best);
            if (top && std::abs(k - static_cast<ptrdiff_t>(peak)) > 2 &&
                v - valley >= kProminence) {
                second = std::max(second, v);
            }
        }
    }
    // Ambiguity compares the mismatch of the best window with that of the
    // second: near 1 when both fit alike, near 0 for a clear winner.
    res.ambiguity =
        second > -1.0
            ? std::clamp((1.0 - best.zncc + kMismatchFloor) / (1.0 - second + kMismatchFloor), 0.0,
                         1.0)
            : 0.0;
    if (res.score < o.minScore) {
        res.status = MatchStatus::Weak;
        res.reason = "No good match along the epipolar curve (best correlation " +
                     std::to_string(static_cast<int>(std::lround(res.score * 100))) + "%)";
        return res;
    }
    if (res.ambiguity > o.maxAmbiguity) {
        res.status = MatchStatus::Ambiguous;
        res.reason = "Ambiguous: a second place along the curve matches nearly as well";
        return res;
    }

    // Sub-pixel: a quadratic through the 3 x 3 correlations round the peak,
    // then least-squares alignment of the windows from there, shape and all.
    const Shape& startShape = shapes[best.shape];
    ImagePoint sub{static_cast<double>(best.x), static_cast<double>(best.y)};
    if (fits(best.x - 1, best.y - 1) && fits(best.x + 1, best.y + 1)) {
        double s[3][3];
        for (int j = -1; j <= 1; ++j) {
            for (int i = -1; i <= 1; ++i) {
                s[j + 1][i + 1] = score(best.x + i, best.y + j, best.shape);
            }
        }
        const double gx = 0.5 * (s[1][2] - s[1][0]);
        const double gy = 0.5 * (s[2][1] - s[0][1]);
        const double hxx = s[1][2] - 2.0 * s[1][1] + s[1][0];
        const double hyy = s[2][1] - 2.0 * s[1][1] + s[0][1];
        const double hxy = 0.25 * (s[2][2] - s[2][0] - s[0][2] + s[0][0]);
        const double det = hxx * hyy - hxy * hxy;
        double ox = 0.0;
        double oy = 0.0;
        if (hxx < 0.0 && det > 0.0) {
            ox = -(hyy * gx - hxy * gy) / det;
            oy = -(hxx * gy - hxy * gx) / det;
            res.peakSigmaPx = PeakSigma(best.zncc, -(hxx + hyy) / det, w.Count());
        }
        if (std::abs(ox) <= 1.0 && std::abs(oy) <= 1.0) {
            sub = {sub.x + ox, sub.y + oy};
        }
    }
    // The curve belongs to the click; the window to the pixel nearest it.
    const ImagePoint onCurve{best.onCurve.x - bestOff.x, best.onCurve.y - bestOff.y};
    const auto aligned =
        AlignAffine(src, cx, cy, w, dst, sub, startShape, onCurve, best.normal, res.byRank);
    if (!aligned || !aligned->settled) {
        res.status = MatchStatus::Weak;
        res.reason = "The match does not settle on a sub-pixel position";
        return res;
    }
    sub = aligned->pixel;
    res.alignedZncc = aligned->zncc;
    res.alignSigmaPx = aligned->sigmaPx;
    if (aligned->sigmaPx > o.maxSigmaPx) {
        res.status = MatchStatus::Weak;
        char text[96];
        std::snprintf(text, sizeof text, "The match is too uncertain (%.2f pixels)",
                      aligned->sigmaPx);
        res.reason = text;
        return res;
    }
    // A window that takes in an edge or a fold of the surface finds a
    // place that depends on how much of it the window holds: the smallest
    // window, aligned from there, must agree.
    if (w.Width() > kMinWindow || w.Height() > kMinWindow) {
        const int half = kMinWindow / 2;
        const Window small{std::min(w.left, half), std::min(w.right, half), std::min(w.up, half),
                           std::min(w.down, half)};
        const auto check = AlignAffine(src, cx, cy, small, dst, sub, aligned->shape, onCurve,
                                       best.normal, res.byRank);
        if (check &&
            std::hypot(check->pixel.x - sub.x, check->pixel.y - sub.y) > kMaxWindowDisagreementPx) {
            res.status = MatchStatus::Inconsistent;
            res.reason = "The match depends on the window: an edge or a fold of the surface";
            return res;
        }
    }
    const ImagePoint off = carried(aligned->shape);
    res.pixel = {sub.x + off.x, sub.y + off.y};
    return res;
}

} // namespace

int ChooseWindowSize(const GreyImage& image, const ImagePoint& pixel, double minContrast,
                     const ImagePoint& along) {
    if (image.Empty() || !InImage(image, pixel)) {
        return kMinWindow;
    }
    const int cx = static_cast<int>(std::lround(pixel.x));
    const int cy = static_cast<int>(std::lround(pixel.y));
    // The smallest window whose gradients along the search direction pin its
    // position down well against the quantisation of the grey values.
    const double needed = kGoodStructure * image.quantum * image.quantum;
    for (int size = kMinWindow; size < kMaxWindow; size += 4) {
        const Window w = ClippedWindow(image, cx, cy, size);
        if (MakeTemplate(image, cx, cy, w).Texture() >= kEnoughContrast * minContrast &&
            StructureAlong(image, cx, cy, w, along.x, along.y) >= needed) {
            return size;
        }
    }
    return kMaxWindow;
}

ImagePoint EpipolarDirection(const ICameraProjection& from, const ICameraProjection& to,
                             const ImagePoint& pixel) {
    // A point on the pixel's ray moved a little toward the other camera's
    // centre stays in the epipolar plane: its image shows the direction.
    const auto ray = from.PixelToRay(pixel);
    const auto other = to.PixelToRay(pixel);
    if (ray && other) {
        const CPoint3D x = ray->origin + ray->direction.Normalized() * 10.0;
        const auto a = from.PointToPixel(x);
        const auto b = from.PointToPixel(x + (other->origin - x) * 0.01);
        if (a && b) {
            const double len = std::hypot(b->x - a->x, b->y - a->y);
            if (len > 1e-9) {
                return {(b->x - a->x) / len, (b->y - a->y) / len};
            }
        }
    }
    return {1.0, 0.0};
}

StereoMatcher::StereoMatcher(const GreyImage& left, const GreyImage& right,
                             const ICameraProjection& leftCamera,
                             const ICameraProjection& rightCamera, MatchOptions options)
    : m_left(left), m_right(right), m_leftCamera(leftCamera), m_rightCamera(rightCamera),
      m_options(options) {
    if (MatchAlike(left, right)) {
        auto alike = std::make_unique<std::pair<GreyImage, GreyImage>>(left, right);
        MakeAlike(alike->first, alike->second);
        m_smoothed = std::move(alike);
    }
}

MatchResult StereoMatcher::Match(Eye clicked, const ImagePoint& click) const {
    const bool fromLeft = clicked == Eye::Left;
    const GreyImage& left = m_smoothed ? m_smoothed->first : m_left;
    const GreyImage& right = m_smoothed ? m_smoothed->second : m_right;
    const GreyImage& src = fromLeft ? left : right;
    const GreyImage& dst = fromLeft ? right : left;
    const ICameraProjection& srcCamera = fromLeft ? m_leftCamera : m_rightCamera;
    const ICameraProjection& dstCamera = fromLeft ? m_rightCamera : m_leftCamera;
    const int window =
        m_options.windowPx > 0 ? std::clamp(m_options.windowPx | 1, kMinWindow, kMaxWindow) : 0;

    MatchResult res;
    const SearchResult there = Search(src, srcCamera, dst, dstCamera, click, window, m_options);
    res.status = there.status;
    res.reason = there.reason;
    res.pixel = there.pixel;
    res.score = there.score;
    res.ambiguity = there.ambiguity;
    res.windowPx = there.windowPx;
    if (there.status != MatchStatus::Matched) {
        return res;
    }
    // Matching back with the same window (cut as the border cut it round the
    // click, so that it fits there) must find the click again.
    const SearchResult back = Search(dst, dstCamera, src, srcCamera, there.pixel, there.windowPx,
                                     m_options, &there.window);
    if (back.status != MatchStatus::Matched) {
        res.status = MatchStatus::Inconsistent;
        res.reason = "Matching back fails: " + back.reason;
        return res;
    }
    res.consistencyPx = std::hypot(back.pixel.x - click.x, back.pixel.y - click.y);
    if (res.consistencyPx > m_options.maxConsistencyPx) {
        res.status = MatchStatus::Inconsistent;
        char text[80];
        std::snprintf(text, sizeof text, "Matching back lands %.2f pixels from the mark",
                      res.consistencyPx);
        res.reason = text;
        return res;
    }
    // Matching there and back adds two errors alike: the distance between
    // the click and where it comes back is about twice one coordinate's
    // 1-sigma. Whichever of that and the peak's own estimate is larger.
    res.sigmaPx = std::max({kLeastMatchSigmaPx, 0.5 * res.consistencyPx, there.peakSigmaPx});
    res.ok = true;
    return res;
}
