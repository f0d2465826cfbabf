// A monoscopic measurement as the workspace keeps it: one image's pixel, the
// surface its ray met, the result and its log entry.
#pragma once

#include "session/MeasurementRecord.h"
#include "stereo/MonoRange.h"

#include <optional>
#include <string>
#include <vector>

// The results log's entry: a line that marks it as monoscopic and names the
// image, the pixel and the surface, then the fields stereo entries have, and
// the 1-sigma in place of the +-1 pixel summary:
//   Monoscopic Image <title> at (x, y) on <surface description>
//   Range=, Position=, Distance to Last=, Azimuth=, Elevation= (as stereo)
//   Sigma (1-sigma)=range R m (pixel P m, surface S m)
std::string MonoLogEntry(const std::string& file, const ImagePoint& pixel,
                         const MonoSurface& surface, const MonoRangeResult& result,
                         const CPoint3D& lastPosition);

// The row of a successful monoscopic measurement, stamped with timeUtc; the
// index is left for the session.
MeasurementRecord RecordOfMonoMeasurement(const std::string& file, const ImagePoint& pixel,
                                          PixelSource source, double pixelSigmaPx,
                                          const MonoSurface& surface, const MonoRangeResult& result,
                                          const CPoint3D& lastPosition, std::string timeUtc);

// The plane fitted to the stereo measurements of a pair (leftImage,
// rightImage; either may be empty) for rays of camera: refused when the
// camera carries a product model and an image of the pair was taken from
// another rover position (its points are then in another frame), or when
// fewer than three stereo points not on one line are left (monoscopic rows
// are left out: they already lie on a surface). The plane's height sigma is
// its fit's (FittedSurface).
struct SessionPlaneResult {
    std::optional<MonoSurface> surface;
    // Why not: "was measured from another rover position (...) than this
    // image (...): its points are in another frame", or "a plane needs three
    // or more measured points not on one line (...)".
    std::string problem;
    bool otherPosition = false; // the first of the two
};
SessionPlaneResult SessionPlaneSurface(const std::string& leftImage, const std::string& rightImage,
                                       const std::vector<MeasurementRecord>& measurements,
                                       const MonoCamera& camera,
                                       ProductCameraCache* cache = nullptr);
