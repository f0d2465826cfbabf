// One camera as seen by everything that goes from pixels to space and back:
// the epipolar curve, the matcher, the stereo intersection of product models.
// Both cameras of a pair are expressed in one common frame.
#pragma once

#include "geometry/ImagePoint.h"
#include "geometry/Point3D.h"

#include <optional>

// A viewing ray: where it starts (metres) and its unit direction.
struct Ray {
    CPoint3D origin;
    CPoint3D direction;
};

class ICameraProjection {
public:
    virtual ~ICameraProjection() = default;

    // The viewing ray of a pixel; no value when the model cannot cast one
    // (a pixel outside the model's domain, a degenerate model).
    virtual std::optional<Ray> PixelToRay(const ImagePoint& pixel) const = 0;
    // The pixel where a point appears; no value when the point lies behind
    // the camera or outside the model's field.
    virtual std::optional<ImagePoint> PointToPixel(const CPoint3D& point) const = 0;
};
