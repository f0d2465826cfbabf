// The arithmetic of the stereo view: the two square panels, where an image
// lands at the current zoom and pan, and the mappings between client pixels
// and image pixels in both directions. Plain values, no widgets, so the
// mappings can be checked exactly.
#pragma once

#include "geometry/ImagePoint.h"

#include <cstdint>

// An integer rectangle that contains its left and top edges and excludes its
// right and bottom edges.
struct ViewRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    // The common part; an empty rectangle when they do not overlap.
    ViewRect Intersect(const ViewRect& other) const;
    bool operator==(const ViewRect&) const = default;
};

struct IntPoint {
    int x = 0;
    int y = 0;
    bool operator==(const IntPoint&) const = default;
};

enum class ViewSide { Left, Right };

// The zoom steps the view accepts. Inside these bounds every image rectangle
// stays far from the limits of int coordinates (an image 65535 pixels wide is
// at most 1.5e9 screen pixels wide at the deepest zoom); outside them the
// rectangle would eventually be computed from an infinite zoom.
inline constexpr int kMinZoomStep = -100; // e^10, about 22026 screen pixels per image pixel
inline constexpr int kMaxZoomStep = 120;  // e^-12: any image shrinks below one pixel

// Screen pixels per image pixel for a zoom step: e^(-0.1 * step).
double ZoomForStep(int step);
int ClampZoomStep(long long step);

// Where one side is drawn: its square panel and the rectangle the whole image
// covers at the current zoom and pan.
struct SideLayout {
    ViewRect panel;
    ViewRect image;
};

struct PanOffset {
    double x = 0.0;
    double y = 0.0;
};

SideLayout ComputeSideLayout(const ViewRect& client, ViewSide side, std::uint32_t imageWidth,
                             std::uint32_t imageHeight, PanOffset offset, double zoom);

struct ScreenToImageResult {
    bool inside = false;  // the point lies on the visible part of the image
    bool inPanel = false; // not inside, but within the panel
    ImagePoint pt;        // meaningful only when inside
};

ScreenToImageResult MapScreenToImage(IntPoint p, const SideLayout& layout, std::uint32_t imageWidth,
                                     std::uint32_t imageHeight);

struct ImageToScreenResult {
    bool visible = false; // the rounded point lies on the visible part of the image
    bool inPanel = false; // not visible, but the rounded point lies within the panel
    double x = 0.0;       // unrounded client position, used for drawing
    double y = 0.0;
};

ImageToScreenResult MapImageToScreen(const ImagePoint& q, const SideLayout& layout,
                                     std::uint32_t imageWidth, std::uint32_t imageHeight);

// Each coordinate rounded to the nearest integer, halves away from zero.
IntPoint RoundHalfAway(double x, double y);

// A double truncated toward zero, held well inside the int range.
int TruncToInt(double v);

// Fitting images to their panels.
//
// The part of a side's panel that is on screen: the panel is square, the
// client may be shorter than it.
ViewRect VisiblePanel(const ViewRect& client, ViewSide side);

// The largest zoom at which an image of width x height fits inside box (1
// for an empty image or box).
double FitZoom(const ViewRect& box, std::uint32_t width, std::uint32_t height);

// The pan that centres an image of width x height, drawn at zoom, in box,
// which lies within the side's panel of client.
PanOffset CentredOffset(const ViewRect& client, ViewSide side, const ViewRect& box,
                        std::uint32_t width, std::uint32_t height, double zoom);

// The pan that keeps the image point under the panel's centre in place when
// the zoom changes from one value to another.
PanOffset OffsetForZoomChange(PanOffset offset, double fromZoom, double toZoom);

// The zoom step whose zoom is nearest zoom (on a logarithmic scale), within
// the accepted steps.
int NearestZoomStep(double zoom);
