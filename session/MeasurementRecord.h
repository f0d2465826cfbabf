// One row of the measurement workspace: what a successful calculation found,
// how its pixels were set, its uncertainty and the user's note.
#pragma once

#include "geometry/ImagePoint.h"
#include "geometry/Measurement.h"
#include "geometry/Point3D.h"
#include "stereo/PointUncertainty.h"

#include <optional>
#include <string>
#include <string_view>

// How a pixel of a measurement was set; Dense: taken from the dense range
// map (the left pixel pointed at, the right one its partner in the map).
enum class PixelSource { Clicked, Matched, Reselected, Dense };

// "clicked", "matched", "reselected", "dense"; the reverse gives nothing for any other text.
std::string_view PixelSourceName(PixelSource source);
std::optional<PixelSource> PixelSourceFromName(std::string_view name);

// A measurement of two marks, or of one image's pixel whose ray met a
// surface (monoscopic: no right pixel).
enum class MeasurementKind { Stereo, Mono };

// The time now, as the records stamp it: ISO 8601 UTC to the second.
std::string UtcNow();

struct MeasurementRecord {
    int index = 0; // 1, 2, ...: the order of calculation, kept when others go
    ImagePoint leftPixel;
    ImagePoint rightPixel;
    PixelSource leftSource = PixelSource::Clicked;
    PixelSource rightSource = PixelSource::Clicked;
    double rangeM = 0.0;
    CPoint3D position;
    double azimuthDeg = 0.0;
    double elevationDeg = 0.0;
    // The ±1-pixel sweep: Range[-below,+above] of the error summary.
    double rangeSpreadBelowM = 0.0;
    double rangeSpreadAboveM = 0.0;
    VertexRecord vertex;
    std::optional<PointUncertainty> uncertainty;
    PixelSigmas pixelSigmas; // of the two marks, as the uncertainty assumes them
    std::optional<double> missDistanceM;
    std::string timeUtc; // ISO 8601, e.g. 2026-12-09T12:00:00Z
    std::string note;
    std::string logEntry; // this calculation's text in the results log
    MeasurementKind kind = MeasurementKind::Stereo;
    std::string surface; // monoscopic: what the ray met, as MonoSurface::Description gives it
    bool IsMono() const { return kind == MeasurementKind::Mono; }
    bool operator==(const MeasurementRecord&) const = default;
};

// The workspace's row for a successful calculation of input: its results,
// the pixels' sources, the uncertainty with the given pixel sigmas and the
// miss distance, stamped with timeUtc. The index is left for the session.
MeasurementRecord RecordOfCalculation(const RangeCalcInput& input, const RangeCalcResult& result,
                                      PixelSource leftSource, PixelSource rightSource,
                                      const PixelSigmas& sigmas, std::string timeUtc);
