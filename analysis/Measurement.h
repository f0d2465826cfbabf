// What one measurement leaves behind: the two marked pixels and the vertex.
#pragma once

#include "geometry/Point3D.h"

// A fractional position in an image: x = column, y = row, image pixels.
struct ImagePoint {
    double x = 0.0;
    double y = 0.0;
    bool operator==(const ImagePoint&) const = default;
};

// One measured vertex: the intersected point and the half spread of the
// one-pixel error sweep.
struct VertexRecord {
    CPoint3D m_ptPosition;
    CPoint3D m_ptError;
    bool operator==(const VertexRecord&) const = default;
};
