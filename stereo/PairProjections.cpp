#include "stereo/PairProjections.h"

#include "stereo/CalcInput.h"
#include "stereo/ProductStereo.h"

PairProjectionsResult MakePairProjections(const RangeCalcInput& in) {
    PairProjectionsResult out;
    if (!in.productProblem.empty()) {
        out.reason = in.productProblem;
        return out;
    }
    if (in.leftProduct && in.rightProduct) {
        auto pair = std::make_shared<const ProductStereoPair>(
            *in.leftProduct, *in.rightProduct, in.b2D, in.dAzCorrLeft, in.dAzCorrRight);
        if (!pair->Problem().empty()) {
            out.reason = pair->Problem();
            return out;
        }
        out.left = std::make_shared<const ProductPairSide>(pair, false);
        out.right = std::make_shared<const ProductPairSide>(pair, true);
        out.productModels = true;
        out.ok = true;
        return out;
    }
    CatalogueCamerasResult cameras = MakeCatalogueCameras(in);
    if (!cameras.ok) {
        out.reason = cameras.reason;
        out.missing = cameras.missing;
        out.cameraMissing = true;
        return out;
    }
    out.left = std::make_shared<const CatalogueProjection>(std::move(*cameras.left));
    out.right = std::make_shared<const CatalogueProjection>(std::move(*cameras.right));
    out.ok = true;
    return out;
}
