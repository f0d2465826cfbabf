// Where one coordinate frame sits in another: p_ref = R(q)·p_this + offset,
// with q = (s, x, y, z) scalar first, as product labels give it.
#pragma once

#include "geometry/Point3D.h"

struct FramePose {
    CQuat rotation;  // rotates vectors of this frame into the reference frame
    CPoint3D offset; // this frame's origin in the reference frame, metres
};
