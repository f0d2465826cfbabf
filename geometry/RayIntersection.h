// Intersection of two general rays, each with its own origin (product
// models, CAHVORE included): the closest points of the two rays, their
// midpoint as the 3-D point and their distance as the miss distance.
#pragma once

#include "geometry/Point3D.h"
#include "geometry/Projection.h"

#include <string>

struct RayIntersectionOptions {
    // Rays closer to parallel than this angle (radians) do not intersect.
    double minAngleRad = 1e-9;
};

enum class RayIntersectionStatus {
    Ok,
    Invalid,      // a non-finite or zero direction, a non-finite origin
    Parallel,     // the rays are (nearly) parallel
    BehindFirst,  // the closest point lies at or behind the first ray's origin
    BehindSecond, // likewise for the second ray
};

struct RayIntersectionResult {
    RayIntersectionStatus status = RayIntersectionStatus::Invalid;
    std::string message; // empty when Ok
    CPoint3D point;      // midpoint of the closest points
    CPoint3D closestOnFirst;
    CPoint3D closestOnSecond;
    double missDistance = 0.0; // |closestOnFirst - closestOnSecond|, metres
    double tFirst = 0.0;       // distance along the first ray's unit direction
    double tSecond = 0.0;

    bool ok() const { return status == RayIntersectionStatus::Ok; }
};

// The directions need not be unit vectors. A closest point at t <= 0 on
// either ray is a failure (the crossing is behind that camera), as is any
// non-finite input; a failure still fills t and the closest points when they
// could be computed.
RayIntersectionResult IntersectRays(const Ray& first, const Ray& second,
                                    const RayIntersectionOptions& options = {});
