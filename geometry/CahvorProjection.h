// Forward CAHVOR projection (direction from the camera centre -> image
// position), shared by the catalogue cameras and the product CAHVOR model.
// The back-projection of the catalogue lives with the catalogue
// (CameraModel::PixelToRay); the product models have their own.
#pragma once

#include "geometry/CameraModel.h"
#include "geometry/ImagePoint.h"
#include "geometry/ModelParameters.h"
#include "geometry/Point3D.h"

#include <optional>

// Image position of the direction p (from the camera centre) under the
// CAHVOR vectors a, h, v, o, r: zeta = p.O, lambda = p - zeta O,
// tau = lambda.lambda / zeta^2, mu = r0 + r1 tau + r2 tau^2, p' = p + mu lambda,
// column = p'.H / p'.A, row = p'.V / p'.A. No value when p does not lie in
// front of the camera (zeta <= 0 or p'.A <= 0, NaN included).
inline std::optional<ImagePoint> ProjectCahvorVector(const CPoint3D& a, const CPoint3D& h,
                                                     const CPoint3D& v, const CPoint3D& o,
                                                     const CPoint3D& r, const CPoint3D& p) {
    const double zeta = Dot(p, o);
    if (!(zeta > 0.0)) {
        return std::nullopt;
    }
    const CPoint3D lambda = p - o * zeta;
    const double tau = Dot(lambda, lambda) / (zeta * zeta);
    const double mu = r.m_dX + r.m_dY * tau + r.m_dZ * tau * tau;
    const CPoint3D pd = p + lambda * mu;
    const double along = Dot(pd, a);
    if (!(along > 0.0)) {
        return std::nullopt;
    }
    return ImagePoint{Dot(pd, h) / along, Dot(pd, v) / along};
}

// ProjectCahvorVector with the vectors of a catalogue model (model frame, no
// head pointing). False, with pixel untouched, when p is not in front.
bool ProjectModelVector(const CameraModel& model, const CPoint3D& p, ImagePoint& pixel);

// The catalogue model's own CAHVOR vectors as product-model parameters, in
// the model frame (the head pointing of the catalogue is not applied).
ModelParameters CatalogueModelParameters(const CameraModel& model);
