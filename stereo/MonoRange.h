// Range from one image: the ray of a clicked pixel intersected with a
// surface, in the output frame the stereo measurements use (Z up). The
// surface is a given plane, a plane fitted to measured points, the ground
// plane of the vehicle frame, or the dense range map of a pair taken from the
// same rover position. The camera is the image's own product model or its
// catalogue camera posed by its database record.
#pragma once

#include "geometry/ImagePoint.h"
#include "geometry/PointGeometry.h"
#include "geometry/Projection.h"
#include "products/ProductCamera.h"
#include "stereo/CalcInput.h"
#include "stereo/PointUncertainty.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class DenseRangeMap;
class ImageDatabase;

// The ground plane's height 1-sigma when nothing else is said (metres).
inline constexpr double kDefaultGroundHeightSigmaM = 0.1;
// Rays meeting a surface at less than this are refused (degrees).
inline constexpr double kMinIncidenceDeg = 5.0;

enum class SurfaceKind { GroundPlane, GivenPlane, FittedPlane, DenseMap };

// What a pixel's ray is intersected with, in the output frame.
struct MonoSurface {
    SurfaceKind kind = SurfaceKind::GroundPlane;
    // The plane normal·p + offset = 0 (unit normal); for a dense map unused.
    CPoint3D normal{0.0, 0.0, 1.0};
    double offset = 0.0;
    // 1-sigma of the plane's position along its normal (metres).
    double heightSigmaM = kDefaultGroundHeightSigmaM;
    int fittedPoints = 0; // of a fitted plane
    // The dense map and the camera of its left image (the map's pixels), in
    // the same output frame as the measuring camera.
    std::shared_ptr<const DenseRangeMap> map;
    std::shared_ptr<const ICameraProjection> mapCamera;

    // As the table, the log and the CLI name it: "ground plane", "plane",
    // "fitted plane" or "dense map".
    std::string Name() const;
    // Name and numbers: "plane 0,0,1,0.3 (height sigma 0 m)".
    std::string Description() const;
};

// The ground under the vehicle: the plane depthBelowOriginM below the
// vehicle frame's origin (z = -depth in the output frame), level when the
// product gives the vehicle's attitude (the output frame is then turned by
// it), else parallel to the vehicle's own base plane.
MonoSurface GroundSurface(double heightSigmaM = kDefaultGroundHeightSigmaM,
                          double depthBelowOriginM = 0.0);

// How far the ground under a vehicle lies below its frame's origin.
struct VehicleGround {
    std::optional<double> depthM; // nothing: not known for this vehicle
    std::string vehicle;          // as messages name it: "MER", "Phoenix", ...
};
// The vehicle of a catalogue camera.
VehicleGround GroundOfCatalogueCamera(CameraId id);
// The vehicle of a product: a lander by its product's title, a rover by its
// model's frame ("ROVER_FRAME" MER, "ROVER_NAV_FRAME" MSL and Mars 2020).
VehicleGround GroundOfProductFrame(const std::string& frame, const std::string& title);

struct SurfaceResult {
    std::optional<MonoSurface> surface;
    std::string problem; // why not
};
// A x + B y + C z + D = 0; refused when (A, B, C) is not a direction.
SurfaceResult PlaneSurface(double a, double b, double c, double d, double heightSigmaM = 0.0);
// "A,B,C,D" as the command line gives it.
SurfaceResult ParsePlane(const std::string& text, double heightSigmaM = 0.0);
// The plane best fitting three or more measured points; its height sigma
// combines the residual scatter (n - 3 degrees of freedom) and the points'
// own covariances along the normal, averaged over the points.
SurfaceResult FittedSurface(const std::vector<CPoint3D>& points,
                            const std::vector<std::optional<Covariance3>>& covariances = {});
// The dense map of a pair; mapCamera casts the rays of the map's left pixels.
MonoSurface DenseSurface(std::shared_ptr<const DenseRangeMap> map,
                         std::shared_ptr<const ICameraProjection> mapCamera);

// One image's camera in the output frame.
struct MonoCamera {
    std::shared_ptr<const ICameraProjection> camera; // none with a problem
    std::optional<ProductCamera> product;            // measured with the product's model
    CameraId catalogueId = -1;                       // else this catalogue camera ...
    std::optional<CameraPose> pose;                  // ... posed by this record, if found
    std::string source;                              // as ModelSourceText writes it
    std::string note;                                // a resized rendition's model scaled
    std::string problem;
    VehicleGround ground; // of the vehicle the camera rides on
};

// The ground plane of camera's vehicle; refused when the vehicle's ground is
// not known.
SurfaceResult VehicleGroundSurface(const MonoCamera& camera,
                                   double heightSigmaM = kDefaultGroundHeightSigmaM);

// The product's own model when the file carries one (and no camera is chosen
// in options), else the catalogue camera of its name (or options.leftCamera)
// with the database record of its title. decoded: the size the image was
// read at, when known.
MonoCamera MakeMonoCamera(const std::string& file, const CalcOptions& options,
                          const ImageDatabase& db, std::optional<ImageSize> decoded = std::nullopt,
                          ProductCameraCache* cache = nullptr);

struct MonoRangeResult {
    bool ok = false;
    std::string problem; // why there is no range
    double rangeM = 0.0; // from the output frame's origin, as stereo ranges
    CPoint3D position;
    double azimuthDeg = 0.0;   // as RangeCalcResult's
    double elevationDeg = 0.0; // above z = 0
    double incidenceDeg = 0.0; // between the ray and the surface
    // 1-sigma from the pixel sigma and the surface's height sigma together;
    // no value when rays a fraction of a pixel away do not meet the surface.
    std::optional<PointUncertainty> uncertainty;
    double rangeSigmaPixelM = 0.0;   // the pixel's share
    double rangeSigmaSurfaceM = 0.0; // the surface's share
};

// The pixel's ray through camera met with surface. Refused when the camera
// casts no ray there, the ray points away from the surface (sky above the
// ground, a plane behind the camera), the ray meets it at under
// kMinIncidenceDeg, or the dense map shows nothing along the ray.
MonoRangeResult MeasureOnSurface(const ICameraProjection& camera, const ImagePoint& pixel,
                                 const MonoSurface& surface, double pixelSigmaPx = 0.5);
