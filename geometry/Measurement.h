// What one measurement leaves behind: the two marked pixels and the vertex.
#pragma once

#include "geometry/ImagePoint.h"
#include "geometry/Point3D.h"

// One measured vertex: the intersected point and the half spread of the
// one-pixel error sweep.
struct VertexRecord {
    CPoint3D m_ptPosition;
    CPoint3D m_ptError;
    bool operator==(const VertexRecord&) const = default;
};
