#include "session/MeasurementRecord.h"

#include <chrono>
#include <ctime>

std::string UtcNow() {
    const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

std::string_view PixelSourceName(PixelSource source) {
    switch (source) {
    case PixelSource::Matched:
        return "matched";
    case PixelSource::Reselected:
        return "reselected";
    case PixelSource::Dense:
        return "dense";
    case PixelSource::Clicked:
        break;
    }
    return "clicked";
}

std::optional<PixelSource> PixelSourceFromName(std::string_view name) {
    for (const PixelSource s : {PixelSource::Clicked, PixelSource::Matched, PixelSource::Reselected,
                                PixelSource::Dense}) {
        if (PixelSourceName(s) == name) {
            return s;
        }
    }
    return std::nullopt;
}

MeasurementRecord RecordOfCalculation(const RangeCalcInput& in, const RangeCalcResult& r,
                                      PixelSource leftSource, PixelSource rightSource,
                                      const PixelSigmas& sigmas, std::string timeUtc) {
    MeasurementRecord m;
    m.leftPixel = r.leftMark;
    m.rightPixel = r.rightMark;
    m.leftSource = leftSource;
    m.rightSource = rightSource;
    m.pixelSigmas = sigmas;
    m.rangeM = r.dRange;
    m.position = r.ptPosition;
    m.azimuthDeg = r.dAzimuth;
    m.elevationDeg = r.dElevation;
    m.rangeSpreadBelowM = r.dRangeSpreadBelow;
    m.rangeSpreadAboveM = r.dRangeSpreadAbove;
    m.vertex = r.vertex;
    m.timeUtc = std::move(timeUtc);
    m.logEntry = r.sLogEntry;
    if (r.bOk) {
        const PointUncertaintyResult u = EstimatePointUncertainty(in, sigmas);
        if (u.ok) {
            m.uncertainty = u.uncertainty;
        }
        m.missDistanceM = u.missDistanceM;
    }
    return m;
}
