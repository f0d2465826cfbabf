// What the view needs to help with the second click: the grey images of the
// open pair and its two cameras, with the model and pose the range
// calculation uses (catalogue or the products' own), for the epipolar curve
// and the matcher.
#pragma once

#include "matching/Epipolar.h"
#include "matching/Matcher.h"
#include "stereo/CalcInput.h"
#include "stereo/PairProjections.h"

#include <QImage>

#include <memory>
#include <optional>

// The grey samples of a decoded image: 16-bit grey as it is, anything else
// through its 8-bit grey values.
GreyImage GreyOfImage(const QImage& image);

class AssistedPair {
public:
    AssistedPair(GreyImage left, GreyImage right);
    AssistedPair(const AssistedPair&) = delete;
    AssistedPair& operator=(const AssistedPair&) = delete;

    // New cameras (or none, when cameras is not ok); the matcher follows.
    void SetCameras(PairProjectionsResult cameras);
    bool HasCameras() const { return m_pMatcher != nullptr; }
    // Why there are no cameras: empty when there are, or when a side has no
    // catalogue camera.
    const std::string& CamerasProblem() const { return m_sCamerasProblem; }

    // The curve, in the other image, of a mark in the image of from.
    EpipolarCurveResult Curve(Eye from, const ImagePoint& mark) const;
    // The partner of a click; refused with NoCurve when there are no cameras.
    MatchResult Match(Eye clicked, const ImagePoint& click) const;
    // Only when HasCameras().
    const StereoMatcher& Matcher() const { return *m_pMatcher; }
    const GreyImage& Image(Eye eye) const { return eye == Eye::Left ? m_left : m_right; }
    // The camera of one image; nullptr without cameras.
    const ICameraProjection* Camera(Eye eye) const {
        return (eye == Eye::Left ? m_leftCamera : m_rightCamera).get();
    }
    // The pair's products, read once while it is open.
    ProductCameraCache& Products() { return m_products; }

private:
    GreyImage m_left;
    GreyImage m_right;
    std::shared_ptr<const ICameraProjection> m_leftCamera;
    std::shared_ptr<const ICameraProjection> m_rightCamera;
    ProductCameraCache m_products;
    std::string m_sCamerasProblem;
    std::unique_ptr<StereoMatcher> m_pMatcher;
};
