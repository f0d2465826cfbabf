// Camera models the product-model tests share: the Mars 2020 Navcam model of
// a raw-image record, variants of it, and helpers to walk over an image.
#pragma once

#include "geometry/ModelParameters.h"
#include "geometry/ProductModels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace fixtures {

// Perseverance Navcam left, raw-image record of sol 670 (full-frame pixels).
inline ModelParameters M20Navcam() {
    ModelParameters p;
    p.type = ModelType::Cahvore;
    p.c = {0.950849, 0.349753, -1.89429};
    p.a = {0.824195, 0.0290508, 0.565575};
    p.h = {2041.2, 3032.24, 1457.62};
    p.v = {-71.0941, 9.0217, 3538};
    p.o = {0.824089, 0.0304646, 0.565654};
    p.r = {0.000001736, 0.0501396, -0.0171254};
    p.e = {-0.000000008, 0.00000001, -0.000000029};
    p.mtype = 2;
    p.mparm = 0.0;
    return p;
}
inline constexpr double kM20Width = 5120;
inline constexpr double kM20Height = 3840;

// The Navcam with a strongly moving entrance pupil (centimetres across the
// field) and the given model type.
inline ModelParameters M20WithPupil(int mtype, double mparm) {
    ModelParameters p = M20Navcam();
    p.e = {0.004, 0.012, -0.003};
    p.mtype = mtype;
    p.mparm = mparm;
    return p;
}

// A wide-angle CAHVOR with strong barrel distortion (hazard-camera-like),
// 1024 x 1024, looking along +X of a Z-down frame.
inline ModelParameters WideCahvor() {
    ModelParameters p;
    p.type = ModelType::Cahvor;
    p.c = {0.5, 0.1, -0.6};
    const CPoint3D a = CPoint3D(1.0, 0.02, 0.35).Normalized();
    const CPoint3D right = Cross(kZAxis, a).Normalized();
    const CPoint3D down = Cross(a, right);
    const double f = 330.0;
    p.a = a;
    p.h = right * f + a * 511.5;
    p.v = down * f + a * 511.5;
    p.o = CPoint3D(1.0, 0.03, 0.34).Normalized();
    p.r = {0.0005, -0.08, 0.006};
    return p;
}

inline ProductCameraModel Make(const ModelParameters& p) {
    CameraModelResult r = MakeCameraModel(p);
    EXPECT_TRUE(r.model.has_value()) << r.message;
    return *r.model;
}

// Pixels on a grid over a width x height image, edges included.
inline std::vector<ImagePoint> Grid(double width, double height, int steps) {
    std::vector<ImagePoint> out;
    for (int j = 0; j <= steps; ++j) {
        for (int i = 0; i <= steps; ++i) {
            out.push_back({(width - 1) * i / steps, (height - 1) * j / steps});
        }
    }
    return out;
}

// Angle between two directions, accurate for tiny angles.
inline double AngleRad(const CPoint3D& a, const CPoint3D& b) {
    return std::atan2(Cross(a, b).Length(), Dot(a, b));
}

inline double Distance(const ImagePoint& a, const ImagePoint& b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

} // namespace fixtures
