#include "samplegen/SceneLayout.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMargin = 4; // truth pixels stay this far inside the image
constexpr double kMinContrast = 0.12;

bool InImage(const LayoutCamera& cam, const ImagePoint& p) {
    return p.x >= kMargin && p.y >= kMargin && p.x <= cam.width - 1 - kMargin &&
           p.y <= cam.height - 1 - kMargin;
}

double PixelDistance(const ImagePoint& a, const ImagePoint& b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

} // namespace

void PlaceRocks(Scene& scene, const RockField& field, const LayoutCamera& left,
                const LayoutCamera& right, double bearing0, double halfView, SampleRandom& rng) {
    const CPoint3D origin = left.centre;
    std::vector<RockShape> placed;
    for (int attempt = 0; attempt < 20000 && static_cast<int>(placed.size()) < field.rockCount;
         ++attempt) {
        const double dist =
            std::exp(rng.Uniform(std::log(field.nearDist), std::log(field.farDist)));
        const double bearing = bearing0 + rng.Uniform(-halfView, halfView);
        RockShape s;
        s.x = origin.m_dX + dist * std::cos(bearing);
        s.y = origin.m_dY + dist * std::sin(bearing);
        s.radius = dist * rng.Uniform(field.sizeMin, field.sizeMax);
        s.sides = 5 + static_cast<int>(rng.Next() % 3);
        s.height = s.radius * rng.Uniform(0.5, 1.0);
        const bool overlaps = std::any_of(placed.begin(), placed.end(), [&](const RockShape& o) {
            return std::hypot(o.x - s.x, o.y - s.y) < 1.5 * (o.radius + s.radius) + 0.1;
        });
        if (overlaps) {
            continue;
        }
        const CPoint3D foot{s.x, s.y, field.groundZ};
        const auto pl = left.project(foot);
        const auto pr = pl ? right.project(foot) : std::nullopt;
        if (!pl || !pr || !InImage(left, *pl) || !InImage(right, *pr)) {
            continue;
        }
        if (auto rock = MakeRock(s, field.groundZ, rng)) {
            scene.m_vRocks.push_back(std::move(*rock));
            placed.push_back(s);
        }
    }
}

std::vector<TruthPoint> ChooseCorners(const Scene& scene, const LayoutCamera& left,
                                      const LayoutCamera& right, std::size_t maxPoints) {
    std::vector<TruthPoint> truth;
    for (std::size_t r = 0; r < scene.m_vRocks.size(); ++r) {
        const Rock& rock = scene.m_vRocks[r];
        const HalfSpace& top = rock.faces[rock.topFace];
        CPoint3D middle;
        for (const CPoint3D& c : rock.topCorners) {
            middle = middle + c;
        }
        middle = middle / static_cast<double>(rock.topCorners.size());
        const std::size_t n = rock.topCorners.size();
        std::vector<std::optional<ImagePoint>> inLeft(n);
        std::vector<std::optional<ImagePoint>> inRight(n);
        for (std::size_t k = 0; k < n; ++k) {
            inLeft[k] = left.project(rock.topCorners[k]);
            inRight[k] = inLeft[k] ? right.project(rock.topCorners[k]) : std::nullopt;
        }
        const auto projected = [&](std::size_t k) { return inLeft[k] && inRight[k]; };
        for (std::size_t k = 0; k < n; ++k) {
            const CPoint3D& c = rock.topCorners[k];
            const std::size_t prev = (k + n - 1) % n;
            const std::size_t next = (k + 1) % n;
            if (!projected(k) || !projected(prev) || !projected(next) ||
                !InImage(left, *inLeft[k]) || !InImage(right, *inRight[k])) {
                continue;
            }
            // The top face turned toward both eyes, the face round the
            // corner in view, the neighbours well apart.
            bool good = true;
            for (const LayoutCamera* cam : {&left, &right}) {
                const CPoint3D toCam = (cam->centre - c).Normalized();
                good = good && Dot(top.n, toCam) > 0.05;
                for (double f : {0.02, 0.1}) {
                    good = good && cam->seesTopFace(r, c + (middle - c) * f);
                }
            }
            for (std::size_t other : {prev, next}) {
                good = good && PixelDistance(*inLeft[k], *inLeft[other]) >= 8.0 &&
                       PixelDistance(*inRight[k], *inRight[other]) >= 8.0;
            }
            good = good && left.cornerContrast(*inLeft[k]) >= kMinContrast &&
                   right.cornerContrast(*inRight[k]) >= kMinContrast;
            if (good) {
                truth.push_back({c, *inLeft[k], *inRight[k]});
            }
        }
    }
    std::sort(truth.begin(), truth.end(), [](const TruthPoint& a, const TruthPoint& b) {
        return a.point.Length() < b.point.Length();
    });
    if (truth.size() > maxPoints) {
        // Keep an even spread over the range.
        std::vector<TruthPoint> kept;
        for (std::size_t i = 0; i < maxPoints; ++i) {
            kept.push_back(truth[i * (truth.size() - 1) / (maxPoints - 1)]);
        }
        truth = std::move(kept);
    }
    return truth;
}
