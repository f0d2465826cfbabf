// The range calculation behind CALCULATE: one intersection of the marked
// pixels, eight more with the marks moved by one pixel, the formatted dialog
// fields, the log entry and the vertex. Qt-free; the Analyse dialog and
// ranvista-cli both call it.
#pragma once

#include "geometry/CameraCatalogue.h"
#include "geometry/CameraPose.h"
#include "geometry/Measurement.h"
#include "geometry/Point3D.h"
#include "stereo/ProductStereo.h"

#include <optional>
#include <string>
#include <vector>

struct RangeCalcInput {
    double dLeftCol = 0.0;
    double dLeftRow = 0.0;
    double dRightCol = 0.0;
    double dRightRow = 0.0;
    CameraId nCamLeft = -1;
    CameraId nCamRight = -1;
    std::optional<CameraPose> leftPose; // from each image's database record
    std::optional<CameraPose> rightPose;
    // Both set: the pair is measured with its products' own camera models
    // (the catalogue cameras and poses above are then not used).
    std::optional<ProductCamera> leftProduct;
    std::optional<ProductCamera> rightProduct;
    // A product whose camera cannot be used: the calculation fails with it.
    std::string productProblem;
    // Products measured with the catalogue cameras instead of their own
    // models, and why.
    std::string productWarning;
    // How the products' models were fitted to the images measured (a
    // resized rendition measured with its model scaled); empty when as given.
    std::string productNote;
    bool b2D = false;
    bool bRLVector = false;
    std::string strRLVector;
    double dAzCorrLeft = 0.0;
    double dAzCorrRight = 0.0;
    std::string sLeftFile; // full paths of the view's images (their titles go into the log)
    std::string sRightFile;
    CPoint3D ptLastPos; // position of the last successful calculation
};

struct RangeCalcResult {
    bool bOk = false;
    // The dialog's result fields, exactly as shown.
    std::string strRange, strPos, strDistToLast, strPixelSize, strErrorSummary, strAz, strEl;
    // On success: what is appended to the view.
    std::string sLogEntry;
    VertexRecord vertex;
    ImagePoint leftMark;
    ImagePoint rightMark;
    CPoint3D ptNewLastPos; // unchanged on failure
    // Raw values for scripting: what the fields above were formatted from
    // (range DBL_MAX and the invalid point on failure; the others 0 then).
    double dRange = 0.0;
    CPoint3D ptPosition;
    double dDistToLast = 0.0;
    double dPixelSize = 0.0;
    double dAzimuth = 0.0;   // degrees, positive toward -Y of the output frame
    double dElevation = 0.0; // degrees above the plane z = 0
    // The ±1-pixel sweep's range spread: the summary's Range[-below,+above].
    double dRangeSpreadBelow = 0.0;
    double dRangeSpreadAbove = 0.0;
    bool bLeftRecord = false;
    bool bRightRecord = false;
    // Product models only: how far apart the two rays pass at the point
    // (metres), and the point in the left rover's site frame (PDS axes) when
    // its pose is known.
    std::optional<double> missDistance;
    std::optional<CPoint3D> sitePosition;
    std::vector<std::string> vMessages; // solver messages raised on the way
};

// Solver messages raised during the calculation are collected into
// vMessages, not passed on to the caller's message sink.
RangeCalcResult CalculateRange(const RangeCalcInput& input);

// The R-L vector as the dialog reads its text: only a text of more than six
// characters is read, by "%lf,%lf,%lf"; components that do not parse stay 0.
CPoint3D ParseRLVector(const std::string& text);
