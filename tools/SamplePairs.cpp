#include "tools/SamplePairs.h"

#include "imagedb/ImageDatabase.h"

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

constexpr int kMargin = 4; // truth pixels stay this far inside the image

bool InImage(const ImagePoint& p) {
    return p.x >= kMargin && p.y >= kMargin && p.x <= kSampleImageSize - 1 - kMargin &&
           p.y <= kSampleImageSize - 1 - kMargin;
}

double PixelDistance(const ImagePoint& a, const ImagePoint& b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

// Whether camera sees point q of a rock's top face, on that face, unobstructed.
bool SeesTopFace(const Scene& scene, const PosedCamera& cam, size_t rock, const CPoint3D& q) {
    const CPoint3D v = q - cam.Centre();
    const double dist = v.Length();
    const SceneHit hit = scene.Trace(cam.Centre(), v / dist);
    return hit.rock == static_cast<int>(rock) && hit.face == scene.m_vRocks[rock].topFace &&
           std::fabs(hit.t - dist) <= 1e-6 * dist;
}

// Spread of brightness on a ring of three pixels' radius round a pixel: a
// corner a person can find again shows light and dark faces around it.
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

constexpr double kMinContrast = 0.12;

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

    // Rocks spread over the view of both cameras, log-uniform in distance so
    // that near and far ground get about as many.
    SampleRandom rng(options.seed);
    const double centre = 0.5 * (kSampleImageSize - 1);
    const CPoint3D look = pair.left.Ray(centre, centre);
    const double bearing0 = std::atan2(look.m_dY, look.m_dX);
    const double halfView = 0.8 * centre * PixelAngleForCamera(options.leftId) * kPi / 180.0;
    const CPoint3D origin = pair.left.Centre();
    std::vector<RockShape> placed;
    for (int attempt = 0; attempt < 20000 && static_cast<int>(placed.size()) < options.rockCount;
         ++attempt) {
        const double dist =
            std::exp(rng.Uniform(std::log(options.nearDist), std::log(options.farDist)));
        const double bearing = bearing0 + rng.Uniform(-halfView, halfView);
        RockShape s;
        s.x = origin.m_dX + dist * std::cos(bearing);
        s.y = origin.m_dY + dist * std::sin(bearing);
        s.radius = dist * rng.Uniform(options.sizeMin, options.sizeMax);
        s.sides = 5 + static_cast<int>(rng.Next() % 3);
        s.height = s.radius * rng.Uniform(0.5, 1.0);
        const bool overlaps = std::any_of(placed.begin(), placed.end(), [&](const RockShape& o) {
            return std::hypot(o.x - s.x, o.y - s.y) < 1.5 * (o.radius + s.radius) + 0.1;
        });
        ImagePoint pl;
        ImagePoint pr;
        const CPoint3D foot{s.x, s.y, options.groundZ};
        if (overlaps || !pair.left.Project(foot, pl) || !pair.right.Project(foot, pr) ||
            !InImage(pl) || !InImage(pr)) {
            continue;
        }
        if (auto rock = MakeRock(s, options.groundZ, rng)) {
            scene.m_vRocks.push_back(std::move(*rock));
            placed.push_back(s);
        }
    }

    for (size_t r = 0; r < scene.m_vRocks.size(); ++r) {
        const Rock& rock = scene.m_vRocks[r];
        const HalfSpace& top = rock.faces[rock.topFace];
        CPoint3D middle;
        for (const CPoint3D& c : rock.topCorners) {
            middle = middle + c;
        }
        middle = middle / static_cast<double>(rock.topCorners.size());
        const size_t n = rock.topCorners.size();
        std::vector<ImagePoint> left(n);
        std::vector<ImagePoint> right(n);
        std::vector<bool> projected(n);
        for (size_t k = 0; k < n; ++k) {
            projected[k] = pair.left.Project(rock.topCorners[k], left[k]) &&
                           pair.right.Project(rock.topCorners[k], right[k]);
        }
        for (size_t k = 0; k < n; ++k) {
            const CPoint3D& c = rock.topCorners[k];
            const size_t prev = (k + n - 1) % n;
            const size_t next = (k + 1) % n;
            if (!projected[k] || !projected[prev] || !projected[next] || !InImage(left[k]) ||
                !InImage(right[k])) {
                continue;
            }
            // A corner worth clicking: the top face turned toward both eyes,
            // the face round the corner in view, the neighbours well apart.
            bool good = true;
            for (const PosedCamera* cam : {&pair.left, &pair.right}) {
                const CPoint3D toCam = (cam->Centre() - c).Normalized();
                good = good && Dot(top.n, toCam) > 0.05;
                for (double f : {0.02, 0.1}) {
                    good = good && SeesTopFace(scene, *cam, r, c + (middle - c) * f);
                }
            }
            for (size_t other : {prev, next}) {
                good = good && PixelDistance(left[k], left[other]) >= 8.0 &&
                       PixelDistance(right[k], right[other]) >= 8.0;
            }
            good = good && CornerContrast(scene, pair.left, left[k]) >= kMinContrast &&
                   CornerContrast(scene, pair.right, right[k]) >= kMinContrast;
            if (good) {
                pair.truth.push_back({c, left[k], right[k]});
            }
        }
    }
    std::sort(pair.truth.begin(), pair.truth.end(), [](const TruthPoint& a, const TruthPoint& b) {
        return a.point.Length() < b.point.Length();
    });
    if (pair.truth.size() > maxPoints) {
        // Keep an even spread over the range.
        std::vector<TruthPoint> kept;
        for (size_t i = 0; i < maxPoints; ++i) {
            kept.push_back(pair.truth[i * (pair.truth.size() - 1) / (maxPoints - 1)]);
        }
        pair.truth = std::move(kept);
    }
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
