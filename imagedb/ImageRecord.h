// The recorded orientation of one image product: the camera-head pointing
// and the vehicle attitude applied after it. Plain value.
#pragma once

#include "geometry/CameraPose.h"
#include "geometry/Point3D.h"

#include <string>

struct ImageRecord {
    std::string m_sProductId;  // lower-cased product title, the database key
    CQuat m_qAttitude;         // vehicle attitude (identity by default)
    double m_dAzimuth = 0.0;   // head azimuth, degrees, turn about +Z
    double m_dElevation = 0.0; // head elevation, degrees, turn about +Y by minus this

    bool operator==(const ImageRecord&) const = default;
};

// The camera pose a record gives: its head pointing and vehicle attitude.
inline CameraPose PoseOf(const ImageRecord& record) {
    return CameraPose{record.m_dAzimuth, record.m_dElevation, record.m_qAttitude};
}
