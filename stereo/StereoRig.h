// The two cameras of an open pair as they are measured, built once from the
// pair's files, the sizes its images were decoded at and the options of the
// Analyse dialog: the products' own models when both images carry one (and
// no camera was chosen by hand), else the catalogue cameras posed by the
// image database's records. Everything that goes from the pair's pixels to
// space and back takes its cameras from here: the range calculation, the
// epipolar curve and the matcher, the pointing of a mark, the uncertainty and
// the error ellipses. Nothing here reads a file after Build.
#pragma once

#include "geometry/Eye.h"
#include "geometry/ImagePoint.h"
#include "geometry/Point3D.h"
#include "geometry/Projection.h"
#include "stereo/CalcInput.h"
#include "stereo/PairProjections.h"
#include "stereo/RangeCalc.h"

#include <memory>
#include <optional>
#include <string>

class ImageDatabase;

// What a rig is built from.
struct PairSetup {
    std::string leftFile;
    std::string rightFile;
    DecodedImageSizes decoded; // unknown: each product's own image size is compared
    CalcOptions options;
};

bool operator==(const DecodedImageSizes& a, const DecodedImageSizes& b);
bool operator==(const CalcOptions& a, const CalcOptions& b);
bool operator==(const PairSetup& a, const PairSetup& b);

// A mark's direction in the output frame: azimuth and elevation in degrees,
// as the Analyse dialog shows them beside its pixel.
struct Pointing {
    double azimuthDeg = 0.0;
    double elevationDeg = 0.0;
};

class StereoRig {
public:
    // No pair: Problem() says so.
    StereoRig();

    // Reads both products (through cache when given) and looks both images'
    // records up in db, once.
    static StereoRig Build(const PairSetup& setup, const ImageDatabase& db,
                           ProductCameraCache* cache = nullptr);

    const PairSetup& Setup() const { return m_setup; }

    // Whether a pair of marks can be measured; else Problem() says why.
    bool CanMeasure() const { return m_cameras.ok && m_base.productProblem.empty(); }
    // Why the pair cannot be measured: a product that cannot be used, a side
    // without a camera, two cameras at one place. Empty when it can.
    const std::string& Problem() const { return m_problem; }
    // Products measured with the catalogue cameras instead of their own
    // models, and why; empty otherwise.
    const std::string& Warning() const { return m_base.productWarning; }
    // What was done to a product's model to fit its image (a resized
    // rendition measured with the model scaled); empty otherwise.
    const std::string& Note() const { return m_base.productNote; }
    // Whether either image carries a camera model of its own (whether or not
    // the options measure with it).
    bool CarriesModels() const { return m_carriesModels; }
    // Whether the products' own models measure the pair.
    bool ProductModels() const { return m_cameras.productModels; }
    // The side without a catalogue camera, when that is the problem.
    std::optional<Eye> MissingCamera() const;

    // One eye's camera in the pair's common frame; nullptr when the pair has
    // no cameras.
    const ICameraProjection* Camera(Eye eye) const;
    std::shared_ptr<const ICameraProjection> SharedCamera(Eye eye) const;
    // The cameras as the matcher and the epipolar curve take them.
    const PairProjectionsResult& Cameras() const { return m_cameras; }

    // Where one side's model comes from, as the Analyse dialog shows it.
    std::string ModelSource(Eye eye) const;
    // The catalogue camera of a side (-1: none) and its database record's pose.
    CameraId CatalogueCamera(Eye eye) const;
    const std::optional<CameraPose>& RecordPose(Eye eye) const;

    // The range calculation's input at two marks; lastPosition is the point
    // "Distance to Last" measures from.
    RangeCalcInput Input(const ImagePoint& left, const ImagePoint& right,
                         const CPoint3D& lastPosition) const;
    // CALCULATE at two marks.
    RangeCalcResult Measure(const ImagePoint& left, const ImagePoint& right,
                            const CPoint3D& lastPosition) const;
    // The point two marks give, or nothing when their rays do not meet.
    std::optional<CPoint3D> Intersect(const ImagePoint& left, const ImagePoint& right) const;
    // A point of the output frame in the left image's site frame, when its
    // product gives the vehicle's pose there; nothing otherwise.
    std::optional<CPoint3D> SitePosition(const CPoint3D& pointInOutput) const;
    // Where a pixel of one image looks, through the model that measures it.
    std::optional<Pointing> PixelPointing(Eye eye, const ImagePoint& pixel) const;

private:
    PairSetup m_setup;
    RangeCalcInput m_base; // the camera half of every input: files, cameras, poses, options
    PairProjectionsResult m_cameras;
    std::shared_ptr<const ProductStereoPair> m_products;
    std::string m_problem;
    bool m_carriesModels = false;
};
