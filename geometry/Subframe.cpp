#include "geometry/Subframe.h"

#include <cmath>

std::optional<ModelParameters> AdjustToSubframe(const ModelParameters& fullFrame,
                                                const SubframeGeometry& subframe) {
    const double n = subframe.downsampling;
    if (!std::isfinite(subframe.firstSample) || !std::isfinite(subframe.firstLine) ||
        !std::isfinite(n) || !(n > 0.0)) {
        return std::nullopt;
    }
    const double dx = subframe.firstSample - 1.0;
    const double dy = subframe.firstLine - 1.0;
    ModelParameters m = fullFrame;
    const CPoint3D halfA = m.a * 0.5;
    m.h = (m.h - m.a * dx + halfA) / n - halfA;
    m.v = (m.v - m.a * dy + halfA) / n - halfA;
    return m;
}

ImagePoint SubframePixelFromFullFrame(const ImagePoint& fullFrame,
                                      const SubframeGeometry& subframe) {
    const double n = subframe.downsampling;
    return {(fullFrame.x - (subframe.firstSample - 1.0) + 0.5) / n - 0.5,
            (fullFrame.y - (subframe.firstLine - 1.0) + 0.5) / n - 0.5};
}
