#include "geometry/Camera.h"

#include "base/Messages.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "geometry/Catalogue.cpp.inc"

const char* CameraName(CameraId id) {
    if (static_cast<unsigned>(id) >= static_cast<unsigned>(kCameraCount)) {
        return nullptr;
    }
    return kCatalogue[id].name;
}

std::optional<CameraId> ParseCameraId(std::string_view text) {
    if (text == "none" || text == "-1") {
        return -1;
    }
    for (int i = 0; i < kCameraCount; ++i) {
        if (text == kCatalogue[i].name) {
            return i;
        }
    }
    if (!text.empty() && text.size() <= 2) {
        int v = 0;
        for (char ch : text) {
            if (ch < '0' || ch > '9') {
                return std::nullopt;
            }
            v = v * 10 + (ch - '0');
        }
        if (v < kCameraCount) {
            return v;
        }
    }
    return std::nullopt;
}

void CameraModel::LoadCatalogue(CameraId id) {
    m_nCameraId = id;
    if (static_cast<unsigned>(id) > 13u) {
        return;
    }
    const CatalogueEntry& e = kCatalogue[id];
    m_ptC = e.c;
    m_ptA = e.a;
    m_ptH = e.h;
    m_ptV = e.v;
    m_ptO = e.o;
    m_ptR = e.r;
    m_qModelPointing = e.pointing;
    m_ptPivot = e.pivot;
}

double PixelAngleForCamera(CameraId id) {
    switch (id) {
    case 0:
    case 1:
    case 4:
    case 5:
    case 10:
    case 11:
    case 12:
    case 13:
        return 0.0468677;
    case 2:
    case 3:
    case 6:
    case 7:
        return 0.01600068;
    case 8:
    case 9:
        return 0.01375099;
    default:
        return 0.0;
    }
}

namespace {

// The distortion polynomial for one tau, with the coefficient products that
// do not depend on mu formed once. Each term is evaluated in the same order
// as RadialResidual, so both give identical values.
struct Radial {
    double k1, a, b, c3, c5;
    Radial(const CPoint3D& R, double tau)
        : k1(1.0 + R.m_dX), a(R.m_dY * tau), b(R.m_dZ * (tau * tau)), c3(3.0 * R.m_dY * tau),
          c5(5.0 * R.m_dZ * (tau * tau)) {}
    void Eval(double mu, double& f, double& df) const {
        const double u = 1.0 - mu;
        const double u2 = u * u;
        const double u3 = u2 * u;
        const double u4 = u2 * u2;
        const double u5 = u4 * u;
        f = k1 * u + a * u3 + b * u5 - 1.0;
        df = -(k1 + c3 * u2 + c5 * u4);
    }
    double F(double mu) const {
        double f = 0.0;
        double df = 0.0;
        Eval(mu, f, df);
        return f;
    }
};

bool SameStrictSign(double a, double b) {
    return (a > 0.0 && b > 0.0) || (a < 0.0 && b < 0.0);
}

} // namespace

void RadialResidual(const CPoint3D& R, double mu, double tau, double& f, double& df) {
    Radial(R, tau).Eval(mu, f, df);
}

double SolveRadialMu(const CPoint3D& R, double x1, double x2, double xacc, double tau) {
    const Radial poly(R, tau);
    double fl = poly.F(x1);
    double fh = poly.F(x2);
    if (SameStrictSign(fl, fh)) {
        x2 = -x2;
        fl = poly.F(x1);
        fh = poly.F(x2);
        if (SameStrictSign(fl, fh)) {
            ReportMessage("Unbracketed Root Error (notify author of cam/coords)");
        }
    }
    if (fl == 0.0) {
        return x1;
    }
    if (fh == 0.0) {
        return x2;
    }
    double xl = 0.0;
    double xh = 0.0;
    if (fl < 0.0) {
        xl = x1;
        xh = x2;
    } else {
        xh = x1;
        xl = x2;
    }
    double rts = 0.5 * (x1 + x2);
    double dxold = std::fabs(x2 - x1);
    double dx = dxold;
    double f = 0.0;
    double df = 0.0;
    if (rts == 1.0 && std::isfinite(poly.b) && std::isfinite(poly.c5) && std::isfinite(poly.a) &&
        std::isfinite(poly.c3)) {
        // u = 0: every term but the constant vanishes, exactly.
        f = -1.0;
        df = -poly.k1;
    } else {
        poly.Eval(rts, f, df);
    }
    for (int j = 1; j <= 100; ++j) {
        if ((((rts - xh) * df - f) * ((rts - xl) * df - f) >= 0.0) ||
            (std::fabs(2.0 * f) > std::fabs(dxold * df))) {
            dxold = dx;
            dx = 0.5 * (xh - xl);
            rts = xl + dx;
            if (xl == rts) {
                return rts;
            }
        } else {
            dxold = dx;
            dx = f / df;
            const double temp = rts;
            rts -= dx;
            if (temp == rts) {
                return rts;
            }
        }
        if (std::fabs(dx) < xacc) {
            return rts;
        }
        poly.Eval(rts, f, df);
        if (f < 0.0) {
            xl = rts;
        } else {
            xh = rts;
        }
    }
    ReportMessage("Error: Maximum number of iterations exceeded");
    return 0.0;
}

CPoint3D CameraModel::PixelToRay(double x, double y) const {
    const double s = Dot(m_ptA, Cross(m_ptV, m_ptH));
    CPoint3D r = Cross(m_ptV - m_ptA * y, m_ptH - m_ptA * x);
    if (s < 0.0) {
        r = -r;
    }
    r = r.Normalized();
    const double zeta = Dot(r, m_ptO);
    const CPoint3D lambda = r - m_ptO * zeta;
    const double tau = Dot(lambda, lambda) / (zeta * zeta);
    const double mu = SolveRadialMu(m_ptR, 0.0, 2.0, 0.00001, tau);
    return (r - lambda * mu).Normalized();
}

double AzimuthDeg(const CPoint3D& v) {
    const double a = AngleDeg(ProjectOntoPlane(kZAxis, v), kXAxis);
    return SignedComponent(kZAxis, Cross(kXAxis, v)) > 0.0 ? a : -a;
}

CQuat HeadRotation(const CameraModel& model, bool applyPointing) {
    CQuat p;
    if (applyPointing && model.m_pImage != nullptr) {
        p = FromAxisAngleDeg(kZAxis, model.m_pImage->m_dAzimuth) *
            FromAxisAngleDeg(kYAxis, -model.m_pImage->m_dElevation);
    }
    return p * model.m_qModelPointing.Inverse();
}

void CameraModel::PixelAzEl(double x, double y, double& azimuth, double& elevation) const {
    const CPoint3D d = PixelToRay(x, y);
    if (m_pImage == nullptr) {
        const CPoint3D v = RotateVector(d, HeadRotation(*this, false));
        const double a = AngleDeg(ProjectOntoPlane(kZAxis, v), kXAxis);
        azimuth = SignedComponent(kZAxis, Cross(kXAxis, v)) > 0.0 ? a : -a;
        elevation = AngleDeg(v, kZAxis) - 90.0;
    } else {
        const CPoint3D v =
            RotateVector(RotateVector(d, HeadRotation(*this, true)), m_pImage->m_qAttitude)
                .FlipYZ();
        const double a = AngleDeg(ProjectOntoPlane(kZAxis, v), kXAxis);
        azimuth = SignedComponent(kZAxis, Cross(kXAxis, v)) > 0.0 ? -a : a;
        elevation = 90.0 - AngleDeg(v, kZAxis);
    }
}

void CameraPoseRay(const CameraModel& model, double x, double y, bool applyPointing,
                   CPoint3D& centre, CPoint3D& direction) {
    const CQuat q = HeadRotation(model, applyPointing);
    CPoint3D d = RotateVector(model.PixelToRay(x, y), q);
    const CQuat pivot(0.0, model.m_ptPivot);
    CPoint3D c = (pivot + (q * (CQuat(0.0, model.m_ptC) - pivot)) * q.Inverse()).m_ptVec;
    if (model.m_pImage != nullptr) {
        c = RotateVector(c, model.m_pImage->m_qAttitude);
        d = RotateVector(d, model.m_pImage->m_qAttitude);
    }
    centre = c.FlipYZ();
    direction = d.FlipYZ();
}

CPoint3D ClosestApproach(CPoint3D& a, CPoint3D& b, const CPoint3D& pa, const CPoint3D& pb,
                         double& ta, double& tb) {
    a = a.Normalized();
    b = b.Normalized();
    const CPoint3D c = Cross(a, b);
    const double len = std::sqrt(Dot(c, c));
    const double n = len * len;
    if (n == 0.0) {
        ta = 0.0;
        tb = 0.0;
        return CPoint3D::Invalid();
    }
    const CPoint3D w = pb - pa;
    ta = Dot(w, Cross(b, c)) / n;
    tb = Dot(w, Cross(a, c)) / n;
    return ((pa + a * ta) + (pb + b * tb)) * 0.5;
}

CStereoIntersector::CStereoIntersector(const CameraModel& left, const CameraModel& right, bool b2D,
                                       const CPoint3D* rlVector, double azCorrL, double azCorrR)
    : m_b2D(b2D), m_bHasRL(rlVector != nullptr), m_ptRL(rlVector ? *rlVector : CPoint3D()) {
    m_left.model = &left;
    m_right.model = &right;
    // The plain intersection applies the image pointing only when both images
    // have records; the R-L variant always does (both have records).
    m_bApplyPointing = m_bHasRL || (left.m_pImage != nullptr && right.m_pImage != nullptr);
    m_left.turn = FromAxisAngleDeg(kZAxis, -azCorrL);
    m_right.turn = FromAxisAngleDeg(kZAxis, -azCorrR);
}

const CStereoIntersector::Ray& CStereoIntersector::CastRay(Side& side, bool right, double x,
                                                           double y) {
    for (const Ray& r : side.cache) {
        // Bitwise equality: the same pixel, down to the sign of a zero.
        if (r.used && std::bit_cast<std::uint64_t>(r.x) == std::bit_cast<std::uint64_t>(x) &&
            std::bit_cast<std::uint64_t>(r.y) == std::bit_cast<std::uint64_t>(y)) {
            for (const std::string& m : r.messages) {
                ReportMessage(m);
            }
            return r;
        }
    }
    Ray& r = side.cache[side.next];
    side.next = (side.next + 1) % side.cache.size();
    r.x = x;
    r.y = y;
    r.used = true;
    r.messages.clear();
    CPoint3D c;
    CPoint3D d;
    {
        CollectingMessageSink sink;
        ScopedMessageSink scope(&sink);
        CameraPoseRay(*side.model, x, y, m_bApplyPointing, c, d);
        r.messages = std::move(sink.m_vMessages);
    }
    for (const std::string& m : r.messages) {
        ReportMessage(m);
    }
    if (right && m_bHasRL) {
        c = m_ptRL + c;
    }
    if (m_b2D) {
        d = ProjectOntoPlane(kZAxis, d).Normalized();
    }
    r.centre = RotateVector(c, side.turn);
    r.direction = RotateVector(d, side.turn);
    return r;
}

CPoint3D CStereoIntersector::Intersect(double xL, double yL, double xR, double yR, double& range) {
    const Ray& left = CastRay(m_left, false, xL, yL);
    CPoint3D dL = left.direction;
    const CPoint3D cL = left.centre;
    const Ray& right = CastRay(m_right, true, xR, yR);
    CPoint3D dR = right.direction;
    double tL = 0.0;
    double tR = 0.0;
    const CPoint3D p = ClosestApproach(dL, dR, cL, right.centre, tL, tR);
    if (tL < 0.0 || tR < 0.0) {
        range = DBL_MAX;
        return CPoint3D::Invalid();
    }
    range = p.Length();
    // Parallel rays give the invalid point, whose length overflows; a range
    // that is not a finite number is a failure like a crossing behind a camera.
    if (!(range < DBL_MAX)) {
        range = DBL_MAX;
        return CPoint3D::Invalid();
    }
    return p;
}

CPoint3D StereoIntersect(const CameraModel& left, const CameraModel& right, bool b2D, double xL,
                         double yL, double xR, double yR, double azCorrL, double azCorrR,
                         double& range) {
    CStereoIntersector in(left, right, b2D, nullptr, azCorrL, azCorrR);
    return in.Intersect(xL, yL, xR, yR, range);
}

CPoint3D StereoIntersectRL(const CameraModel& left, const CameraModel& right, bool b2D,
                           const CPoint3D& rlVector, double xL, double yL, double xR, double yR,
                           double azCorrL, double azCorrR, double& range) {
    CStereoIntersector in(left, right, b2D, &rlVector, azCorrL, azCorrR);
    return in.Intersect(xL, yL, xR, yR, range);
}
