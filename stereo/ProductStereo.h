// Measuring with the camera models image products carry: which model a
// side uses, in which frame the two rays meet, and the rays of a pair in
// Ranvista's output frame (Z up: the vehicle frame with Y and Z flipped,
// turned by the vehicle attitude when the product has one, as a database
// record turns a catalogue camera).
#pragma once

#include "geometry/ModelParameters.h"
#include "geometry/Point3D.h"
#include "geometry/ProductModels.h"
#include "products/ProductCamera.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The two rays of a pair of product cameras in the output frame. Pairs
// with the same motion counter meet in their vehicle frame; pairs taken from
// two rover positions at the same site meet in the site frame (the offset
// between the positions comes from the poses); anything else is refused.
class ProductStereoPair {
public:
    // b2D and the azimuth corrections as the Analyse dialog gives them.
    ProductStereoPair(const ProductCamera& left, const ProductCamera& right, bool b2D,
                      double azCorrLeft, double azCorrRight);

    // Empty when the pair can be intersected; else why not.
    const std::string& Problem() const { return m_problem; }

    // The point in the output frame and its range from the output origin;
    // range DBL_MAX and the invalid point when the rays do not meet in front
    // of both cameras. missDistance: how far apart the two rays pass.
    CPoint3D Intersect(double xL, double yL, double xR, double yR, double& range,
                       double* missDistance = nullptr) const;

    // Degrees between the rays of two horizontally neighbouring pixels of
    // the left image at (x, y): the angle one pixel spans.
    double PixelAngleDeg(double x, double y) const;

    // Where a pixel of one side looks, as the Analyse dialog shows a mark's
    // pointing: azimuth (degrees, positive toward -Y of the output frame,
    // azimuth correction included) and elevation above z = 0, never
    // flattened by 2D. Nothing when the model casts no ray there.
    struct AzElResult {
        double azimuthDeg = 0.0;
        double elevationDeg = 0.0;
    };
    std::optional<AzElResult> PixelAzEl(bool right, double x, double y) const;

    // A point of the output frame in the left rover's site frame (PDS axes),
    // when the left product has a pose with a known position.
    std::optional<CPoint3D> SitePosition(const CPoint3D& pointInOutput) const;

    // A side's ray as a camera casts it in the output frame (without the
    // 2-D flattening), and its inverse: where a point of the output frame
    // appears in that side's image.
    std::optional<Ray> CameraRay(bool right, double x, double y) const;
    std::optional<ImagePoint> CameraPixel(bool right, const CPoint3D& pointInOutput) const;

private:
    std::optional<Ray> OutputRay(bool right, double x, double y) const;
    // The ray in the output frame before the 2-D flattening and the azimuth correction.
    std::optional<Ray> UnturnedRay(bool right, double x, double y) const;

    std::optional<ProductCameraModel> m_left;
    std::optional<ProductCameraModel> m_right;
    std::optional<SitePose> m_leftPose;
    // Site frame -> left vehicle frame turned: p_out = FlipYZ(R_left·(p_vehicle)),
    // with both rays first taken to the site frame when they need to meet there.
    bool m_bInSite = false;
    std::optional<FramePose> m_rightInLeft; // the right vehicle in the left one
    std::optional<CQuat> m_attitude;        // the left vehicle's attitude, when known
    bool m_b2D = false;
    CQuat m_turnLeft;
    CQuat m_turnRight;
    std::string m_problem;
};

// One side of a product pair as a point <-> pixel projection in the output
// frame, for the epipolar curve and the matcher: the rays the range
// calculation meets (the 2-D mode's flattening apart) and their inverse.
class ProductPairSide final : public ICameraProjection {
public:
    ProductPairSide(std::shared_ptr<const ProductStereoPair> pair, bool right)
        : m_pair(std::move(pair)), m_bRight(right) {}

    std::optional<Ray> PixelToRay(const ImagePoint& pixel) const override {
        return m_pair->CameraRay(m_bRight, pixel.x, pixel.y);
    }
    std::optional<ImagePoint> PointToPixel(const CPoint3D& point) const override {
        return m_pair->CameraPixel(m_bRight, point);
    }

private:
    std::shared_ptr<const ProductStereoPair> m_pair;
    bool m_bRight = false;
};
