#include "geometry/CahvorBackProjection.h"

#include "base/Messages.h"
#include "geometry/CameraModel.h"

#include <cmath>

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
