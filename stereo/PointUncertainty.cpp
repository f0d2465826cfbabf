#include "stereo/PointUncertainty.h"

#include "base/Messages.h"
#include "geometry/CatalogueProjection.h"
#include "geometry/StereoIntersection.h"

#include <cfloat>
#include <cmath>

struct PairIntersector::Impl {
    CameraModel left;
    CameraModel right;
    CPoint3D rl;
    std::optional<CStereoIntersector> intersector;
    std::optional<CatalogueProjection> leftCamera;
    std::optional<CatalogueProjection> rightCamera;
    // A pair measured with its products' own models.
    std::optional<ProductStereoPair> products;
    bool b2D = false;
};

PairIntersector::PairIntersector(const RangeCalcInput& in) : m_pImpl(std::make_unique<Impl>()) {
    Impl& d = *m_pImpl;
    if (in.leftProduct && in.rightProduct) {
        d.products.emplace(*in.leftProduct, *in.rightProduct, in.b2D, in.dAzCorrLeft,
                           in.dAzCorrRight);
        return;
    }
    // The cameras exactly as the range calculation builds them.
    if (in.nCamLeft != -1) {
        d.left.LoadCatalogue(in.nCamLeft);
    }
    if (in.nCamRight != -1) {
        d.right.LoadCatalogue(in.nCamRight);
    }
    d.left.m_pose = in.leftPose;
    d.right.m_pose = in.rightPose;
    d.rl = in.bRLVector ? ParseRLVector(in.strRLVector) : CPoint3D();
    const bool useRL = in.bRLVector && in.leftPose && in.rightPose;
    d.b2D = in.b2D;
    d.intersector.emplace(d.left, d.right, in.b2D, useRL ? &d.rl : nullptr, in.dAzCorrLeft,
                          in.dAzCorrRight);
    const bool applyPointing = useRL || (in.leftPose && in.rightPose);
    if (in.nCamLeft != -1 && in.nCamRight != -1) {
        d.leftCamera.emplace(in.nCamLeft,
                             CataloguePose{in.leftPose, applyPointing, CPoint3D(), in.dAzCorrLeft});
        d.rightCamera.emplace(
            in.nCamRight,
            CataloguePose{in.rightPose, applyPointing, useRL ? d.rl : CPoint3D(), in.dAzCorrRight});
    }
}

PairIntersector::~PairIntersector() = default;

std::optional<CPoint3D> PairIntersector::Intersect(double xL, double yL, double xR, double yR) {
    CollectingMessageSink quiet;
    ScopedMessageSink scope(&quiet);
    double range = DBL_MAX;
    const CPoint3D p = m_pImpl->products ? m_pImpl->products->Intersect(xL, yL, xR, yR, range)
                                         : m_pImpl->intersector->Intersect(xL, yL, xR, yR, range);
    if (!(range < DBL_MAX)) {
        return std::nullopt;
    }
    return p;
}

std::optional<double> PairIntersector::MissDistance(double xL, double yL, double xR,
                                                    double yR) const {
    const Impl& d = *m_pImpl;
    if (d.products) {
        double range = DBL_MAX;
        double miss = 0.0;
        d.products->Intersect(xL, yL, xR, yR, range, &miss);
        return range < DBL_MAX ? std::optional(miss) : std::nullopt;
    }
    if (!d.leftCamera || !d.rightCamera) {
        return std::nullopt;
    }
    CollectingMessageSink quiet;
    ScopedMessageSink scope(&quiet);
    const auto a = d.leftCamera->PixelToRay({xL, yL});
    const auto b = d.rightCamera->PixelToRay({xR, yR});
    if (!a || !b) {
        return std::nullopt;
    }
    CPoint3D da = d.b2D ? ProjectOntoPlane(kZAxis, a->direction) : a->direction;
    CPoint3D db = d.b2D ? ProjectOntoPlane(kZAxis, b->direction) : b->direction;
    double ta = 0.0;
    double tb = 0.0;
    const CPoint3D mid = ClosestApproach(da, db, a->origin, b->origin, ta, tb);
    if (mid == CPoint3D::Invalid()) {
        return std::nullopt;
    }
    return ((a->origin + da * ta) - (b->origin + db * tb)).Length();
}

PointUncertainty UncertaintyOfCovariance(const std::array<std::array<double, 3>, 3>& c,
                                         const CPoint3D& p) {
    const auto along = [&c](const CPoint3D& u) {
        const double v[3] = {u.m_dX, u.m_dY, u.m_dZ};
        double s = 0.0;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                s += v[i] * c[i][j] * v[j];
            }
        }
        return std::sqrt(std::max(s, 0.0));
    };
    PointUncertainty u;
    u.covarianceM2 = c;
    u.rangeSigmaM = along(p.Normalized());
    CPoint3D down = CPoint3D(p.m_dX, p.m_dY, 0.0).Normalized();
    if (down == CPoint3D()) {
        down = {1.0, 0.0, 0.0}; // straight up or down: any horizontal pair will do
    }
    u.downRangeSigmaM = along(down);
    u.crossRangeSigmaM = along(Cross(kZAxis, down));
    u.verticalSigmaM = along(kZAxis);
    return u;
}

PointUncertaintyResult EstimatePointUncertainty(const RangeCalcInput& in,
                                                const PixelSigmas& sigmas) {
    PointUncertaintyResult res;
    PairIntersector pair(in);
    const double px[4] = {in.dLeftCol, in.dLeftRow, in.dRightCol, in.dRightRow};
    const auto centre = pair.Intersect(px[0], px[1], px[2], px[3]);
    if (!centre) {
        res.message = "The rays of the marked pixels do not intersect";
        return res;
    }
    // Central differences a tenth of a pixel wide: wide enough to stay clear
    // of the back-projection's convergence tolerance, narrow enough to stay
    // linear.
    constexpr double kStep = 0.1;
    double jac[3][4] = {};
    for (int k = 0; k < 4; ++k) {
        double plus[4] = {px[0], px[1], px[2], px[3]};
        double minus[4] = {px[0], px[1], px[2], px[3]};
        plus[k] += kStep;
        minus[k] -= kStep;
        const auto a = pair.Intersect(plus[0], plus[1], plus[2], plus[3]);
        const auto b = pair.Intersect(minus[0], minus[1], minus[2], minus[3]);
        if (!a || !b) {
            res.message = "The rays next to the marked pixels do not intersect";
            return res;
        }
        const CPoint3D dp = (*a - *b) * (1.0 / (2.0 * kStep));
        jac[0][k] = dp.m_dX;
        jac[1][k] = dp.m_dY;
        jac[2][k] = dp.m_dZ;
    }
    const double var[4] = {sigmas.leftPx * sigmas.leftPx, sigmas.leftPx * sigmas.leftPx,
                           sigmas.rightPx * sigmas.rightPx, sigmas.rightPx * sigmas.rightPx};
    std::array<std::array<double, 3>, 3> cov{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            for (int k = 0; k < 4; ++k) {
                cov[i][j] += jac[i][k] * var[k] * jac[j][k];
            }
        }
    }
    res.ok = true;
    res.uncertainty = UncertaintyOfCovariance(cov, *centre);
    res.missDistanceM = pair.MissDistance(px[0], px[1], px[2], px[3]);
    return res;
}
