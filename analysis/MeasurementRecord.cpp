#include "analysis/MeasurementRecord.h"

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
    case PixelSource::Clicked:
        break;
    }
    return "clicked";
}

std::optional<PixelSource> PixelSourceFromName(std::string_view name) {
    for (const PixelSource s :
         {PixelSource::Clicked, PixelSource::Matched, PixelSource::Reselected}) {
        if (PixelSourceName(s) == name) {
            return s;
        }
    }
    return std::nullopt;
}
