// The catalogue models' back-projection of a pixel: the CAHV ray bent by the
// radial distortion factor mu, solved for by a safeguarded Newton iteration.
// CameraModel::PixelToRay is defined beside the solver.
#pragma once

#include "geometry/Point3D.h"

// Radial distortion polynomial f(mu) and its derivative, for coefficients R.
void RadialResidual(const CPoint3D& R, double mu, double tau, double& f, double& df);
// Safeguarded Newton solve of the distortion factor mu on [x1, x2] (retried on
// [x1, -x2]); reports "Unbracketed Root Error ..." or "Error: Maximum number of
// iterations exceeded" through ReportMessage.
double SolveRadialMu(const CPoint3D& R, double x1, double x2, double xacc, double tau);
