// Camera models the product-model tests share: the Mars 2020 Navcam model of
// a raw-image record, variants of it, and helpers to walk over an image.
#pragma once

#include "geometry/ModelParameters.h"
#include "geometry/ProductModels.h"
#include "tests/support/ReferenceModels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace fixtures {

using reference_models::M20Navcam;
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

// The model with O scaled to unit length. Models use O as the label gives it
// (printed to a few digits, so unit only to about 1e-5), and a CAHVOR or
// CAHVORE model's two directions are exact inverses only for a unit O.
inline ModelParameters WithUnitO(ModelParameters p) {
    p.o = p.o.Normalized();
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
