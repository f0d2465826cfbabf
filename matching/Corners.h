// Well-textured, well-spread corners of a grey image, and the batch form of
// the matcher: each corner of the left image matched into the right one.
#pragma once

#include "geometry/ImagePoint.h"
#include "matching/GreyImage.h"
#include "matching/Matcher.h"

#include <atomic>
#include <functional>
#include <vector>

struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct Corner {
    ImagePoint pixel;
    double strength = 0.0; // the smaller eigenvalue of the local gradient structure
};

// Up to maxCorners corners inside area (cut to the image): the strongest of
// each cell of a grid laid over the area, strongest first. Corners need a
// minimum contrast (window deviation, 0..1 grey scale) and are kept margin
// pixels inside the image.
std::vector<Corner> DetectCorners(const GreyImage& image, const PixelRect& area, int maxCorners,
                                  double minContrast = 2.0 / 255, int margin = 8);

struct DetectOptions {
    int maxPoints = 200;
};

struct DetectedPair {
    ImagePoint left;
    MatchResult match; // match.pixel is the right partner
};

struct DetectResult {
    std::vector<DetectedPair> pairs; // the consistent matches, in detection order
    int found = 0;                   // corners detected
    int matched = 0;                 // of those tried, matched
    int refused = 0;                 // of those tried, refused
    bool cancelled = false;          // stopped early; pairs holds what was done
};

// Detects corners in the left image's area and matches each from the left.
// progress (optional) is called after each corner with (done, found); cancel
// (optional) is read before each one.
DetectResult DetectVertexPairs(const StereoMatcher& matcher, const PixelRect& leftArea,
                               const DetectOptions& options = {},
                               const std::function<void(int done, int found)>& progress = {},
                               const std::atomic<bool>* cancel = nullptr);
