#include "stereo/Rectification.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Points along a ray are taken this far out (metres) when a direction is
// handed to a model's point projection: far enough that the small offset
// between a model's centre and the rectified camera's centre does not show.
constexpr double kFar = 1.0e5;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
// A rectified image is at most this many times the original's size a side
// (wide-angle models would otherwise ask for a huge canvas).
constexpr double kMaxGrowth = 1.6;

std::optional<CPoint3D> Direction(const ICameraProjection& camera, double x, double y) {
    const auto ray = camera.PixelToRay({x, y});
    if (!ray) {
        return std::nullopt;
    }
    const double len = ray->direction.Length();
    if (!(len > 0.0)) {
        return std::nullopt;
    }
    return ray->direction / len;
}

} // namespace

std::optional<ImagePoint> LinearCamera::Project(const CPoint3D& p) const {
    const CPoint3D d = p - c;
    const double along = Dot(d, a);
    if (!(along > 0.0)) {
        return std::nullopt;
    }
    return ImagePoint{cx + f * Dot(d, hDir) / along, cy + f * Dot(d, vDir) / along};
}

CPoint3D LinearCamera::Direction(const ImagePoint& pixel) const {
    return (a + hDir * ((pixel.x - cx) / f) + vDir * ((pixel.y - cy) / f)).Normalized();
}

std::optional<ImagePoint> PixelGridMap::At(double px, double py) const {
    const double gx = px / step;
    const double gy = py / step;
    if (!(gx >= 0.0 && gy >= 0.0 && gx <= nodesX - 1 && gy <= nodesY - 1)) {
        return std::nullopt;
    }
    const int ix = std::min(static_cast<int>(gx), nodesX - 2);
    const int iy = std::min(static_cast<int>(gy), nodesY - 2);
    const double fx = gx - ix;
    const double fy = gy - iy;
    const size_t k = static_cast<size_t>(iy) * nodesX + ix;
    const float x00 = x[k], x10 = x[k + 1], x01 = x[k + nodesX], x11 = x[k + nodesX + 1];
    const float y00 = y[k], y10 = y[k + 1], y01 = y[k + nodesX], y11 = y[k + nodesX + 1];
    if (std::isnan(x00) || std::isnan(x10) || std::isnan(x01) || std::isnan(x11)) {
        return std::nullopt;
    }
    const auto lerp = [&](float v00, float v10, float v01, float v11) {
        return (v00 * (1 - fx) + v10 * fx) * (1 - fy) + (v01 * (1 - fx) + v11 * fx) * fy;
    };
    return ImagePoint{lerp(x00, x10, x01, x11), lerp(y00, y10, y01, y11)};
}

StereoRectification::StereoRectification(std::shared_ptr<const ICameraProjection> left,
                                         std::shared_ptr<const ICameraProjection> right,
                                         int leftWidth, int leftHeight, int rightWidth,
                                         int rightHeight)
    : m_origLeft(std::move(left)), m_origRight(std::move(right)), m_leftW(leftWidth),
      m_leftH(leftHeight), m_rightW(rightWidth), m_rightH(rightHeight) {
    if (!m_origLeft || !m_origRight) {
        m_problem = "The pair has no cameras to rectify with.";
        return;
    }
    if (leftWidth < 2 || leftHeight < 2 || rightWidth < 2 || rightHeight < 2) {
        m_problem = "An image of the pair is empty.";
        return;
    }
    const double lcx = 0.5 * (leftWidth - 1), lcy = 0.5 * (leftHeight - 1);
    const double rcx = 0.5 * (rightWidth - 1), rcy = 0.5 * (rightHeight - 1);
    const auto rayL = m_origLeft->PixelToRay({lcx, lcy});
    const auto rayR = m_origRight->PixelToRay({rcx, rcy});
    const auto dL = Direction(*m_origLeft, lcx, lcy);
    const auto dR = Direction(*m_origRight, rcx, rcy);
    const double span = std::min(50.0, 0.25 * std::min(leftWidth, leftHeight));
    const auto dLx0 = Direction(*m_origLeft, lcx - span, lcy);
    const auto dLx1 = Direction(*m_origLeft, lcx + span, lcy);
    const auto dLy1 = Direction(*m_origLeft, lcx, lcy + span);
    if (!rayL || !rayR || !dL || !dR || !dLx0 || !dLx1 || !dLy1) {
        m_problem = "A camera of the pair casts no ray through its image centre.";
        return;
    }
    const CPoint3D base = rayR->origin - rayL->origin;
    const double b = base.Length();
    if (!(b > 1e-6)) {
        m_problem = "The two cameras stand at the same place: the pair has no stereo baseline.";
        return;
    }
    const CPoint3D hDir = base / b;
    const CPoint3D rowDir = *dLx1 - *dLx0;
    if (!(Dot(rowDir, hDir) > 0.0)) {
        m_problem = "The right camera stands to the left of the left camera: the images are "
                    "swapped.";
        return;
    }
    CPoint3D a = *dL + *dR;
    a = a - hDir * Dot(a, hDir);
    if (!(a.Length() > 1e-6)) {
        m_problem = "The cameras look along their baseline: the pair cannot be rectified.";
        return;
    }
    a = a.Normalized();
    CPoint3D vDir = Cross(a, hDir);
    if (Dot(vDir, *dLy1 - *dL) < 0.0) {
        vDir = -vDir;
    }
    // Keep the left image's pixel size at its centre.
    const auto tanH = [&](const CPoint3D& d) { return Dot(d, hDir) / Dot(d, a); };
    const double f = 2.0 * span / (tanH(*dLx1) - tanH(*dLx0));
    if (!(f > 0.0) || !std::isfinite(f)) {
        m_problem = "The left camera's pixel scale cannot be found.";
        return;
    }
    // The canvas: every border pixel of both images, in tangent coordinates.
    double umin = 1e300, umax = -1e300, vmin = 1e300, vmax = -1e300;
    const auto cover = [&](const ICameraProjection& cam, int w, int h) {
        const auto visit = [&](double x, double y) {
            const auto d = Direction(cam, x, y);
            if (!d || !(Dot(*d, a) > 0.05)) {
                return;
            }
            const double u = Dot(*d, hDir) / Dot(*d, a);
            const double v = Dot(*d, vDir) / Dot(*d, a);
            umin = std::min(umin, u);
            umax = std::max(umax, u);
            vmin = std::min(vmin, v);
            vmax = std::max(vmax, v);
        };
        for (int x = 0; x < w; x += 16) {
            visit(x, -0.5);
            visit(x, h - 0.5);
        }
        for (int y = 0; y < h; y += 16) {
            visit(-0.5, y);
            visit(w - 0.5, y);
        }
        visit(w - 0.5, h - 0.5);
    };
    cover(*m_origLeft, leftWidth, leftHeight);
    cover(*m_origRight, rightWidth, rightHeight);
    if (!(umax > umin && vmax > vmin)) {
        m_problem = "The images of the pair do not face the same way.";
        return;
    }
    // Clip a canvas that would grow too large, keeping it about the centre.
    const double maxU = kMaxGrowth * std::max(leftWidth, rightWidth) / f;
    const double maxV = kMaxGrowth * std::max(leftHeight, rightHeight) / f;
    if (umax - umin > maxU) {
        const double mid = 0.5 * (umin + umax);
        umin = mid - 0.5 * maxU;
        umax = mid + 0.5 * maxU;
    }
    if (vmax - vmin > maxV) {
        const double mid = 0.5 * (vmin + vmax);
        vmin = mid - 0.5 * maxV;
        vmax = mid + 0.5 * maxV;
    }
    m_width = static_cast<int>(std::ceil((umax - umin) * f)) + 1;
    m_height = static_cast<int>(std::ceil((vmax - vmin) * f)) + 1;
    LinearCamera cam;
    cam.a = a;
    cam.hDir = hDir;
    cam.vDir = vDir;
    cam.f = f;
    cam.cx = -umin * f;
    cam.cy = -vmin * f;
    m_left = cam;
    m_left.c = rayL->origin;
    m_right = cam;
    m_right.c = rayR->origin;
    m_baseline = b;
    m_toOrigLeft = MakeGrid(m_width, m_height, true, Eye::Left);
    m_toOrigRight = MakeGrid(m_width, m_height, true, Eye::Right);
    m_toRectLeft = MakeGrid(leftWidth, leftHeight, false, Eye::Left);
    m_toRectRight = MakeGrid(rightWidth, rightHeight, false, Eye::Right);
}

std::optional<ImagePoint> StereoRectification::ToOriginal(Eye eye,
                                                          const ImagePoint& rectified) const {
    if (!m_problem.empty()) {
        return std::nullopt;
    }
    const LinearCamera& cam = Camera(eye);
    return Original(eye).PointToPixel(cam.c + cam.Direction(rectified) * kFar);
}

std::optional<ImagePoint> StereoRectification::ToRectified(Eye eye,
                                                           const ImagePoint& original) const {
    if (!m_problem.empty()) {
        return std::nullopt;
    }
    const auto d = Direction(Original(eye), original.x, original.y);
    if (!d) {
        return std::nullopt;
    }
    const LinearCamera& cam = Camera(eye);
    return cam.Project(cam.c + *d * kFar);
}

std::optional<ImagePoint> StereoRectification::ToOriginalFast(Eye eye,
                                                              const ImagePoint& rectified) const {
    return (eye == Eye::Left ? m_toOrigLeft : m_toOrigRight).At(rectified.x, rectified.y);
}

std::optional<ImagePoint> StereoRectification::ToRectifiedFast(Eye eye,
                                                               const ImagePoint& original) const {
    return (eye == Eye::Left ? m_toRectLeft : m_toRectRight).At(original.x, original.y);
}

PixelGridMap StereoRectification::MakeGrid(int width, int height, bool toOriginal, Eye eye) const {
    PixelGridMap g;
    g.width = width;
    g.height = height;
    g.step = 8;
    g.nodesX = (width - 1 + g.step - 1) / g.step + 1;
    g.nodesY = (height - 1 + g.step - 1) / g.step + 1;
    g.x.assign(static_cast<size_t>(g.nodesX) * g.nodesY, kNaN);
    g.y.assign(g.x.size(), kNaN);
    cv::parallel_for_(cv::Range(0, g.nodesY), [&](const cv::Range& rows) {
        for (int j = rows.start; j < rows.end; ++j) {
            for (int i = 0; i < g.nodesX; ++i) {
                const ImagePoint p{static_cast<double>(i * g.step),
                                   static_cast<double>(j * g.step)};
                const auto q = toOriginal ? ToOriginal(eye, p) : ToRectified(eye, p);
                if (q && std::isfinite(q->x) && std::isfinite(q->y)) {
                    const size_t k = static_cast<size_t>(j) * g.nodesX + i;
                    g.x[k] = static_cast<float>(q->x);
                    g.y[k] = static_cast<float>(q->y);
                }
            }
        }
    });
    return g;
}

GreyImage StereoRectification::Resample(Eye eye, const GreyImage& original) const {
    std::vector<GreyImage> out = Resample(eye, std::vector<const GreyImage*>{&original});
    return std::move(out.front());
}

std::vector<GreyImage>
StereoRectification::Resample(Eye eye, const std::vector<const GreyImage*>& planes) const {
    std::vector<GreyImage> out(planes.size());
    for (size_t i = 0; i < planes.size(); ++i) {
        out[i].quantum = planes[i]->quantum;
    }
    for (const GreyImage* plane : planes) {
        if (!m_problem.empty() || plane->width != OriginalWidth(eye) ||
            plane->height != OriginalHeight(eye)) {
            return out;
        }
    }
    std::vector<cv::Mat> sources;
    for (size_t i = 0; i < planes.size(); ++i) {
        out[i].width = m_width;
        out[i].height = m_height;
        out[i].samples.assign(static_cast<size_t>(m_width) * m_height, kNaN);
        sources.emplace_back(planes[i]->height, planes[i]->width, CV_32F,
                             const_cast<float*>(planes[i]->samples.data()));
    }
    const int width = OriginalWidth(eye), height = OriginalHeight(eye);
    const PixelGridMap& grid = eye == Eye::Left ? m_toOrigLeft : m_toOrigRight;
    constexpr int kStrip = 32;
    const int strips = (m_height + kStrip - 1) / kStrip;
    cv::parallel_for_(cv::Range(0, strips), [&](const cv::Range& range) {
        cv::Mat mapX(kStrip, m_width, CV_32F), mapY(kStrip, m_width, CV_32F);
        cv::Mat dst;
        for (int s = range.start; s < range.end; ++s) {
            const int y0 = s * kStrip;
            const int rows = std::min(kStrip, m_height - y0);
            for (int r = 0; r < rows; ++r) {
                float* mx = mapX.ptr<float>(r);
                float* my = mapY.ptr<float>(r);
                for (int x = 0; x < m_width; ++x) {
                    const auto q = grid.At(x, y0 + r);
                    mx[x] = q ? static_cast<float>(q->x) : -1e6f;
                    my[x] = q ? static_cast<float>(q->y) : -1e6f;
                }
            }
            const cv::Rect band(0, 0, m_width, rows);
            for (size_t i = 0; i < sources.size(); ++i) {
                cv::remap(sources[i], dst, mapX(band), mapY(band), cv::INTER_CUBIC,
                          cv::BORDER_REPLICATE);
                for (int r = 0; r < rows; ++r) {
                    const float* mx = mapX.ptr<float>(r);
                    const float* my = mapY.ptr<float>(r);
                    const float* d = dst.ptr<float>(r);
                    float* o = out[i].samples.data() + static_cast<size_t>(y0 + r) * m_width;
                    for (int x = 0; x < m_width; ++x) {
                        const bool inside = mx[x] >= -0.5f && my[x] >= -0.5f &&
                                            mx[x] <= width - 0.5f && my[x] <= height - 0.5f;
                        o[x] = inside ? d[x] : kNaN;
                    }
                }
            }
        }
    });
    return out;
}
