// How an image's camera was pointed when the image was taken: the camera
// head's azimuth and elevation and the vehicle's attitude applied after it.
// An image database record gives one (imagedb/ImageRecord.h).
#pragma once

#include "geometry/Point3D.h"

struct CameraPose {
    double headAzimuthDeg = 0.0;   // turn about +Z
    double headElevationDeg = 0.0; // turn about +Y by minus this
    CQuat vehicleAttitude;         // identity by default

    bool operator==(const CameraPose&) const = default;
};
