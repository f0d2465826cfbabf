#include "session/MonoRecord.h"

#include "base/Format.h"
#include "base/Paths.h"

#include <cmath>

namespace {

std::string Fixed(double v, int width, int precision) {
    std::string out;
    AppendFixed(out, v, width, precision);
    return out;
}

} // namespace

std::string MonoLogEntry(const std::string& file, const ImagePoint& pixel,
                         const MonoSurface& surface, const MonoRangeResult& r,
                         const CPoint3D& lastPosition) {
    const CPoint3D& p = r.position;
    std::string entry = "\nMonoscopic Image " + PathTitle(file) + " at (" + Fixed(pixel.x, 1, 1) +
                        ", " + Fixed(pixel.y, 1, 1) + ") on " + surface.Description();
    entry += "\nRange=" + Fixed(r.rangeM, 6, 4);
    entry +=
        "\nPosition=" + Fixed(p.m_dX, 6, 4) + "," + Fixed(p.m_dY, 6, 4) + "," + Fixed(p.m_dZ, 6, 4);
    entry += "\nDistance to Last=" + Fixed((p - lastPosition).Length(), 6, 4);
    entry += "\nAzimuth=" + Fixed(r.azimuthDeg, 4, 1);
    entry += "\nElevation=" + Fixed(r.elevationDeg, 4, 1);
    if (r.uncertainty) {
        entry += "\nSigma (1-sigma)=range " + Fixed(r.uncertainty->rangeSigmaM, 1, 4) +
                 " m (pixel " + Fixed(r.rangeSigmaPixelM, 1, 4) + " m, surface " +
                 Fixed(r.rangeSigmaSurfaceM, 1, 4) + " m)";
    }
    return entry + "\n";
}

MeasurementRecord RecordOfMonoMeasurement(const std::string& file, const ImagePoint& pixel,
                                          PixelSource source, double pixelSigmaPx,
                                          const MonoSurface& surface, const MonoRangeResult& r,
                                          const CPoint3D& lastPosition, std::string timeUtc) {
    MeasurementRecord m;
    m.kind = MeasurementKind::Mono;
    m.surface = surface.Description();
    m.leftPixel = pixel;
    m.leftSource = source;
    m.rightPixel = {};
    m.pixelSigmas = {pixelSigmaPx, 0.0};
    m.rangeM = r.rangeM;
    m.position = r.position;
    m.azimuthDeg = r.azimuthDeg;
    m.elevationDeg = r.elevationDeg;
    m.uncertainty = r.uncertainty;
    if (r.uncertainty) {
        // The vertex file's error: the 1-sigma along each axis.
        const auto& c = r.uncertainty->covarianceM2;
        m.vertex.m_ptError = {std::sqrt(c[0][0]), std::sqrt(c[1][1]), std::sqrt(c[2][2])};
    }
    m.vertex.m_ptPosition = r.position;
    m.timeUtc = std::move(timeUtc);
    m.logEntry = MonoLogEntry(file, pixel, surface, r, lastPosition);
    return m;
}

SessionPlaneResult SessionPlaneSurface(const std::string& leftImage, const std::string& rightImage,
                                       const std::vector<MeasurementRecord>& measurements,
                                       const MonoCamera& camera, ProductCameraCache* cache) {
    SessionPlaneResult out;
    if (camera.product) {
        ProductCameraCache own;
        ProductCameraCache& products = cache != nullptr ? *cache : own;
        for (const std::string* image : {&leftImage, &rightImage}) {
            if (image->empty()) {
                continue;
            }
            const ProductCameraResult& other = products.Get(*image);
            if (!other.camera || other.camera->frameIndex != camera.product->frameIndex) {
                out.otherPosition = true;
                out.problem = "was measured from another rover position (" +
                              (other.camera ? FrameIndexText(other.camera->frameIndex)
                                            : std::string("no product model")) +
                              ") than this image (" + FrameIndexText(camera.product->frameIndex) +
                              "): its points are in another frame";
                return out;
            }
        }
    }
    std::vector<CPoint3D> points;
    std::vector<std::optional<Covariance3>> covariances;
    for (const MeasurementRecord& r : measurements) {
        if (r.IsMono()) {
            continue; // already on a surface
        }
        points.push_back(r.position);
        covariances.push_back(
            r.uncertainty ? std::optional<Covariance3>(r.uncertainty->covarianceM2) : std::nullopt);
    }
    SurfaceResult fitted = FittedSurface(points, covariances);
    if (!fitted.surface) {
        out.problem =
            "a plane needs three or more measured points not on one line (" + fitted.problem + ")";
        return out;
    }
    out.surface = std::move(fitted.surface);
    return out;
}
