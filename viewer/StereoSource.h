// The open pair as the stereo tools take it: the grey images the matcher
// sees, the colour of colour images, and the rectification made from the
// cameras the pair is measured with.
#pragma once

#include "matching/GreyImage.h"
#include "stereo/Rectification.h"
#include "stereo/StereoImage.h"

#include <QImage>

#include <memory>
#include <optional>
#include <string>

class CChildView;

struct StereoSource {
    GreyImage left;
    GreyImage right;
    // The three planes of each image when either is in colour.
    std::optional<ColourPlanes> leftColour;
    std::optional<ColourPlanes> rightColour;
    std::shared_ptr<const StereoRectification> rect;
    // Why there is no rectification; empty when there is one.
    std::string problem;
};

// The planes of a decoded image as shown (nothing for a grey one).
std::optional<ColourPlanes> ColourPlanesOf(const QImage& image);

// From the view's images and its document's cameras; the colour planes only
// when asked for. Without both images, or without cameras, problem says why.
StereoSource StereoSourceOf(const CChildView& view, bool withColour = true);
