// Two pinhole cameras side by side looking at a textured plane, rendered
// exactly: the ground truth of every pixel is known in closed form.
#pragma once

#include "geometry/Projection.h"
#include "matching/GreyImage.h"

#include <cmath>
#include <functional>
#include <vector>

// Pinhole camera at centre looking along +z (x right, y down), focal
// length f pixels, principal point (cx, cy).
class PinholeCamera : public ICameraProjection {
public:
    PinholeCamera(CPoint3D centre, double f, double cx, double cy)
        : m_centre(centre), m_f(f), m_cx(cx), m_cy(cy) {}

    std::optional<Ray> PixelToRay(const ImagePoint& p) const override {
        return Ray{m_centre, CPoint3D((p.x - m_cx) / m_f, (p.y - m_cy) / m_f, 1.0).Normalized()};
    }
    std::optional<ImagePoint> PointToPixel(const CPoint3D& point) const override {
        const CPoint3D q = point - m_centre;
        if (!(q.m_dZ > 0.0)) {
            return std::nullopt;
        }
        return ImagePoint{m_f * q.m_dX / q.m_dZ + m_cx, m_f * q.m_dY / q.m_dZ + m_cy};
    }
    const CPoint3D& Centre() const { return m_centre; }

private:
    CPoint3D m_centre;
    double m_f, m_cx, m_cy;
};

// Grey value (0..1) of the plane at (x, y) metres.
using PlaneTexture = std::function<double(double x, double y)>;

// A smooth random-looking texture with detail down to a few millimetres.
inline double BlobTexture(double x, double y) {
    double v = 0.5;
    double amp = 0.12;
    double freq = 9.0;
    for (int k = 0; k < 5; ++k) {
        const double a = 0.9 + 1.7 * k;
        v += amp * std::sin(freq * (x * std::cos(a) + y * std::sin(a)) + 1.3 * k) *
             std::cos(freq * 0.7 * (x * std::sin(a) - y * std::cos(a)) + 0.4 * k);
        amp *= 0.8;
        freq *= 1.9;
    }
    return v;
}

struct StereoScene {
    int width = 320;
    int height = 240;
    double focal = 800.0;
    double baselineM = 0.2;
    double planeZ = 4.0; // the plane z = planeZ + slope * y
    double slope = 0.0;
    PinholeCamera left{{0.0, 0.0, 0.0}, 800.0, 160.0, 120.0};
    PinholeCamera right{{0.2, 0.0, 0.0}, 800.0, 160.0, 120.0};

    StereoScene() = default;
    StereoScene(int w, int h, double planeZ_, double slope_ = 0.0)
        : width(w), height(h), planeZ(planeZ_), slope(slope_),
          left({0.0, 0.0, 0.0}, focal, w / 2.0, h / 2.0),
          right({baselineM, 0.0, 0.0}, focal, w / 2.0, h / 2.0) {}

    // Where a pixel's ray meets the plane.
    CPoint3D Hit(const PinholeCamera& cam, const ImagePoint& p) const {
        const Ray r = *cam.PixelToRay(p);
        // z = planeZ + slope * y along origin + t d
        const double t = (planeZ + slope * r.origin.m_dY - r.origin.m_dZ) /
                         (r.direction.m_dZ - slope * r.direction.m_dY);
        return r.origin + r.direction * t;
    }
    // The true partner of a left pixel in the right image, and back.
    ImagePoint RightOf(const ImagePoint& l) const { return *right.PointToPixel(Hit(left, l)); }
    ImagePoint LeftOf(const ImagePoint& r) const { return *left.PointToPixel(Hit(right, r)); }

    // Values 0..1, each pixel the mean of 4 x 4 point samples.
    std::vector<double> Render(const PinholeCamera& cam, const PlaneTexture& texture) const {
        std::vector<double> out(static_cast<size_t>(width) * height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                double sum = 0.0;
                for (int j = 0; j < 4; ++j) {
                    for (int i = 0; i < 4; ++i) {
                        const CPoint3D p =
                            Hit(cam, {x + (i + 0.5) / 4 - 0.5, y + (j + 0.5) / 4 - 0.5});
                        sum += texture(p.m_dX, p.m_dY);
                    }
                }
                out[static_cast<size_t>(y) * width + x] = std::clamp(sum / 16.0, 0.0, 1.0);
            }
        }
        return out;
    }
    GreyImage Render8(const PinholeCamera& cam, const PlaneTexture& texture) const {
        const auto v = Render(cam, texture);
        std::vector<uint8_t> bytes(v.size());
        for (size_t k = 0; k < v.size(); ++k) {
            bytes[k] = static_cast<uint8_t>(std::lround(v[k] * 255.0));
        }
        return GreyImage::FromGrey8(bytes.data(), width, height);
    }
    GreyImage Render16(const PinholeCamera& cam, const PlaneTexture& texture, int bits) const {
        const auto v = Render(cam, texture);
        std::vector<uint16_t> words(v.size());
        for (size_t k = 0; k < v.size(); ++k) {
            words[k] = static_cast<uint16_t>(std::lround(v[k] * ((1 << bits) - 1)));
        }
        return GreyImage::FromGrey16(words.data(), width, height);
    }
};
