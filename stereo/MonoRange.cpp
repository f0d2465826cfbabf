#include "stereo/MonoRange.h"

#include "base/Paths.h"
#include "geometry/CameraModel.h"
#include "geometry/CatalogueProjection.h"
#include "imagedb/ImageDatabase.h"
#include "products/ProductName.h"
#include "stereo/DenseRange.h"
#include "stereo/ProductStereo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace {

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

// A plane: the ray's parameter where it meets it; nothing when it does not.
std::optional<double> PlaneHit(const Ray& ray, const CPoint3D& normal, double offset) {
    const double along = Dot(normal, ray.direction);
    if (along == 0.0) {
        return std::nullopt;
    }
    const double t = -(Dot(normal, ray.origin) + offset) / along;
    if (!std::isfinite(t) || t <= 0.0) {
        return std::nullopt;
    }
    return t;
}

// The map's point at the nearest pixel; nothing where none was matched.
std::optional<CPoint3D> MapPoint(const DenseRangeMap& map, int x, int y) {
    if (x < 0 || y < 0 || x >= map.Width() || y >= map.Height()) {
        return std::nullopt;
    }
    const std::size_t k = (static_cast<std::size_t>(y) * map.Width() + x) * 3;
    const auto& xyz = map.Xyz();
    if (std::isnan(xyz[k])) {
        return std::nullopt;
    }
    return CPoint3D(xyz[k], xyz[k + 1], xyz[k + 2]);
}

// How far a point lies beyond the map's surface along the map camera's line
// of sight (negative: in front of it); nothing where the map has no point.
std::optional<double> BeyondMap(const MonoSurface& s, const CPoint3D& p) {
    const auto pixel = s.mapCamera->PointToPixel(p);
    if (!pixel) {
        return std::nullopt;
    }
    const auto ray = s.mapCamera->PixelToRay(*pixel);
    const auto q = MapPoint(*s.map, static_cast<int>(std::lround(pixel->x)),
                            static_cast<int>(std::lround(pixel->y)));
    if (!ray || !q) {
        return std::nullopt;
    }
    return (p - ray->origin).Length() - (*q - ray->origin).Length();
}

// The map's surface at a point seen at one of its pixels, as a plane: its
// normal from the neighbouring points, its height sigma the map's range
// sigma along that normal.
struct TangentPlane {
    CPoint3D point;
    CPoint3D normal;
    double heightSigmaM = 0.0;
};

std::optional<TangentPlane> MapTangent(const MonoSurface& s, const CPoint3D& p) {
    const auto pixel = s.mapCamera->PointToPixel(p);
    if (!pixel) {
        return std::nullopt;
    }
    const int x = static_cast<int>(std::lround(pixel->x));
    const int y = static_cast<int>(std::lround(pixel->y));
    const auto centre = MapPoint(*s.map, x, y);
    if (!centre) {
        return std::nullopt;
    }
    // The nearest neighbours that were matched, up to three pixels away.
    const auto side = [&](int dx, int dy) -> std::optional<CPoint3D> {
        for (int k = 2; k <= 3; ++k) {
            if (const auto q = MapPoint(*s.map, x + k * dx, y + k * dy)) {
                return q;
            }
        }
        return std::nullopt;
    };
    const auto right = side(1, 0), left = side(-1, 0), down = side(0, 1), up = side(0, -1);
    if (!(right || left) || !(down || up)) {
        return std::nullopt;
    }
    const CPoint3D u =
        right && left ? *right - *left : (right ? *right - *centre : *centre - *left);
    const CPoint3D v = down && up ? *down - *up : (down ? *down - *centre : *centre - *up);
    CPoint3D n = Cross(u, v).Normalized();
    if (n == CPoint3D()) {
        return std::nullopt;
    }
    const auto ray = s.mapCamera->PixelToRay(*pixel);
    const std::size_t k = static_cast<std::size_t>(y) * s.map->Width() + x;
    const double sigma = s.map->RangeSigma().empty() ? 0.0 : s.map->RangeSigma()[k];
    const double along = ray ? std::abs(Dot(n, ray->direction)) : 1.0;
    return TangentPlane{p, n, (std::isfinite(sigma) ? sigma : 0.0) * along};
}

// The first place where the ray passes from in front of the map's surface
// to behind it, refined by bisection; steps of 1 % in distance from 0.2 m
// to 2 km, never across a gap of the map or a jump at an occluding edge.
std::optional<double> DenseHit(const Ray& ray, const MonoSurface& s) {
    constexpr double kStep = 1.01;
    double t0 = 0.2;
    std::optional<double> g0 = BeyondMap(s, ray.origin + ray.direction * t0);
    for (double t1 = t0 * kStep; t1 < 2000.0; t1 *= kStep) {
        const std::optional<double> g1 = BeyondMap(s, ray.origin + ray.direction * t1);
        // A jump larger than the step itself is an edge, not the surface.
        if (g0 && g1 && *g0 < 0.0 && *g1 >= 0.0 && *g1 - *g0 < 3.0 * (t1 - t0) + 0.05 * t1) {
            double lo = t0, hi = t1;
            for (int i = 0; i < 40; ++i) {
                const double mid = 0.5 * (lo + hi);
                const auto g = BeyondMap(s, ray.origin + ray.direction * mid);
                if (!g) {
                    break;
                }
                (*g < 0.0 ? lo : hi) = mid;
            }
            return 0.5 * (lo + hi);
        }
        t0 = t1;
        g0 = g1;
    }
    return std::nullopt;
}

// The plane met by a ray as MeasureOnSurface uses it: a given, fitted or
// ground plane as it is, a dense map by its tangent plane where the ray meets it.
struct Meeting {
    CPoint3D normal;
    double offset = 0.0;
    double heightSigmaM = 0.0;
    std::string problem;
};

Meeting PlaneOf(const Ray& ray, const MonoSurface& s) {
    if (s.kind != SurfaceKind::DenseMap) {
        return {s.normal, s.offset, s.heightSigmaM, {}};
    }
    if (!s.map || !s.mapCamera || s.map->Empty()) {
        return {{}, 0.0, 0.0, "no dense range map is open"};
    }
    const auto t = DenseHit(ray, s);
    if (!t) {
        return {{}, 0.0, 0.0, "The dense range map shows no surface along the ray of this pixel"};
    }
    const CPoint3D p = ray.origin + ray.direction * *t;
    const auto tangent = MapTangent(s, p);
    if (!tangent) {
        return {
            {}, 0.0, 0.0, "The dense range map has too few points round the point this pixel sees"};
    }
    return {tangent->normal, -Dot(tangent->normal, p), tangent->heightSigmaM, {}};
}

std::optional<CPoint3D> Meet(const ICameraProjection& camera, const ImagePoint& pixel,
                             const Meeting& plane, double shift) {
    const auto ray = camera.PixelToRay(pixel);
    if (!ray) {
        return std::nullopt;
    }
    const auto t = PlaneHit(*ray, plane.normal, plane.offset - shift);
    if (!t) {
        return std::nullopt;
    }
    return ray->origin + ray->direction * *t;
}

// Central difference of the point with one input moved by +-h; one-sided
// when one side fails.
std::optional<CPoint3D> Derivative(const std::optional<CPoint3D>& plus,
                                   const std::optional<CPoint3D>& minus, const CPoint3D& centre,
                                   double h) {
    if (plus && minus) {
        return (*plus - *minus) / (2.0 * h);
    }
    if (plus) {
        return (*plus - centre) / h;
    }
    if (minus) {
        return (centre - *minus) / h;
    }
    return std::nullopt;
}

// Where the ground lies below a vehicle frame's origin follows from how high
// the vehicle's cameras stand above the ground, as the missions describe
// them, against how high their calibrated models put them above the origin.
// MER's mast cameras look from 1.5 m above the ground, 1.25 m above the
// rover frame's origin; Phoenix's stereo imager from 2 m, 0.8 m above the
// lander frame's. The MSL and Mars 2020 rover navigation frames start on the
// ground under the rover.
constexpr double kMerMastCameraHeightM = 1.5;
constexpr double kPhoenixStereoCameraHeightM = 2.0;

double DepthBelowCamera(const char* cameraName, double cameraHeightM) {
    const auto id = ParseCameraId(cameraName);
    const CatalogueEntry* entry = id ? CatalogueEntryOf(*id) : nullptr;
    return entry != nullptr ? cameraHeightM + entry->c.m_dZ : 0.0; // +Z down
}

VehicleGround MerGround() {
    return {DepthBelowCamera("OppyNavL", kMerMastCameraHeightM), "MER"};
}

VehicleGround PhoenixGround() {
    return {DepthBelowCamera("PhnxSSIL", kPhoenixStereoCameraHeightM), "Phoenix"};
}

bool NameStartsWith(const char* name, std::string_view prefix) {
    return name != nullptr && std::string_view(name).starts_with(prefix);
}

} // namespace

std::string MonoSurface::Name() const {
    switch (kind) {
    case SurfaceKind::GivenPlane:
        return "plane";
    case SurfaceKind::FittedPlane:
        return "fitted plane";
    case SurfaceKind::DenseMap:
        return "dense map";
    case SurfaceKind::GroundPlane:
        break;
    }
    return "ground plane";
}

std::string MonoSurface::Description() const {
    if (kind == SurfaceKind::DenseMap) {
        return Name();
    }
    std::string text = Name() + " " + Number(normal.m_dX) + "," + Number(normal.m_dY) + "," +
                       Number(normal.m_dZ) + "," + Number(offset);
    if (kind == SurfaceKind::FittedPlane) {
        text += " (" + std::to_string(fittedPoints) + " points";
    } else {
        text += " (";
    }
    return text + (kind == SurfaceKind::FittedPlane ? ", " : "") + "height sigma " +
           Number(heightSigmaM) + " m)";
}

MonoSurface GroundSurface(double heightSigmaM, double depthBelowOriginM) {
    MonoSurface s;
    s.kind = SurfaceKind::GroundPlane;
    s.offset = depthBelowOriginM;
    s.heightSigmaM = heightSigmaM;
    return s;
}

VehicleGround GroundOfCatalogueCamera(CameraId id) {
    const char* name = CameraName(id);
    if (NameStartsWith(name, "Oppy") || NameStartsWith(name, "Sprt")) {
        return MerGround();
    }
    if (NameStartsWith(name, "Phnx")) {
        return PhoenixGround();
    }
    if (NameStartsWith(name, "MSL")) {
        return {0.0, "MSL"};
    }
    return {std::nullopt, "an unknown vehicle"};
}

VehicleGround GroundOfProductFrame(const std::string& frame, const std::string& title) {
    // A lander's product names it, whatever frame its record gives: the raw
    // feed gives every model as in the rover navigation frame.
    const auto lander = DecodeLanderProductName(title);
    if (NameStartsWith(CameraName(CameraOfTitle(title)), "Phnx") ||
        (lander && lander->mission == "PHOENIX")) {
        return PhoenixGround();
    }
    if (lander && lander->mission == "INSIGHT") {
        return {std::nullopt, "InSight"};
    }
    if (frame == "ROVER_NAV_FRAME") {
        return {0.0, "MSL or Mars 2020"};
    }
    if (frame == "ROVER_FRAME") {
        return MerGround();
    }
    return {std::nullopt, frame.empty() ? std::string("an unknown vehicle") : frame};
}

SurfaceResult VehicleGroundSurface(const MonoCamera& camera, double heightSigmaM) {
    SurfaceResult res;
    if (!camera.ground.depthM) {
        res.problem = "where the ground lies in the frame of " + camera.ground.vehicle +
                      " is not known: a plane must be given, or fitted to measured points";
        return res;
    }
    res.surface = GroundSurface(heightSigmaM, *camera.ground.depthM);
    return res;
}

SurfaceResult PlaneSurface(double a, double b, double c, double d, double heightSigmaM) {
    SurfaceResult res;
    const CPoint3D n(a, b, c);
    const double length = n.Length();
    if (!std::isfinite(length) || !std::isfinite(d) || length < 1e-12) {
        res.problem = "a plane needs a normal (A, B, C) that is not zero";
        return res;
    }
    if (!std::isfinite(heightSigmaM) || heightSigmaM < 0.0) {
        res.problem = "a height sigma must be zero or more";
        return res;
    }
    MonoSurface s;
    s.kind = SurfaceKind::GivenPlane;
    s.normal = n / length;
    s.offset = d / length;
    s.heightSigmaM = heightSigmaM;
    res.surface = s;
    return res;
}

SurfaceResult ParsePlane(const std::string& text, double heightSigmaM) {
    double v[4];
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    for (int i = 0; i < 4; ++i) {
        char comma = ',';
        if (!(in >> v[i]) || (i < 3 && !(in >> comma)) || comma != ',') {
            return {std::nullopt, "a plane is A,B,C,D (four numbers): " + text};
        }
    }
    if (std::string rest; in >> rest) {
        return {std::nullopt, "a plane is A,B,C,D (four numbers): " + text};
    }
    return PlaneSurface(v[0], v[1], v[2], v[3], heightSigmaM);
}

SurfaceResult FittedSurface(const std::vector<CPoint3D>& points,
                            const std::vector<std::optional<Covariance3>>& covariances) {
    SurfaceResult res;
    const PlaneFitResult fit = FitPlane(points);
    if (!fit.ok) {
        res.problem = fit.message;
        return res;
    }
    const double n = static_cast<double>(points.size());
    // Residual variance with three degrees of freedom taken by the plane.
    const double residual = n > 3.0 ? fit.rmsDistanceM * fit.rmsDistanceM * n / (n - 3.0) : 0.0;
    double own = 0.0;
    int counted = 0;
    const double u[3] = {fit.normal.m_dX, fit.normal.m_dY, fit.normal.m_dZ};
    for (const auto& c : covariances) {
        if (!c) {
            continue;
        }
        double s = 0.0;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                s += u[i] * (*c)[i][j] * u[j];
            }
        }
        own += std::max(s, 0.0);
        ++counted;
    }
    // A point of the surface scatters about the plane by the residual; the
    // plane itself is known to its points' scatter over n.
    const double points2 = counted > 0 ? own / counted : 0.0;
    MonoSurface s;
    s.kind = SurfaceKind::FittedPlane;
    s.normal = fit.normal;
    s.offset = -Dot(fit.normal, fit.centroid);
    s.heightSigmaM = std::sqrt(residual * (1.0 + 1.0 / n) + points2 / n);
    s.fittedPoints = static_cast<int>(points.size());
    res.surface = s;
    return res;
}

MonoSurface DenseSurface(std::shared_ptr<const DenseRangeMap> map,
                         std::shared_ptr<const ICameraProjection> mapCamera) {
    MonoSurface s;
    s.kind = SurfaceKind::DenseMap;
    s.heightSigmaM = 0.0;
    s.map = std::move(map);
    s.mapCamera = std::move(mapCamera);
    return s;
}

MonoCamera MakeMonoCamera(const std::string& file, const CalcOptions& options,
                          const ImageDatabase& db, std::optional<ImageSize> decoded,
                          ProductCameraCache* cache) {
    MonoCamera out;
    if (options.bProductModels && !options.leftCamera) {
        ProductCameraCache own;
        const ProductCameraResult& product = (cache != nullptr ? *cache : own).Get(file);
        if (product.carriesModel) {
            if (!product.camera) {
                out.problem = product.message;
                return out;
            }
            const FittedCamera fitted = FitCameraToImage(file, *product.camera, decoded);
            if (!fitted.camera) {
                out.problem = fitted.problem + ": measure the image the model was made for, or "
                                               "choose a catalogue camera";
                return out;
            }
            // A pair of one camera casts exactly the rays a stereo measurement
            // of this image casts, attitude and all.
            const auto pair = std::make_shared<const ProductStereoPair>(
                *fitted.camera, *fitted.camera, false, options.dAzCorrLeft, options.dAzCorrLeft);
            if (!pair->Problem().empty()) {
                out.problem = pair->Problem();
                return out;
            }
            out.camera = std::make_shared<const ProductPairSide>(pair, false);
            out.product = fitted.camera;
            out.note = fitted.note;
            out.source = fitted.camera->Description();
            out.ground = GroundOfProductFrame(fitted.camera->frame, PathTitle(file));
            return out;
        }
    }
    out.catalogueId = options.leftCamera ? *options.leftCamera : CameraOfTitle(PathTitle(file));
    const char* name = CameraName(out.catalogueId);
    if (out.catalogueId < 0 || name == nullptr) {
        out.problem = "no camera for " + PathTitle(file) +
                      ": its name names no catalogue camera and it carries no model; choose one";
        return out;
    }
    out.pose = PoseOfImage(db, file);
    CataloguePose pose;
    pose.pose = out.pose;
    pose.applyPointing = out.pose.has_value();
    pose.azCorrDeg = options.dAzCorrLeft;
    out.camera = std::make_shared<const CatalogueProjection>(out.catalogueId, pose);
    out.ground = GroundOfCatalogueCamera(out.catalogueId);
    out.source = std::string("catalogue: ") + name +
                 (out.pose ? ", database record" : ", no database record");
    return out;
}

MonoRangeResult MeasureOnSurface(const ICameraProjection& camera, const ImagePoint& pixel,
                                 const MonoSurface& surface, double pixelSigmaPx) {
    MonoRangeResult res;
    const auto ray = camera.PixelToRay(pixel);
    if (!ray) {
        res.problem = "The camera model casts no ray through this pixel";
        return res;
    }
    const Meeting plane = PlaneOf(*ray, surface);
    if (!plane.problem.empty()) {
        res.problem = plane.problem;
        return res;
    }
    const double along = Dot(plane.normal, ray->direction);
    res.incidenceDeg = std::asin(std::min(1.0, std::abs(along))) * 180.0 / kPi;
    const double side = Dot(plane.normal, ray->origin) + plane.offset;
    // The ray leaves the plane's side the camera is on: it never meets it.
    if (side * along >= 0.0 && res.incidenceDeg >= kMinIncidenceDeg) {
        const bool ground = surface.kind != SurfaceKind::DenseMap &&
                            std::abs(plane.normal.m_dZ) >= std::sqrt(0.5) &&
                            ray->direction.m_dZ > 0.0 && side * plane.normal.m_dZ > 0.0;
        res.problem = ground ? "This pixel looks above the horizon of the " + surface.Name() +
                                   ": its ray never meets it"
                             : "The " + surface.Name() +
                                   " lies behind the camera along the ray "
                                   "of this pixel";
        return res;
    }
    if (res.incidenceDeg < kMinIncidenceDeg) {
        res.problem = "The ray of this pixel meets the " + surface.Name() + " at " +
                      Number(std::round(res.incidenceDeg * 10.0) / 10.0) + " degrees, under " +
                      Number(kMinIncidenceDeg) + ": too grazing to give a range";
        return res;
    }
    const auto p = Meet(camera, pixel, plane, 0.0);
    if (!p) {
        res.problem = "The ray of this pixel does not meet the " + surface.Name();
        return res;
    }
    res.ok = true;
    res.position = *p;
    res.rangeM = p->Length();
    const CPoint3D dir = p->Normalized();
    res.azimuthDeg = -AzimuthDeg(dir);
    res.elevationDeg = 90.0 - AngleDeg(dir, kZAxis);

    // Linear propagation: the point's derivatives by the two pixel
    // coordinates and the plane's shift along its normal.
    constexpr double kPixelStep = 0.1;
    constexpr double kShiftStep = 0.01;
    const auto dx =
        Derivative(Meet(camera, {pixel.x + kPixelStep, pixel.y}, plane, 0.0),
                   Meet(camera, {pixel.x - kPixelStep, pixel.y}, plane, 0.0), *p, kPixelStep);
    const auto dy =
        Derivative(Meet(camera, {pixel.x, pixel.y + kPixelStep}, plane, 0.0),
                   Meet(camera, {pixel.x, pixel.y - kPixelStep}, plane, 0.0), *p, kPixelStep);
    const auto dh = Derivative(Meet(camera, pixel, plane, kShiftStep),
                               Meet(camera, pixel, plane, -kShiftStep), *p, kShiftStep);
    if (!dx || !dy || !dh) {
        return res;
    }
    const CPoint3D columns[3] = {*dx * pixelSigmaPx, *dy * pixelSigmaPx, *dh * plane.heightSigmaM};
    Covariance3 cov{};
    for (const CPoint3D& c : columns) {
        const double v[3] = {c.m_dX, c.m_dY, c.m_dZ};
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                cov[i][j] += v[i] * v[j];
            }
        }
    }
    res.uncertainty = UncertaintyOfCovariance(cov, *p);
    res.rangeSigmaPixelM = std::hypot(Dot(columns[0], dir), Dot(columns[1], dir));
    res.rangeSigmaSurfaceM = std::abs(Dot(columns[2], dir));
    return res;
}
