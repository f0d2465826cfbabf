#include "samplegen/SamplePairs.h"

#include "imagedb/ImageDatabase.h"
#include "samplegen/SceneLayout.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

namespace {

CQuat Attitude(double yaw, double pitch, double roll) {
    const CQuat q = FromAxisAngleDeg(kZAxis, yaw) * FromAxisAngleDeg(kYAxis, pitch) *
                    FromAxisAngleDeg(kXAxis, roll);
    const double n = std::sqrt(q.m_dS * q.m_dS + Dot(q.m_ptVec, q.m_ptVec));
    return q / n;
}

// Whether camera sees point q of a rock's top face, on that face, unobstructed.
bool SeesTopFace(const Scene& scene, const PosedCamera& cam, size_t rock, const CPoint3D& q) {
    const CPoint3D v = q - cam.Centre();
    const double dist = v.Length();
    const SceneHit hit = scene.Trace(cam.Centre(), v / dist);
    return hit.rock == static_cast<int>(rock) && hit.face == scene.m_vRocks[rock].topFace &&
           std::fabs(hit.t - dist) <= 1e-6 * dist;
}

double CornerContrast(const Scene& scene, const PosedCamera& cam, const ImagePoint& px) {
    const double footprint = PixelAngleForCamera(cam.Model().m_nCameraId) * kPi / 180.0;
    double lo = 1e300;
    double hi = -1e300;
    for (int k = 0; k < 16; ++k) {
        const double a = 2.0 * kPi * k / 16.0;
        const double v = scene.Radiance(
            cam.Centre(), cam.Ray(px.x + 3.0 * std::cos(a), px.y + 3.0 * std::sin(a)), footprint);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    return hi - lo;
}

LayoutCamera Layout(const Scene& scene, const PosedCamera& cam) {
    LayoutCamera layout;
    layout.centre = cam.Centre();
    layout.width = kSampleImageSize;
    layout.height = kSampleImageSize;
    layout.project = [&cam](const CPoint3D& point) -> std::optional<ImagePoint> {
        ImagePoint pixel;
        return cam.Project(point, pixel) ? std::optional(pixel) : std::nullopt;
    };
    layout.seesTopFace = [&scene, &cam](size_t rock, const CPoint3D& q) {
        return SeesTopFace(scene, cam, rock, q);
    };
    layout.cornerContrast = [&scene, &cam](const ImagePoint& px) {
        return CornerContrast(scene, cam, px);
    };
    return layout;
}

} // namespace

std::vector<SamplePairDefinition> SamplePairDefinitions() {
    return {
        {.folder = "oppy-navcam",
         .leftId = 0,
         .rightId = 1,
         .leftTitle = "1N137057367EFF4000P1916L0M1",
         .rightTitle = "1N137057367EFF4000P1916R0M1",
         .azimuth = 12.0,
         .elevation = 22.0,
         .attitude = CQuat(),
         .groundZ = -0.3,
         .nearDist = 2.2,
         .farDist = 22.0,
         .rockCount = 34,
         .sizeMin = 0.035,
         .sizeMax = 0.065,
         .seed = 11,
         .bands = {5.0, 10.0}},
        {.folder = "msl-navcam-a",
         .leftId = 10,
         .rightId = 11,
         .leftTitle = "NLA_433001764EDR_F04102L0NCAM00271M1",
         .rightTitle = "NRA_433001764EDR_F04102R0NCAM00271M1",
         .azimuth = -30.0,
         .elevation = 28.0,
         .attitude = Attitude(35.0, 3.0, -2.0),
         .groundZ = -0.05,
         .nearDist = 2.8,
         .farDist = 25.0,
         .rockCount = 34,
         .sizeMin = 0.035,
         .sizeMax = 0.065,
         .seed = 23,
         .bands = {5.0, 10.0}},
        {.folder = "oppy-pancam",
         .leftId = 2,
         .rightId = 3,
         .leftTitle = "1P137062211ESF4000P2530L2M1",
         .rightTitle = "1P137062211ESF4000P2530R2M1",
         .azimuth = 8.0,
         .elevation = 6.0,
         .attitude = CQuat(),
         .groundZ = -0.3,
         .nearDist = 8.0,
         .farDist = 95.0,
         .rockCount = 48,
         .sizeMin = 0.012,
         .sizeMax = 0.026,
         .seed = 37,
         .bands = {20.0, 40.0}},
    };
}

ImageRecord SampleRecord(const SamplePairDefinition& options, const std::string& title) {
    ImageRecord rec;
    rec.m_sProductId = MakeProductKey(title);
    rec.m_qAttitude = options.attitude;
    rec.m_dAzimuth = options.azimuth;
    rec.m_dElevation = options.elevation;
    return rec;
}

SamplePair BuildSamplePair(const SamplePairDefinition& options, size_t maxPoints) {
    SamplePair pair{options,
                    PosedCamera(options.leftId, SampleRecord(options, options.leftTitle)),
                    PosedCamera(options.rightId, SampleRecord(options, options.rightTitle)),
                    Scene{},
                    {}};
    Scene& scene = pair.scene;
    scene.m_dGroundZ = options.groundZ;
    scene.m_nSeed = options.seed;

    const double centre = 0.5 * (kSampleImageSize - 1);
    const CPoint3D look = pair.left.Ray(centre, centre);
    const double bearing0 = std::atan2(look.m_dY, look.m_dX);
    const double halfView = 0.8 * centre * PixelAngleForCamera(options.leftId) * kPi / 180.0;
    const LayoutCamera left = Layout(scene, pair.left);
    const LayoutCamera right = Layout(scene, pair.right);
    SampleRandom rng(options.seed);
    PlaceRocks(scene,
               {options.groundZ, options.nearDist, options.farDist, options.rockCount,
                options.sizeMin, options.sizeMax},
               left, right, bearing0, halfView, rng);
    pair.truth = ChooseCorners(scene, left, right, maxPoints);
    return pair;
}

std::string ExactNumber(double v) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

std::string TruthCsv(const SamplePair& pair) {
    return TruthCsv(pair.truth, pair.options.folder + "/" + pair.options.leftTitle + ".png",
                    pair.options.folder + "/" + pair.options.rightTitle + ".png");
}

std::string TruthCsv(const std::vector<TruthPoint>& truth, const std::string& left,
                     const std::string& right) {
    std::string out = "left_file,right_file,x,y,z,left_col,left_row,right_col,right_row\n";
    for (const TruthPoint& t : truth) {
        out.append(left).append(",").append(right);
        for (double v :
             {t.point.m_dX, t.point.m_dY, t.point.m_dZ, t.left.x, t.left.y, t.right.x, t.right.y}) {
            out.append(",").append(ExactNumber(v));
        }
        out.append("\n");
    }
    return out;
}
