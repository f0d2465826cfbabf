#include "matching/Corners.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTensorRadius = 3; // the structure tensor sums a 7 x 7 window
constexpr double kRelativeFloor =
    0.01; // corners weaker than this share of the strongest are dropped

// Sums of a row-major w x h field over the (2r+1)^2 window round each cell
// (cut at the border), by two running passes.
std::vector<float> BoxSum(const std::vector<float>& f, int w, int h, int r) {
    std::vector<float> tmp(f.size());
    std::vector<float> out(f.size());
    for (int y = 0; y < h; ++y) {
        const float* in = f.data() + static_cast<size_t>(y) * w;
        float* o = tmp.data() + static_cast<size_t>(y) * w;
        double acc = 0.0;
        for (int x = 0; x <= std::min(r, w - 1); ++x) {
            acc += in[x];
        }
        for (int x = 0; x < w; ++x) {
            o[x] = static_cast<float>(acc);
            if (x + r + 1 < w) {
                acc += in[x + r + 1];
            }
            if (x - r >= 0) {
                acc -= in[x - r];
            }
        }
    }
    std::vector<double> acc(static_cast<size_t>(w), 0.0);
    for (int y = 0; y <= std::min(r, h - 1); ++y) {
        for (int x = 0; x < w; ++x) {
            acc[x] += tmp[static_cast<size_t>(y) * w + x];
        }
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            out[static_cast<size_t>(y) * w + x] = static_cast<float>(acc[x]);
            if (y + r + 1 < h) {
                acc[x] += tmp[static_cast<size_t>(y + r + 1) * w + x];
            }
            if (y - r >= 0) {
                acc[x] -= tmp[static_cast<size_t>(y - r) * w + x];
            }
        }
    }
    return out;
}

} // namespace

std::vector<Corner> DetectCorners(const GreyImage& image, const PixelRect& area, int maxCorners,
                                  double minContrast, int margin) {
    std::vector<Corner> corners;
    margin = std::max(margin, 1);
    const int x0 = std::max(area.x, margin);
    const int y0 = std::max(area.y, margin);
    const int x1 = std::min(area.x + area.width, image.width - margin);
    const int y1 = std::min(area.y + area.height, image.height - margin);
    if (image.Empty() || maxCorners < 1 || x1 <= x0 || y1 <= y0) {
        return corners;
    }
    const int w = x1 - x0;
    const int h = y1 - y0;
    const size_t n = static_cast<size_t>(w) * h;
    std::vector<float> xx(n), xy(n), yy(n);
    for (int y = 0; y < h; ++y) {
        const float* up = image.Row(y0 + y - 1);
        const float* row = image.Row(y0 + y);
        const float* down = image.Row(y0 + y + 1);
        for (int x = 0; x < w; ++x) {
            const int ix = x0 + x;
            const float gx = 0.5f * (row[ix + 1] - row[ix - 1]);
            const float gy = 0.5f * (down[ix] - up[ix]);
            const size_t k = static_cast<size_t>(y) * w + x;
            xx[k] = gx * gx;
            xy[k] = gx * gy;
            yy[k] = gy * gy;
        }
    }
    xx = BoxSum(xx, w, h, kTensorRadius);
    xy = BoxSum(xy, w, h, kTensorRadius);
    yy = BoxSum(yy, w, h, kTensorRadius);
    std::vector<float> strength(n);
    float strongest = 0.0f;
    for (size_t k = 0; k < n; ++k) {
        const float half = 0.5f * (xx[k] + yy[k]);
        const float diff = 0.5f * (xx[k] - yy[k]);
        strength[k] = half - std::sqrt(diff * diff + xy[k] * xy[k]);
        strongest = std::max(strongest, strength[k]);
    }
    // A gradient of minContrast per pixel over the whole window is the least
    // that counts as texture.
    const int side = 2 * kTensorRadius + 1;
    const float floor = std::max(static_cast<float>(kRelativeFloor) * strongest,
                                 static_cast<float>(minContrast * minContrast * side * side / 4.0));

    // A grid of about maxCorners cells shaped like the area; the strongest
    // local maximum of each cell.
    const double cellSide = std::sqrt(static_cast<double>(n) / maxCorners);
    const int cols = std::max(1, static_cast<int>(std::lround(w / cellSide)));
    const int rows = std::max(1, static_cast<int>(std::lround(h / cellSide)));
    std::vector<Corner> best(static_cast<size_t>(cols) * rows);
    for (int y = 1; y + 1 < h; ++y) {
        for (int x = 1; x + 1 < w; ++x) {
            const size_t k = static_cast<size_t>(y) * w + x;
            const float s = strength[k];
            if (s < floor) {
                continue;
            }
            bool peak = true;
            for (int dy = -1; dy <= 1 && peak; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    if ((dx != 0 || dy != 0) && strength[k + dy * w + dx] > s) {
                        peak = false;
                        break;
                    }
                }
            }
            if (!peak) {
                continue;
            }
            const int cx = std::min(cols - 1, x * cols / w);
            const int cy = std::min(rows - 1, y * rows / h);
            Corner& c = best[static_cast<size_t>(cy) * cols + cx];
            if (s > c.strength) {
                c = {{static_cast<double>(x0 + x), static_cast<double>(y0 + y)}, s};
            }
        }
    }
    for (const Corner& c : best) {
        if (c.strength > 0.0) {
            corners.push_back(c);
        }
    }
    std::stable_sort(corners.begin(), corners.end(),
                     [](const Corner& a, const Corner& b) { return a.strength > b.strength; });
    if (corners.size() > static_cast<size_t>(maxCorners)) {
        corners.resize(static_cast<size_t>(maxCorners));
    }
    return corners;
}

DetectResult DetectVertexPairs(const StereoMatcher& matcher, const PixelRect& leftArea,
                               const DetectOptions& options,
                               const std::function<void(int done, int found)>& progress,
                               const std::atomic<bool>* cancel) {
    DetectResult res;
    const std::vector<Corner> corners = DetectCorners(
        matcher.Image(Eye::Left), leftArea, options.maxPoints, matcher.Options().minContrast);
    res.found = static_cast<int>(corners.size());
    int done = 0;
    for (const Corner& c : corners) {
        if (cancel != nullptr && cancel->load()) {
            res.cancelled = true;
            break;
        }
        MatchResult m = matcher.Match(Eye::Left, c.pixel);
        if (m.ok) {
            ++res.matched;
            res.pairs.push_back({c.pixel, std::move(m)});
        } else {
            ++res.refused;
        }
        ++done;
        if (progress) {
            progress(done, res.found);
        }
    }
    return res;
}
