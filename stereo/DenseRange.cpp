#include "stereo/DenseRange.h"

#include "geometry/StereoIntersection.h"
#include "matching/BayerMosaic.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// A rectified grey image as 8 bits for the matcher, stretched between its
// 0.5 and 99.5 percentiles (the two eyes may have been processed
// differently), and where it has data.
struct Matchable {
    cv::Mat grey; // CV_8U
    cv::Mat mask; // CV_8U, 255 where the original image has a sample
};

Matchable ToMatchable(const GreyImage& img) {
    Matchable m;
    m.grey = cv::Mat(img.height, img.width, CV_8U, cv::Scalar(0));
    m.mask = cv::Mat(img.height, img.width, CV_8U, cv::Scalar(0));
    std::vector<float> sample;
    sample.reserve(img.samples.size() / 7 + 1);
    for (size_t k = 0; k < img.samples.size(); k += 7) {
        if (!std::isnan(img.samples[k])) {
            sample.push_back(img.samples[k]);
        }
    }
    if (sample.empty()) {
        return m;
    }
    const auto pick = [&](double q) {
        auto it = sample.begin() + static_cast<ptrdiff_t>(q * (sample.size() - 1));
        std::nth_element(sample.begin(), it, sample.end());
        return *it;
    };
    const float lo = pick(0.005);
    const float hi = std::max(pick(0.995), lo + img.quantum);
    const float scale = 255.0f / (hi - lo);
    for (int y = 0; y < img.height; ++y) {
        const float* s = img.Row(y);
        uint8_t* g = m.grey.ptr<uint8_t>(y);
        uint8_t* k = m.mask.ptr<uint8_t>(y);
        for (int x = 0; x < img.width; ++x) {
            if (!std::isnan(s[x])) {
                g[x] = cv::saturate_cast<uint8_t>((s[x] - lo) * scale);
                k[x] = 255;
            }
        }
    }
    return m;
}

// Texture is told from noise over a window of this side, where it has at
// least this many times the gradient energy noise alone gives.
constexpr int kWide = 15;
constexpr float kNoiseEnergy = 1.6f;

// The standard deviation of the noise in an image: from the second
// differences along the rows (which a smooth shading leaves at zero), by
// their median absolute value, which texture covering less than half of
// the image does not move far. 0 for an image without noise.
float NoiseSigma(const GreyImage& img) {
    std::vector<float> diff;
    diff.reserve(img.samples.size() / 2);
    for (int y = 0; y < img.height; y += 2) {
        const float* s = img.Row(y);
        for (int x = 1; x + 1 < img.width; ++x) {
            const float d = s[x - 1] - 2.0f * s[x] + s[x + 1];
            if (!std::isnan(d)) {
                diff.push_back(std::abs(d));
            }
        }
    }
    if (diff.empty()) {
        return 0.0f;
    }
    auto mid = diff.begin() + static_cast<ptrdiff_t>(diff.size() / 2);
    std::nth_element(diff.begin(), mid, diff.end());
    // For Gaussian noise of sigma s, the second difference has sigma
    // s * sqrt(6), and its median absolute value is 0.6745 of that.
    return *mid / (0.6745f * std::sqrt(6.0f));
}

// Where the left image has texture that fixes a position along the rows:
// the root mean square of the grey gradient along the rows in a 7 x 7
// window is at least half a quantum of the source data, and along the
// pixel's own row (5 pixels) a quarter. Smooth sky and far ground drawn out
// into bands along the rows have none, and the own-row test keeps the sky
// just above an outline from borrowing the texture below it.
// A real image's noise is larger than a quantum, and matched, it gives
// ranges at random (far points in the sky). Noise of sigma s gives a mean
// squared gradient of s * s / 2; over a 15 x 15 window that mean wanders
// by some 15 % (more where compression smooths the noise), so the window
// must reach 1.6 times it, with s estimated from the image itself. Weak
// but real texture, spread over the window, still passes.
// smoothed: the image went through the 3x3 binomial before it was
// rectified (a raw colour mosaic and its partner, matching/BayerMosaic.h).
// Its noise is no longer white: the second differences that NoiseSigma
// reads keep 0.375 of its sigma and the gradients 0.242, so the gradient
// energy of that noise is 5 times what the white-noise relation infers.
cv::Mat TextureMask(const GreyImage& img, bool smoothed) {
    const float noise = NoiseSigma(img) * (smoothed ? std::sqrt(5.0f) : 1.0f);
    cv::Mat gx2(img.height, img.width, CV_32F, cv::Scalar(0));
    for (int y = 0; y < img.height; ++y) {
        const float* s = img.Row(y);
        float* d = gx2.ptr<float>(y);
        for (int x = 1; x + 1 < img.width; ++x) {
            const float g = 0.5f * (s[x + 1] - s[x - 1]);
            d[x] = std::isnan(g) ? 0.0f : g * g;
        }
    }
    cv::Mat mean, own;
    cv::boxFilter(gx2, mean, CV_32F, cv::Size(7, 7));
    cv::boxFilter(gx2, own, CV_32F, cv::Size(5, 1));
    cv::Mat wide;
    cv::boxFilter(gx2, wide, CV_32F, cv::Size(kWide, kWide));
    const float minWide = kNoiseEnergy * 0.5f * noise * noise;
    const float share = 0.5f;
    const float minMean = share * share * img.quantum * img.quantum;
    const float ownShare = 0.25f;
    const float minOwn = ownShare * ownShare * img.quantum * img.quantum;
    cv::Mat mask(img.height, img.width, CV_8U);
    for (int y = 0; y < img.height; ++y) {
        const float* m = mean.ptr<float>(y);
        const float* r = own.ptr<float>(y);
        const float* v = wide.ptr<float>(y);
        uint8_t* o = mask.ptr<uint8_t>(y);
        for (int x = 0; x < img.width; ++x) {
            o[x] = m[x] >= minMean && r[x] >= minOwn && v[x] >= minWide ? 255 : 0;
        }
    }
    return mask;
}

// Disparities that differ by no more than this (pixels) are one surface to
// the speckle filter.
constexpr int kSpeckleRange = 2;

// The smallest patch of one surface kept: 100 pixels on a 1 megapixel
// image, as many more as the image is larger.
int SpeckleWindow(int width, int height) {
    return std::max(100, static_cast<int>(1e-4 * width * height));
}

int RoundUp16(int v) {
    return std::max(16, (v + 15) / 16 * 16);
}

// Semi-global matching of two 8-bit images with disparities from minD to
// maxD (exclusive); the images are padded on the left so that pixels near
// the left border are searched over the whole range; patches of fewer than
// speckleWindow pixels are dropped (0: none). NaN where invalid.
cv::Mat Match(const cv::Mat& left, const cv::Mat& right, int minD, int maxD, int speckleWindow) {
    const int numD = RoundUp16(maxD - minD);
    const int pad = std::max(0, minD + numD);
    cv::Mat l, r;
    cv::copyMakeBorder(left, l, 0, 0, pad, 0, cv::BORDER_CONSTANT, cv::Scalar(0));
    cv::copyMakeBorder(right, r, 0, 0, pad, 0, cv::BORDER_CONSTANT, cv::Scalar(0));
    constexpr int kBlock = 5;
    auto sgbm =
        cv::StereoSGBM::create(minD, numD, kBlock, 8 * kBlock * kBlock, 32 * kBlock * kBlock,
                               /*disp12MaxDiff*/ 1, /*preFilterCap*/ 31, /*uniquenessRatio*/ 10,
                               /*speckleWindowSize*/ speckleWindow, /*speckleRange*/ kSpeckleRange,
                               cv::StereoSGBM::MODE_SGBM_3WAY);
    cv::Mat disp16;
    sgbm->compute(l, r, disp16);
    cv::Mat out(left.rows, left.cols, CV_32F);
    const int invalid = (minD - 1) * 16;
    for (int y = 0; y < left.rows; ++y) {
        const int16_t* d = disp16.ptr<int16_t>(y) + pad;
        float* o = out.ptr<float>(y);
        for (int x = 0; x < left.cols; ++x) {
            o[x] = d[x] <= invalid ? kNaN : d[x] / 16.0f;
        }
    }
    return out;
}

cv::Mat Reduce(const cv::Mat& m, int factor, int interpolation) {
    if (factor == 1) {
        return m;
    }
    cv::Mat out;
    cv::resize(m, out, cv::Size((m.cols + factor - 1) / factor, (m.rows + factor - 1) / factor), 0,
               0, interpolation);
    return out;
}

} // namespace

// Fills a DenseRangeMap (a friend of it).
struct DenseBuilder {
    static DenseResult Run(std::shared_ptr<const StereoRectification> rect, const GreyImage& left,
                           const GreyImage& right, const DenseOptions& options);
};

float DenseRangeMap::RectifiedDisparity(const ImagePoint& r) const {
    if (m_disp.empty()) {
        return kNaN;
    }
    const double gx = r.x / m_scale;
    const double gy = r.y / m_scale;
    const int ix = static_cast<int>(std::floor(gx));
    const int iy = static_cast<int>(std::floor(gy));
    if (ix < -1 || iy < -1 || ix >= m_dispW || iy >= m_dispH) {
        return kNaN;
    }
    const auto at = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= m_dispW || y >= m_dispH) {
            return kNaN;
        }
        return m_disp[static_cast<size_t>(y) * m_dispW + x];
    };
    const float d00 = at(ix, iy), d10 = at(ix + 1, iy), d01 = at(ix, iy + 1),
                d11 = at(ix + 1, iy + 1);
    const double fx = gx - ix, fy = gy - iy;
    // Bilinear inside one surface; at an edge of the valid area, or across a
    // jump, the nearest sample.
    if (!std::isnan(d00) && !std::isnan(d10) && !std::isnan(d01) && !std::isnan(d11)) {
        const float lo = std::min({d00, d10, d01, d11});
        const float hi = std::max({d00, d10, d01, d11});
        if (hi - lo <= 1.0f * m_scale) {
            return static_cast<float>((d00 * (1 - fx) + d10 * fx) * (1 - fy) +
                                      (d01 * (1 - fx) + d11 * fx) * fy);
        }
    }
    return at(fx < 0.5 ? ix : ix + 1, fy < 0.5 ? iy : iy + 1);
}

std::optional<ImagePoint> DenseRangeMap::Partner(const ImagePoint& left) const {
    if (!m_rect) {
        return std::nullopt;
    }
    const auto r = m_rect->ToRectified(Eye::Left, left);
    if (!r) {
        return std::nullopt;
    }
    const float d = RectifiedDisparity(*r);
    if (std::isnan(d)) {
        return std::nullopt;
    }
    const auto o = m_rect->ToOriginal(Eye::Right, {r->x - d, r->y});
    if (!o || o->x < -0.5 || o->y < -0.5 || o->x > m_rect->OriginalWidth(Eye::Right) - 0.5 ||
        o->y > m_rect->OriginalHeight(Eye::Right) - 0.5) {
        return std::nullopt;
    }
    return o;
}

std::optional<DensePoint> DenseRangeMap::At(const ImagePoint& left) const {
    const int x = static_cast<int>(std::lround(left.x));
    const int y = static_cast<int>(std::lround(left.y));
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) {
        return std::nullopt;
    }
    const size_t k = static_cast<size_t>(y) * m_width + x;
    if (std::isnan(m_xyz[3 * k])) {
        return std::nullopt;
    }
    DensePoint p;
    p.left = {static_cast<double>(x), static_cast<double>(y)};
    p.position = {m_xyz[3 * k], m_xyz[3 * k + 1], m_xyz[3 * k + 2]};
    p.range = p.position.Length();
    p.rangeSigma = m_sigma[k];
    const auto r = m_rect->ToRectifiedFast(Eye::Left, p.left);
    if (r) {
        const auto o = m_rect->ToOriginalFast(Eye::Right, {r->x - RectifiedDisparity(*r), r->y});
        if (o) {
            p.right = *o;
        }
    }
    return p;
}

float DenseRangeMap::RangeAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) {
        return kNaN;
    }
    const size_t k = 3 * (static_cast<size_t>(y) * m_width + x);
    return std::sqrt(m_xyz[k] * m_xyz[k] + m_xyz[k + 1] * m_xyz[k + 1] +
                     m_xyz[k + 2] * m_xyz[k + 2]);
}

DenseResult DenseBuilder::Run(std::shared_ptr<const StereoRectification> rect,
                              const GreyImage& left, const GreyImage& right,
                              const DenseOptions& options) {
    const auto start = std::chrono::steady_clock::now();
    DenseResult res;
    const auto progress = [&](double f) { return !options.progress || options.progress(f); };
    const auto cancelled = [&] {
        res.cancelled = true;
        res.problem = "Cancelled.";
        return res;
    };
    if (!rect || !rect->Problem().empty()) {
        res.problem = rect ? rect->Problem() : "The pair has no cameras to rectify with.";
        return res;
    }
    if (left.width != rect->OriginalWidth(Eye::Left) ||
        left.height != rect->OriginalHeight(Eye::Left) ||
        right.width != rect->OriginalWidth(Eye::Right) ||
        right.height != rect->OriginalHeight(Eye::Right)) {
        res.problem = "The images are not the size the pair's cameras were set up for.";
        return res;
    }
    // Rectify, the eyes made alike first when either is (or was) a raw
    // colour mosaic.
    std::optional<std::pair<GreyImage, GreyImage>> alike;
    if (MatchAlike(left, right)) {
        alike.emplace(left, right);
        MakeAlike(alike->first, alike->second);
    }
    const GreyImage rl = rect->Resample(Eye::Left, alike ? alike->first : left);
    const GreyImage rr = rect->Resample(Eye::Right, alike ? alike->second : right);
    if (!progress(0.2)) {
        return cancelled();
    }
    const Matchable ml = ToMatchable(rl);
    const Matchable mr = ToMatchable(rr);
    const cv::Mat texture = TextureMask(rl, alike ? alike->first.smoothed : left.smoothed);

    const int width = rect->Width();
    const int scale = std::max(1, (width + options.maxMatchWidth - 1) / options.maxMatchWidth);
    const LinearCamera& cam = rect->Camera(Eye::Left);
    const double nearest = std::max(0.05, options.minRangeM);
    int maxD = static_cast<int>(std::ceil(cam.f * rect->Baseline() / nearest));
    maxD = std::min(maxD, width - 16);
    int minD = -4 * scale;
    // A coarse look first finds the disparities the scene spans.
    const int coarse = std::max(scale, (width + 399) / 400);
    if (coarse > scale) {
        const cv::Mat cl = Reduce(ml.grey, coarse, cv::INTER_AREA);
        const cv::Mat cr = Reduce(mr.grey, coarse, cv::INTER_AREA);
        const cv::Mat cd = Match(cl, cr, minD / coarse - 1, maxD / coarse + 1, 100);
        // Only matches of textured pixels whose partner has data count: the
        // padding and the parts of the canvas outside an image match
        // anything.
        const cv::Mat ct = Reduce(texture, coarse, cv::INTER_NEAREST);
        const cv::Mat ckl = Reduce(ml.mask, coarse, cv::INTER_NEAREST);
        const cv::Mat ckr = Reduce(mr.mask, coarse, cv::INTER_NEAREST);
        std::vector<float> found;
        for (int y = 0; y < cd.rows; ++y) {
            for (int x = 0; x < cd.cols; ++x) {
                const float d = cd.at<float>(y, x);
                const int xr = std::isnan(d) ? -1 : static_cast<int>(std::lround(x - d));
                if (xr >= 0 && xr < ckr.cols && ct.at<uint8_t>(y, x) && ckl.at<uint8_t>(y, x) &&
                    ckr.at<uint8_t>(y, xr)) {
                    found.push_back(d);
                }
            }
        }
        if (found.size() > 50) {
            std::sort(found.begin(), found.end());
            const float lo = found[found.size() / 500];
            const float hi = found[found.size() - 1 - found.size() / 500];
            const int margin = 2 * coarse + 8 * scale;
            minD = std::max(minD, static_cast<int>(std::floor(lo * coarse)) - margin);
            maxD = std::min(maxD, static_cast<int>(std::ceil(hi * coarse)) + margin);
        }
    }
    if (!progress(0.3)) {
        return cancelled();
    }
    const cv::Mat wl = Reduce(ml.grey, scale, cv::INTER_AREA);
    const cv::Mat wr = Reduce(mr.grey, scale, cv::INTER_AREA);
    const int wMinD = static_cast<int>(std::floor(static_cast<double>(minD) / scale));
    const int wMaxD =
        std::max(wMinD + 16, static_cast<int>(std::ceil(static_cast<double>(maxD) / scale)));
    const cv::Mat disp = Match(wl, wr, wMinD, wMaxD, 0);
    if (!progress(0.8)) {
        return cancelled();
    }
    DenseRangeMap& map = res.map;
    map.m_rect = rect;
    map.m_scale = scale;
    map.m_dispW = disp.cols;
    map.m_dispH = disp.rows;
    map.m_disp.assign(static_cast<size_t>(disp.cols) * disp.rows, kNaN);
    // The masks come before the speckle filter: matched without texture,
    // smooth sky joins whatever it borders into one large patch, and what
    // the texture mask leaves of it would be kept as small islands.
    constexpr int16_t kNone = std::numeric_limits<int16_t>::min();
    cv::Mat kept(disp.rows, disp.cols, CV_16S, cv::Scalar(kNone));
    const cv::Mat tl = Reduce(texture, scale, cv::INTER_NEAREST);
    const cv::Mat kl = Reduce(ml.mask, scale, cv::INTER_NEAREST);
    const cv::Mat kr = Reduce(mr.mask, scale, cv::INTER_NEAREST);
    for (int y = 0; y < disp.rows; ++y) {
        for (int x = 0; x < disp.cols; ++x) {
            const float d = disp.at<float>(y, x);
            if (std::isnan(d) || !(d > 0.0f) || !tl.at<uint8_t>(y, x) || !kl.at<uint8_t>(y, x)) {
                continue;
            }
            const int xr = static_cast<int>(std::lround(x - d));
            if (xr < 0 || xr >= kr.cols || !kr.at<uint8_t>(y, xr)) {
                continue;
            }
            kept.at<int16_t>(y, x) = static_cast<int16_t>(std::lround(d * 16.0f));
        }
    }
    cv::filterSpeckles(kept, kNone, SpeckleWindow(disp.cols, disp.rows), 16 * kSpeckleRange);
    for (int y = 0; y < disp.rows; ++y) {
        for (int x = 0; x < disp.cols; ++x) {
            const int16_t d = kept.at<int16_t>(y, x);
            if (d != kNone) {
                map.m_disp[static_cast<size_t>(y) * disp.cols + x] = d * (scale / 16.0f);
            }
        }
    }

    // Back to original pixels, and through the models.
    const int w = left.width, h = left.height;
    map.m_width = w;
    map.m_height = h;
    map.m_xyz.assign(static_cast<size_t>(w) * h * 3, kNaN);
    map.m_sigma.assign(static_cast<size_t>(w) * h, kNaN);
    const ICameraProjection& camL = rect->Original(Eye::Left);
    const ICameraProjection& camR = rect->Original(Eye::Right);
    const double sigmaD = options.disparitySigmaPx * scale;
    map.m_disparitySigmaPx = sigmaD;
    const double maxRange = options.maxRangeM > 0.0 ? options.maxRangeM : 1e300;
    std::atomic<bool> stop{false};
    std::atomic<int> rowsDone{0};
    cv::parallel_for_(cv::Range(0, h), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end && !stop; ++y) {
            for (int x = 0; x < w; ++x) {
                const ImagePoint o{static_cast<double>(x), static_cast<double>(y)};
                const auto r = rect->ToRectifiedFast(Eye::Left, o);
                if (!r) {
                    continue;
                }
                const float d = map.RectifiedDisparity(*r);
                if (std::isnan(d) || !(d > 0.0f)) {
                    continue;
                }
                const auto p = rect->ToOriginalFast(Eye::Right, {r->x - d, r->y});
                if (!p || p->x < -0.5 || p->y < -0.5 || p->x > right.width - 0.5 ||
                    p->y > right.height - 0.5) {
                    continue;
                }
                const auto rayL = camL.PixelToRay(o);
                const auto rayR = camR.PixelToRay(*p);
                if (!rayL || !rayR) {
                    continue;
                }
                CPoint3D a = rayL->direction, b = rayR->direction;
                double ta = 0.0, tb = 0.0;
                const CPoint3D pt = ClosestApproach(a, b, rayL->origin, rayR->origin, ta, tb);
                if (!(ta > 0.0 && tb > 0.0)) {
                    continue;
                }
                const double range = pt.Length();
                if (!(range <= maxRange)) {
                    continue;
                }
                const size_t k = static_cast<size_t>(y) * w + x;
                map.m_xyz[3 * k] = static_cast<float>(pt.m_dX);
                map.m_xyz[3 * k + 1] = static_cast<float>(pt.m_dY);
                map.m_xyz[3 * k + 2] = static_cast<float>(pt.m_dZ);
                map.m_sigma[k] = static_cast<float>(range * sigmaD / d);
            }
            if (options.progress && (++rowsDone % 64) == 0 &&
                !options.progress(0.8 + 0.2 * rowsDone / h)) {
                stop = true;
            }
        }
    });
    if (stop) {
        return cancelled();
    }

    DenseSummary& s = map.m_summary;
    s.width = w;
    s.height = h;
    s.matchScale = scale;
    s.minDisparity = wMinD * scale;
    s.maxDisparity = wMaxD * scale;
    std::vector<float> ranges;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const float rg = map.RangeAt(x, y);
            if (!std::isnan(rg)) {
                ranges.push_back(rg);
            }
        }
    }
    s.valid = static_cast<long long>(ranges.size());
    s.validFraction = static_cast<double>(s.valid) / (static_cast<double>(w) * h);
    const double qs[5] = {0.05, 0.25, 0.5, 0.75, 0.95};
    for (int i = 0; i < 5 && !ranges.empty(); ++i) {
        auto it = ranges.begin() + static_cast<ptrdiff_t>(qs[i] * (ranges.size() - 1));
        std::nth_element(ranges.begin(), it, ranges.end());
        s.rangePercentiles[i] = *it;
    }
    res.ok = true;
    res.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    progress(1.0);
    return res;
}

DenseResult ComputeDenseRange(std::shared_ptr<const StereoRectification> rect,
                              const GreyImage& left, const GreyImage& right,
                              const DenseOptions& options) {
    return DenseBuilder::Run(std::move(rect), left, right, options);
}
