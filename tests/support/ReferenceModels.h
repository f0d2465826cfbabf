// Camera models of real products that tests and benchmarks share.
#pragma once

#include "geometry/ModelParameters.h"

namespace reference_models {

// Perseverance Navcam left, raw-image record of sol 670 (full-frame pixels):
// CAHVORE, fisheye (MTYPE 2).
inline ModelParameters M20Navcam() {
    ModelParameters p;
    p.type = ModelType::Cahvore;
    p.c = {0.950849, 0.349753, -1.89429};
    p.a = {0.824195, 0.0290508, 0.565575};
    p.h = {2041.2, 3032.24, 1457.62};
    p.v = {-71.0941, 9.0217, 3538};
    p.o = {0.824089, 0.0304646, 0.565654};
    p.r = {0.000001736, 0.0501396, -0.0171254};
    p.e = {-0.000000008, 0.00000001, -0.000000029};
    p.mtype = 2;
    p.mparm = 0.0;
    return p;
}

} // namespace reference_models
