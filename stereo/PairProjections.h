// The two cameras of a stereo pair as point <-> pixel projections, with
// whatever model the range calculation of the pair uses: the products' own
// CAHV, CAHVOR or CAHVORE models when both images carry them, else the
// catalogue cameras posed by the database records. The epipolar curve, the
// matcher and Auto-Detect all take their cameras from here, so they see the
// pair as CALCULATE measures it.
#pragma once

#include "geometry/Eye.h"
#include "geometry/Projection.h"
#include "stereo/RangeCalc.h"

#include <memory>
#include <string>

struct PairProjectionsResult {
    bool ok = false;
    std::string reason;      // why there are no cameras, when not ok
    Eye missing = Eye::Left; // the side without a catalogue camera, when that is why
    bool cameraMissing = false;
    bool productModels = false; // the products' own models rather than the catalogue's
    std::shared_ptr<const ICameraProjection> left;
    std::shared_ptr<const ICameraProjection> right;
};

// From the input MakeRangeCalcInput assembles (its pixels are not used). A
// product problem, or a product pair that cannot be intersected, gives no
// cameras and the reason; so does a side without a catalogue camera.
PairProjectionsResult MakePairProjections(const RangeCalcInput& in);
