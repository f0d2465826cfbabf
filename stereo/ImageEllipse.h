// A measured point's 1-sigma error ellipsoid as it appears in an image: the
// point's 3x3 covariance carried through the camera's projection (its
// Jacobian at the point) to a 2x2 covariance in pixels, and the outline of
// that ellipse for drawing.
#pragma once

#include "geometry/ImagePoint.h"
#include "geometry/Point3D.h"
#include "geometry/PointGeometry.h"
#include "geometry/Projection.h"

#include <array>
#include <string>
#include <vector>

struct ImageEllipse {
    ImagePoint centrePx; // where the point itself appears
    std::array<std::array<double, 2>, 2> covariancePx2{};
    double semiMajorPx = 0.0;
    double semiMinorPx = 0.0;
    double majorAngleRad = 0.0; // from +column toward +row
};

struct ImageEllipseResult {
    bool ok = false;
    std::string message; // why not
    ImageEllipse ellipse;
};

// Fails when the point, or a point a small part of its spread away, does
// not project (behind the camera, outside the model's field).
ImageEllipseResult ProjectErrorEllipse(const ICameraProjection& camera, const CPoint3D& pointM,
                                       const Covariance3& covarianceM2);

// Points around the ellipse (the first not repeated at the end), centred on
// centrePx: the ellipse may be drawn around a mark rather than the projection.
std::vector<ImagePoint> EllipseOutline(const ImageEllipse& ellipse, const ImagePoint& centrePx,
                                       int segments = 48);
