// Epipolar rectification of a stereo pair: two linear CAHV cameras with one
// common orientation, focal length and principal point, placed at the two
// original camera centres, so that the partner of any point lies on the same
// row of the other rectified image. Both images are resampled through the
// original models; the maps both ways are kept, so a rectified pixel goes
// back to its original pixel exactly (through the model) or quickly (through
// a grid of exact samples).
#pragma once

#include "geometry/Eye.h"
#include "geometry/ImagePoint.h"
#include "geometry/Point3D.h"
#include "geometry/Projection.h"
#include "matching/GreyImage.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// A linear (CAHV) camera: pixel (x, y) looks along a + (x - cx)/f h + (y - cy)/f v
// from centre c, with a, h, v orthonormal (h along the image rows, v down the
// columns, a forward).
struct LinearCamera {
    CPoint3D c;
    CPoint3D a;
    CPoint3D hDir;
    CPoint3D vDir;
    double f = 1.0; // pixels per unit tangent
    double cx = 0.0;
    double cy = 0.0;

    // The CAHV vectors H and V of the model (A is a, C is c).
    CPoint3D H() const { return hDir * f + a * cx; }
    CPoint3D V() const { return vDir * f + a * cy; }
    // No value for a point not in front of the camera.
    std::optional<ImagePoint> Project(const CPoint3D& p) const;
    // Unit direction of the ray of a pixel.
    CPoint3D Direction(const ImagePoint& pixel) const;
};

// A map from one image's pixels to another's, sampled exactly every `step`
// pixels and interpolated bilinearly in between. NaN where the model gives
// no pixel.
struct PixelGridMap {
    int width = 0; // size of the image whose pixels are looked up
    int height = 0;
    int step = 8;
    int nodesX = 0;
    int nodesY = 0;
    std::vector<float> x; // nodesX * nodesY
    std::vector<float> y;

    // No value where any of the four surrounding nodes has none.
    std::optional<ImagePoint> At(double px, double py) const;
};

class StereoRectification {
public:
    // Both cameras in one frame (MakePairProjections), and the sizes of the
    // original images. Check Problem() before anything else.
    StereoRectification(std::shared_ptr<const ICameraProjection> left,
                        std::shared_ptr<const ICameraProjection> right, int leftWidth,
                        int leftHeight, int rightWidth, int rightHeight);

    // Empty when the pair can be rectified; else why not.
    const std::string& Problem() const { return m_problem; }

    const LinearCamera& Camera(Eye eye) const { return eye == Eye::Left ? m_left : m_right; }
    const ICameraProjection& Original(Eye eye) const {
        return eye == Eye::Left ? *m_origLeft : *m_origRight;
    }
    int Width() const { return m_width; } // both rectified images
    int Height() const { return m_height; }
    int OriginalWidth(Eye eye) const { return eye == Eye::Left ? m_leftW : m_rightW; }
    int OriginalHeight(Eye eye) const { return eye == Eye::Left ? m_leftH : m_rightH; }
    // Distance between the camera centres along the rectified rows (metres,
    // positive: the right camera lies to the right of the left one).
    double Baseline() const { return m_baseline; }

    // Exact maps through the original models; no value where a model casts
    // no ray or sees no pixel.
    std::optional<ImagePoint> ToOriginal(Eye eye, const ImagePoint& rectified) const;
    std::optional<ImagePoint> ToRectified(Eye eye, const ImagePoint& original) const;
    // The same through the sampled grids (fast; within a few thousandths of
    // a pixel of the exact maps over the image).
    std::optional<ImagePoint> ToOriginalFast(Eye eye, const ImagePoint& rectified) const;
    std::optional<ImagePoint> ToRectifiedFast(Eye eye, const ImagePoint& original) const;

    // The rectified image of one eye, resampled bicubically from the
    // original (which must have the size given at construction); samples
    // that fall outside the original are NaN.
    GreyImage Resample(Eye eye, const GreyImage& original) const;
    // The same for several planes of one image (a colour image's), each
    // pixel's place in the original found once for all of them.
    std::vector<GreyImage> Resample(Eye eye, const std::vector<const GreyImage*>& planes) const;

private:
    PixelGridMap MakeGrid(int width, int height, bool toOriginal, Eye eye) const;

    std::shared_ptr<const ICameraProjection> m_origLeft;
    std::shared_ptr<const ICameraProjection> m_origRight;
    int m_leftW = 0, m_leftH = 0, m_rightW = 0, m_rightH = 0;
    LinearCamera m_left;
    LinearCamera m_right;
    int m_width = 0;
    int m_height = 0;
    double m_baseline = 0.0;
    PixelGridMap m_toOrigLeft, m_toOrigRight, m_toRectLeft, m_toRectRight;
    std::string m_problem;
};
