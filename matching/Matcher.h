// Automatic matching of a marked pixel into the other image of a stereo pair:
// the partner is searched along the epipolar curve (with a band across it for
// pose error) by zero-mean normalised cross-correlation of grey windows, each
// tried square and shaped as level ground at that distance would appear in
// the other eye; the best is refined to sub-pixel by least-squares alignment
// of position and shape, and checked by matching back. Where the two windows'
// grey distributions disagree (eyes stretched differently) the highest peaks
// are scored by rank correlation instead, and where either image kept the
// pattern of its colour filter array both are smoothed first. A match that is
// ambiguous, inconsistent both ways, does not settle or is too uncertain is
// refused with the reason, so the user clicks as before.
#pragma once

#include "geometry/Eye.h"
#include "geometry/ImagePoint.h"
#include "geometry/Projection.h"
#include "matching/GreyImage.h"

#include <memory>
#include <string>
#include <utility>

struct MatchOptions {
    int windowPx = 0;               // odd, 11..31; 0 chooses it from the local texture
    double bandPx = 2.0;            // searched either side of the curve
    double nearM = 0.5;             // nearest point searched along the ray
    double minScore = 0.5;          // a best correlation below this is weak whatever else
    double maxSigmaPx = 0.3;        // the alignment's own 1-sigma above this is weak
    double maxAmbiguity = 0.7;      // above this the second peak is nearly as good (see ambiguity)
    double maxConsistencyPx = 0.5;  // matching back must land this close to the click
    double minContrast = 2.0 / 255; // window standard deviation (0..1 grey scale) below
                                    // which a patch is textureless
};

enum class MatchStatus {
    Matched,
    OutsideImage, // the click is not in its image
    AtBorder,     // too close to the border for a window
    Textureless,
    NoCurve, // no part of the epipolar curve lies in the other image
    Weak,
    Ambiguous,
    Inconsistent,
};

struct MatchResult {
    bool ok = false;
    MatchStatus status = MatchStatus::NoCurve;
    std::string reason;          // for the status bar; empty when ok
    ImagePoint pixel;            // the partner in the other image (the best found, when refused)
    double score = 0.0;          // correlation of the best window, -1..1
    double ambiguity = 0.0;      // second peak over best, 0..1
    double consistencyPx = -1.0; // distance of the match back from the click; -1 not checked
    int windowPx = 0;            // window size used
    // Estimated 1-sigma error of each coordinate of pixel, when ok: the
    // larger of the correlation peak's (its sharpness against the mismatch
    // of the windows), half the distance matching back lands from the click,
    // and kLeastMatchSigmaPx.
    double sigmaPx = 0.0;
};

// No match is taken to be better than this (interpolation, grey quanta).
inline constexpr double kLeastMatchSigmaPx = 0.02;

// Matches clicks of one stereo pair. The images and cameras are referenced,
// not copied: they must outlive the matcher. Thread-safe for concurrent Match
// calls when the cameras are.
class StereoMatcher {
public:
    StereoMatcher(const GreyImage& left, const GreyImage& right,
                  const ICameraProjection& leftCamera, const ICameraProjection& rightCamera,
                  MatchOptions options = {});

    // The partner of a click in the image of eye, in the other image.
    MatchResult Match(Eye clicked, const ImagePoint& click) const;

    const MatchOptions& Options() const { return m_options; }
    const GreyImage& Image(Eye eye) const { return eye == Eye::Left ? m_left : m_right; }

private:
    const GreyImage& m_left;
    const GreyImage& m_right;
    const ICameraProjection& m_leftCamera;
    const ICameraProjection& m_rightCamera;
    MatchOptions m_options;
    // Both images made alike (MakeAlike, matching/BayerMosaic.h), matched
    // instead of the originals when either carries the two-pixel pattern of a
    // colour filter array or was read from one: that pattern, or a sharper
    // eye against a smoothed one, would decide the correlation of small
    // windows.
    std::unique_ptr<const std::pair<GreyImage, GreyImage>> m_smoothed;
};

// The window size (odd, 11..31) the matcher chooses around a pixel: the
// smallest with enough contrast and enough grey gradient along the unit
// direction along (that of the epipolar curve through the pixel).
int ChooseWindowSize(const GreyImage& image, const ImagePoint& pixel, double minContrast,
                     const ImagePoint& along);
// The unit direction of the epipolar curve through pixel in the image of from.
ImagePoint EpipolarDirection(const ICameraProjection& from, const ICameraProjection& to,
                             const ImagePoint& pixel);
