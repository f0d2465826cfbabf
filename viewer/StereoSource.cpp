#include "viewer/StereoSource.h"

#include "viewer/ChildView.h"

std::optional<ColourPlanes> ColourPlanesOf(const QImage& image) {
    if (image.isNull() || image.allGray()) {
        return std::nullopt;
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    const int w = rgb.width(), h = rgb.height();
    std::vector<uint8_t> plane[3];
    for (auto& p : plane) {
        p.resize(static_cast<size_t>(w) * h);
    }
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = rgb.constScanLine(y);
        for (int x = 0; x < w; ++x) {
            const size_t k = static_cast<size_t>(y) * w + x;
            for (int c = 0; c < 3; ++c) {
                plane[c][k] = row[3 * x + c];
            }
        }
    }
    return ColourPlanes{GreyImage::FromGrey8(plane[0].data(), w, h),
                        GreyImage::FromGrey8(plane[1].data(), w, h),
                        GreyImage::FromGrey8(plane[2].data(), w, h)};
}

StereoSource StereoSourceOf(const CChildView& view, bool withColour) {
    StereoSource source;
    const AssistedPair* assist = view.Assist();
    if (assist == nullptr) {
        source.problem = "Open a stereo pair first";
        return source;
    }
    source.left = assist->Image(Eye::Left);
    source.right = assist->Image(Eye::Right);
    const QImage& leftPixels = view.Image(ViewSide::Left)->Pixels();
    const QImage& rightPixels = view.Image(ViewSide::Right)->Pixels();
    if (withColour && (!leftPixels.allGray() || !rightPixels.allGray())) {
        source.leftColour = ColourPlanesOf(leftPixels);
        source.rightColour = ColourPlanesOf(rightPixels);
        // A grey image beside a colour one gives three equal planes.
        for (auto [planes, grey] : {std::pair{&source.leftColour, &leftPixels},
                                    std::pair{&source.rightColour, &rightPixels}}) {
            if (!*planes) {
                const GreyImage g = GreyOfImage(*grey);
                *planes = ColourPlanes{g, g, g};
            }
        }
    }
    const PairProjectionsResult& cameras = view.Document().Rig().Cameras();
    if (!cameras.ok) {
        source.problem = !view.Document().Rig().Problem().empty() ? view.Document().Rig().Problem()
                         : !cameras.reason.empty()                ? cameras.reason
                                                                  : "The pair has no cameras";
        return source;
    }
    auto rect = std::make_shared<const StereoRectification>(
        cameras.left, cameras.right, source.left.width, source.left.height, source.right.width,
        source.right.height);
    if (!rect->Problem().empty()) {
        source.problem = rect->Problem();
        return source;
    }
    source.rect = std::move(rect);
    return source;
}
