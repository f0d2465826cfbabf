// What a range calculation is given: the camera of each image (chosen by
// hand, or the one its product name names), the pose of each image's
// database record, the marked pixels and the options of the Analyse dialog.
// The dialog and ranvista-cli both assemble their input here.
#pragma once

#include "geometry/CameraCatalogue.h"
#include "geometry/CameraPose.h"
#include "geometry/CatalogueProjection.h"
#include "geometry/Eye.h"
#include "geometry/ImagePoint.h"
#include "stereo/ProductStereo.h"
#include "stereo/RangeCalc.h"

#include <optional>
#include <string>
#include <string_view>

class ImageDatabase;

// The dialog's controls apart from the pixels and the two files.
struct CalcOptions {
    std::optional<CameraId> leftCamera; // chosen by hand; otherwise from the names
    std::optional<CameraId> rightCamera;
    bool b2D = false;
    bool bRLVector = false;
    std::string strRLVector;
    double dAzCorrLeft = 0.0;
    double dAzCorrRight = 0.0;
    // Measure products with the camera models they carry (unless a camera
    // is chosen by hand); false: always the catalogue cameras.
    bool bProductModels = true;
};

// The pose of the database record found by the title of an image's path.
std::optional<CameraPose> PoseOfImage(const ImageDatabase& db, std::string_view path);

// The sizes the two images were decoded at, when the caller has decoded them
// (the viewer); otherwise each product's own image size is compared.
struct DecodedImageSizes {
    std::optional<ImageSize> left;
    std::optional<ImageSize> right;
};

// Which model each side uses: the product's own when both images carry one
// (and no camera was chosen by hand), else the catalogue camera of the
// product name with the database record. A product that cannot be used, or
// a pair of which only one image carries a model, sets productProblem. A
// resized rendition of a product's image is measured with the model scaled
// to it (productNote says so); an image of another aspect than its model's
// sets productProblem.
// Two cameras at one place (the same camera chosen for both eyes) set
// productProblem too: their rays cannot be intersected.
// cache: products already read (none: read them now).
RangeCalcInput MakeRangeCalcInput(const CalcOptions& options, const std::string& leftFile,
                                  const std::string& rightFile, const ImagePoint& leftPixel,
                                  const ImagePoint& rightPixel, const CPoint3D& lastPosition,
                                  const ImageDatabase& db, ProductCameraCache* cache = nullptr,
                                  const DecodedImageSizes& decoded = {});

// Where one side's camera model comes from, as the Analyse dialog shows it:
// the product's description, or "catalogue: OppyNavL, database record"
// ("no database record", "catalogue: no camera").
std::string ModelSourceText(const RangeCalcInput& in, Eye eye);

// The two cameras of a range calculation's input as projections, posed as
// its rays are cast: head pointing and attitude when both images have poses,
// the R-L vector on the right camera when it is used, each side's azimuth
// correction. Nothing when a side has no camera (reason says which).
struct CatalogueCamerasResult {
    bool ok = false;
    std::string reason;
    Eye missing = Eye::Left; // the side without a camera, when not ok
    std::optional<CatalogueProjection> left;
    std::optional<CatalogueProjection> right;
};

CatalogueCamerasResult MakeCatalogueCameras(const RangeCalcInput& in);
