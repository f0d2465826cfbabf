#include "analysis/MeasurementRecord.h"

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
