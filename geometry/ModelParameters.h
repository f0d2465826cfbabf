// The vectors and scalars of a CAHV, CAHVOR or CAHVORE camera model as a
// product label or a raw-image record gives them. Plain value: the models in
// geometry/ check and use it.
#pragma once

#include "geometry/Point3D.h"

enum class ModelType { Cahv, Cahvor, Cahvore };

struct ModelParameters {
    ModelType type = ModelType::Cahv;
    CPoint3D c;         // centre, metres
    CPoint3D a;         // axis, unit
    CPoint3D h;         // horizontal vector, pixels
    CPoint3D v;         // vertical vector, pixels
    CPoint3D o;         // optical axis (CAHVOR, CAHVORE)
    CPoint3D r;         // radial terms r0, r1, r2 (CAHVOR, CAHVORE)
    CPoint3D e;         // entrance-pupil terms e0, e1, e2, metres (CAHVORE)
    int mtype = 1;      // CAHVORE: 1 perspective, 2 fisheye, 3 general
    double mparm = 0.0; // CAHVORE: the linearity when mtype is 3
};
