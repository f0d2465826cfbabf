// A monoscopic measurement as the workspace keeps it: one image's pixel, the
// surface its ray met, the result and its log entry.
#pragma once

#include "session/MeasurementRecord.h"
#include "stereo/MonoRange.h"

#include <string>

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
