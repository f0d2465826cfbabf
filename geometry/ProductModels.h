// The camera models that image products carry: CAHV, CAHVOR and CAHVORE, in
// double precision, both directions. Pixels follow ImagePoint (x = sample,
// y = line, the centre of the first pixel at (0, 0)); rays and points are in
// the frame the model's vectors are given in (metres).
//
// Every model is a small copyable value. Build them through MakeCameraModel,
// which validates the parameters first; the classes also accept unchecked
// parameters (a benchmark, a test), and then answer "no value" for whatever
// they cannot compute rather than crash or return NaN.
#pragma once

#include "geometry/ModelParameters.h"
#include "geometry/Projection.h"

#include <optional>
#include <string>
#include <variant>

// CAHV: a linear (pinhole) camera. A pixel's ray starts at C along
// unit((V - yA) x (H - xA)), negated when A.(V x H) < 0; a point P appears at
// ((P-C).H / (P-C).A, (P-C).V / (P-C).A) when (P-C).A > 0.
class CameraModelCahv final : public ICameraProjection {
public:
    explicit CameraModelCahv(const ModelParameters& parameters);

    std::optional<Ray> PixelToRay(const ImagePoint& pixel) const override;
    std::optional<ImagePoint> PointToPixel(const CPoint3D& point) const override;

    const ModelParameters& Parameters() const { return m_params; }

private:
    ModelParameters m_params;
    bool m_bFlip; // A.(V x H) < 0
};

// CAHVOR: CAHV with radial distortion about the optical axis O. The forward
// direction is ProjectCahvorVector. The backward direction undoes the
// distortion exactly: with the distorted ray r = zeta O + lambda' and
// tau' = |lambda'|^2 / zeta^2, the undistorted ray is zeta O + u lambda' where
// u solves (1 + r0) u + r1 tau' u^3 + r2 tau'^2 u^5 = 1. Newton's method from
// u = 1 / (1 + mu(tau')) runs until the estimated remaining error in the ray
// direction is below 1e-13 rad (two steps for a typical Navcam); no value when
// it does not converge in 20 steps, or when the ray points 90 degrees or more
// away from O, or that the distortion folds back onto the image (see
// below). O is used as given, as the catalogue cameras use it, so that a
// catalogue camera as a product model casts the catalogue's rays; for an O
// off unit length by e the two directions are inverses only to about
// e |mu| (1e-6 px for the catalogue's Pancams).
class CameraModelCahvor final : public ICameraProjection {
public:
    explicit CameraModelCahvor(const ModelParameters& parameters);

    std::optional<Ray> PixelToRay(const ImagePoint& pixel) const override;
    std::optional<ImagePoint> PointToPixel(const CPoint3D& point) const override;

    const ModelParameters& Parameters() const { return m_params; }

private:
    ModelParameters m_params;
    bool m_bFlip; // A.(V x H) < 0
    double m_dK1; // 1 + r0
};

// CAHVORE: a non-central model with a linearity L (from MTYPE and MPARM, see
// LinearityOf) between perspective (1) and fisheye (0), radial distortion
// about O and an entrance pupil that moves along O with the field angle, so
// every pixel has its own ray origin C + s O. O is used exactly as the label
// gives it, as the missions' ground software uses it, so that pixels and
// rays agree with theirs; labels print O rounded to a few digits, so it is
// unit only to about 1e-6, and the two directions are inverses to about that
// fraction of the distortion (a unit O makes them exact). Rays come out with
// unit directions. Both directions solve by
// Newton's method (stopping at a step below 1e-8, at most 100 steps); no
// value when that does not converge, when the field angle is outside the
// model's domain (theta |L| >= pi/2, theta >= pi), or when a point is behind
// the camera.
//
// CAHVOR and CAHVORE refuse directions beyond the field angle where the
// radial polynomial stops growing (d/dx [x (1 + r0 + r1 x^2 + r2 x^4)] <= 0):
// there the image folds back, and a point behind a fisheye would otherwise
// land on a pixel in the middle of the image.
class CameraModelCahvore final : public ICameraProjection {
public:
    explicit CameraModelCahvore(const ModelParameters& parameters);

    std::optional<Ray> PixelToRay(const ImagePoint& pixel) const override;
    std::optional<ImagePoint> PointToPixel(const CPoint3D& point) const override;

    const ModelParameters& Parameters() const { return m_params; }
    double Linearity() const { return m_dLinearity; }

private:
    // Entrance-pupil shift polynomial e0 + e1 t^2 + e2 t^4.
    double Pupil(double theta) const;

    ModelParameters m_params;
    double m_dLinearity; // NaN for an MTYPE without one: then nothing projects
    double m_dInvVolume; // 1 / A.(V x H)
};

struct CameraModelResult;

// Any of the three, chosen by the parameters' type.
class ProductCameraModel final : public ICameraProjection {
public:
    std::optional<Ray> PixelToRay(const ImagePoint& pixel) const override;
    std::optional<ImagePoint> PointToPixel(const CPoint3D& point) const override;

    ModelType Type() const;
    const ModelParameters& Parameters() const;

    using Variant = std::variant<CameraModelCahv, CameraModelCahvor, CameraModelCahvore>;
    const Variant& Model() const { return m_model; }

private:
    explicit ProductCameraModel(Variant model) : m_model(std::move(model)) {}
    friend CameraModelResult MakeCameraModel(const ModelParameters& parameters);

    Variant m_model;
};

// A model, or why the parameters cannot be one (the ValidateModel message).
struct CameraModelResult {
    std::optional<ProductCameraModel> model;
    std::string message; // empty when there is a model
};

// Validates the parameters and builds the model of their type.
CameraModelResult MakeCameraModel(const ModelParameters& parameters);
