// Fitting a full-frame camera model to a subframed and/or downsampled image.
// Models that come with a product already fit its pixels; only a full-frame
// calibration model needs this.
#pragma once

#include "geometry/ImagePoint.h"
#include "geometry/ModelParameters.h"

#include <optional>

// Where the delivered image lies on the detector: the first sample and line
// of the subframe (1-based, full-resolution pixels, as FIRST_LINE_SAMPLE and
// FIRST_LINE or a subframe rectangle give them) and the downsampling factor
// (2 = every delivered pixel covers 2 x 2 detector pixels).
struct SubframeGeometry {
    double firstSample = 1.0;
    double firstLine = 1.0;
    double downsampling = 1.0;
};

// Shifts by (dx, dy) = (firstSample - 1, firstLine - 1): H <- H - dx A,
// V <- V - dy A; then scales by 1/n about pixel centres:
// H <- (H + A/2) / n - A/2, likewise V. Every model type; C, A, O, R, E
// unchanged. No value for a non-finite origin or a factor that is not a
// finite positive number.
std::optional<ModelParameters> AdjustToSubframe(const ModelParameters& fullFrame,
                                                const SubframeGeometry& subframe);

// Where a full-frame pixel lies in the delivered image:
// x = (x_full - dx + 0.5) / n - 0.5, likewise y.
ImagePoint SubframePixelFromFullFrame(const ImagePoint& fullFrame,
                                      const SubframeGeometry& subframe);
