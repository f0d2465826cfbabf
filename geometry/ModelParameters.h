// The vectors and scalars of a CAHV, CAHVOR or CAHVORE camera model as a
// product label or a raw-image record gives them. Plain value: the models in
// geometry/ check and use it.
#pragma once

#include "geometry/Point3D.h"

#include <optional>
#include <string>

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

// "CAHV", "CAHVOR" or "CAHVORE".
const char* ModelTypeName(ModelType type);

// Whether a model can be used, and if not, why ("the axis A has length 0.5,
// not between 0.9 and 1.1"). Checks every component the type uses for finite
// values, |A| and |O| within 0.9 to 1.1, positive focal lengths hs and vs, H
// and V not parallel on the image plane, O within 90 degrees of A, 1 + r0 > 0
// and, for CAHVORE, MTYPE 1, 2 or 3 (3 with a finite MPARM). Components the
// type does not use are not looked at.
struct ModelValidationResult {
    bool ok = false;
    std::string message; // empty when ok
};
ModelValidationResult ValidateModel(const ModelParameters& model);

// Image-plane values every model type has: principal point (hc, vc) = (A.H,
// A.V) and focal lengths in pixels (hs, vs) = (|A x H|, |A x V|).
struct ModelDerivedValues {
    double hc = 0.0;
    double vc = 0.0;
    double hs = 0.0;
    double vs = 0.0;
};
ModelDerivedValues DeriveValues(const ModelParameters& model);

// The CAHVORE linearity of a model type: MTYPE 1 gives 1 (perspective), 2
// gives 0 (fisheye), 3 gives MPARM. No value for any other MTYPE or a
// non-finite MPARM.
std::optional<double> LinearityOf(int mtype, double mparm);
