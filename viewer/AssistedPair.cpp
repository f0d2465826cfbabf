#include "viewer/AssistedPair.h"

GreyImage GreyOfImage(const QImage& image) {
    if (image.isNull()) {
        return {};
    }
    if (image.format() == QImage::Format_Grayscale16) {
        return GreyImage::FromGrey16(reinterpret_cast<const uint16_t*>(image.constBits()),
                                     image.width(), image.height(),
                                     static_cast<size_t>(image.bytesPerLine()) / 2);
    }
    const QImage grey = image.format() == QImage::Format_Grayscale8
                            ? image
                            : image.convertToFormat(QImage::Format_Grayscale8);
    return GreyImage::FromGrey8(grey.constBits(), grey.width(), grey.height(),
                                static_cast<size_t>(grey.bytesPerLine()));
}

AssistedPair::AssistedPair(GreyImage left, GreyImage right)
    : m_left(std::move(left)), m_right(std::move(right)) {}

void AssistedPair::SetCameras(PairProjectionsResult cameras) {
    m_pMatcher.reset();
    m_leftCamera.reset();
    m_rightCamera.reset();
    m_sCamerasProblem = cameras.ok || cameras.cameraMissing ? std::string() : cameras.reason;
    if (!cameras.ok || m_left.Empty() || m_right.Empty()) {
        return;
    }
    m_leftCamera = std::move(cameras.left);
    m_rightCamera = std::move(cameras.right);
    m_pMatcher = std::make_unique<StereoMatcher>(m_left, m_right, *m_leftCamera, *m_rightCamera);
}

EpipolarCurveResult AssistedPair::Curve(Eye from, const ImagePoint& mark) const {
    if (!HasCameras()) {
        EpipolarCurveResult none;
        none.reason = "no cameras for the pair";
        return none;
    }
    const bool left = from == Eye::Left;
    const GreyImage& other = left ? m_right : m_left;
    return EpipolarCurve(left ? *m_leftCamera : *m_rightCamera,
                         left ? *m_rightCamera : *m_leftCamera, mark, other.width, other.height);
}

MatchResult AssistedPair::Match(Eye clicked, const ImagePoint& click) const {
    if (!HasCameras()) {
        MatchResult none;
        none.status = MatchStatus::NoCurve;
        none.reason = "no cameras for the pair";
        return none;
    }
    return m_pMatcher->Match(clicked, click);
}
