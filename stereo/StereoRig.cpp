#include "stereo/StereoRig.h"

#include "base/Format.h"
#include "geometry/CameraModel.h"
#include "stereo/PointUncertainty.h"
#include "stereo/ProductStereo.h"

bool operator==(const DecodedImageSizes& a, const DecodedImageSizes& b) {
    const auto same = [](const std::optional<ImageSize>& x, const std::optional<ImageSize>& y) {
        return x.has_value() == y.has_value() &&
               (!x || (x->width == y->width && x->height == y->height));
    };
    return same(a.left, b.left) && same(a.right, b.right);
}

bool operator==(const CalcOptions& a, const CalcOptions& b) {
    return a.leftCamera == b.leftCamera && a.rightCamera == b.rightCamera && a.b2D == b.b2D &&
           a.bRLVector == b.bRLVector && a.strRLVector == b.strRLVector &&
           a.dAzCorrLeft == b.dAzCorrLeft && a.dAzCorrRight == b.dAzCorrRight &&
           a.bProductModels == b.bProductModels;
}

bool operator==(const PairSetup& a, const PairSetup& b) {
    return a.leftFile == b.leftFile && a.rightFile == b.rightFile && a.decoded == b.decoded &&
           a.options == b.options;
}

StereoRig::StereoRig() : m_problem("no stereo pair is open") {}

StereoRig StereoRig::Build(const PairSetup& setup, const ImageDatabase& db,
                           ProductCameraCache* cache) {
    StereoRig rig;
    rig.m_setup = setup;
    rig.m_base = MakeRangeCalcInput(setup.options, setup.leftFile, setup.rightFile, {}, {}, {}, db,
                                    cache, setup.decoded);
    rig.m_cameras = MakePairProjections(rig.m_base);
    rig.m_carriesModels = (!setup.leftFile.empty() && CarriesCameraModel(setup.leftFile)) ||
                          (!setup.rightFile.empty() && CarriesCameraModel(setup.rightFile));
    rig.m_problem = rig.m_cameras.ok ? std::string() : rig.m_cameras.reason;
    if (rig.m_base.leftProduct && rig.m_base.rightProduct && rig.m_base.productProblem.empty()) {
        rig.m_products = std::make_shared<const ProductStereoPair>(
            *rig.m_base.leftProduct, *rig.m_base.rightProduct, setup.options.b2D,
            setup.options.dAzCorrLeft, setup.options.dAzCorrRight);
    }
    return rig;
}

std::optional<Eye> StereoRig::MissingCamera() const {
    if (m_cameras.ok || !m_cameras.cameraMissing) {
        return std::nullopt;
    }
    return m_cameras.missing;
}

const ICameraProjection* StereoRig::Camera(Eye eye) const {
    return SharedCamera(eye).get();
}

std::shared_ptr<const ICameraProjection> StereoRig::SharedCamera(Eye eye) const {
    if (!m_cameras.ok) {
        return nullptr;
    }
    return eye == Eye::Left ? m_cameras.left : m_cameras.right;
}

std::string StereoRig::ModelSource(Eye eye) const {
    return ModelSourceText(m_base, eye);
}

CameraId StereoRig::CatalogueCamera(Eye eye) const {
    return eye == Eye::Left ? m_base.nCamLeft : m_base.nCamRight;
}

const std::optional<CameraPose>& StereoRig::RecordPose(Eye eye) const {
    return eye == Eye::Left ? m_base.leftPose : m_base.rightPose;
}

RangeCalcInput StereoRig::Input(const ImagePoint& left, const ImagePoint& right,
                                const CPoint3D& lastPosition) const {
    RangeCalcInput in = m_base;
    in.dLeftCol = left.x;
    in.dLeftRow = left.y;
    in.dRightCol = right.x;
    in.dRightRow = right.y;
    in.ptLastPos = lastPosition;
    return in;
}

RangeCalcResult StereoRig::Measure(const ImagePoint& left, const ImagePoint& right,
                                   const CPoint3D& lastPosition) const {
    return CalculateRange(Input(left, right, lastPosition));
}

std::optional<CPoint3D> StereoRig::Intersect(const ImagePoint& left,
                                             const ImagePoint& right) const {
    if (!CanMeasure()) {
        return std::nullopt;
    }
    PairIntersector pair(Input(left, right, {}));
    return pair.Intersect(left.x, left.y, right.x, right.y);
}

std::optional<CPoint3D> StereoRig::SitePosition(const CPoint3D& pointInOutput) const {
    return m_products ? m_products->SitePosition(pointInOutput) : std::nullopt;
}

std::optional<Pointing> StereoRig::PixelPointing(Eye eye, const ImagePoint& pixel) const {
    const bool right = eye == Eye::Right;
    if (m_products) {
        if (const auto p = m_products->PixelAzEl(right, pixel.x, pixel.y)) {
            return Pointing{p->azimuthDeg, p->elevationDeg};
        }
        return std::nullopt;
    }
    const CameraId id = CatalogueCamera(eye);
    if (id == -1) {
        return std::nullopt;
    }
    CameraModel model(id);
    model.m_pose = RecordPose(eye);
    Pointing out;
    model.PixelAzEl(pixel.x, pixel.y, out.azimuthDeg, out.elevationDeg);
    out.azimuthDeg += right ? m_setup.options.dAzCorrRight : m_setup.options.dAzCorrLeft;
    return out;
}
