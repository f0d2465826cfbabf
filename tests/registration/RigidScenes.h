// Synthetic scenes measured from two positions: the same rocks seen in a
// source and a reference frame related by a known rigid motion, with
// measurement noise, vertices present in only one file and gross outliers.
#pragma once

#include "geometry/Point3D.h"
#include "registration/LeastSquaresRegistration.h"
#include "registration/VertexFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

// Rotation by Rodrigues' formula from a random axis and angle, independent
// of the quaternion code under test.
struct TrueMotion {
    CPoint3D axis;
    double angleRad = 0.0;
    CPoint3D shiftM;

    CPoint3D operator()(const CPoint3D& p) const {
        const CPoint3D a = axis.Normalized();
        const double c = std::cos(angleRad);
        const double s = std::sin(angleRad);
        return p * c + Cross(a, p) * s + a * (Dot(a, p) * (1 - c)) + shiftM;
    }

    static TrueMotion Random(std::mt19937& rng) {
        std::normal_distribution<double> g(0.0, 1.0);
        std::uniform_real_distribution<double> angle(-3.1, 3.1);
        std::uniform_real_distribution<double> shift(-10.0, 10.0);
        return {{g(rng), g(rng), g(rng)}, angle(rng), {shift(rng), shift(rng), shift(rng)}};
    }
};

// Root mean square distance between where two motions put the points.
inline double MotionErrorM(const RigidMotion& got, const TrueMotion& want,
                           const std::vector<CPoint3D>& points) {
    double sum2 = 0.0;
    for (const CPoint3D& p : points) {
        const double e = (got.Apply(p) - want(p)).Length();
        sum2 += e * e;
    }
    return std::sqrt(sum2 / static_cast<double>(points.size()));
}

struct SceneRecipe {
    size_t rocks = 100;
    double noiseM = 0.02;       // standard deviation per axis, in each file
    double onlyInOne = 0.0;     // share of rocks missing from one of the files
    double grossOutliers = 0.0; // share of common rocks mismeasured by 1-3 m
};

struct Scene {
    TrueMotion motion;
    std::vector<CPoint3D> source;
    std::vector<CPoint3D> reference;
    std::vector<IndexPair> truePairs;    // common rocks measured within the noise
    std::vector<IndexPair> outlierPairs; // common rocks grossly mismeasured
};

// Rocks 3-25 m in front of the rover, at least 1 m apart, in a 6 m band of
// height, shuffled in each file.
inline Scene MakeScene(const SceneRecipe& recipe, std::mt19937& rng) {
    Scene scene;
    scene.motion = TrueMotion::Random(rng);
    std::uniform_real_distribution<double> x(3.0, 25.0), y(-15.0, 15.0), z(-3.0, 3.0);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::normal_distribution<double> noise(0.0, recipe.noiseM);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<CPoint3D> rocks;
    while (rocks.size() < recipe.rocks) {
        const CPoint3D p{x(rng), y(rng), z(rng)};
        if (std::all_of(rocks.begin(), rocks.end(),
                        [&](const CPoint3D& q) { return (p - q).Length() >= 1.0; })) {
            rocks.push_back(p);
        }
    }
    auto jitter = [&](const CPoint3D& p) {
        return p + CPoint3D{noise(rng), noise(rng), noise(rng)};
    };
    struct Entry {
        CPoint3D p;
        long rock;
    };
    std::vector<Entry> src;
    std::vector<Entry> ref;
    std::vector<bool> outlier(rocks.size(), false);
    for (size_t i = 0; i < rocks.size(); ++i) {
        const double pick = u(rng);
        const bool inSource = pick >= recipe.onlyInOne / 2;
        const bool inReference = pick < recipe.onlyInOne / 2 || pick >= recipe.onlyInOne;
        CPoint3D seen = scene.motion(rocks[i]);
        if (inSource && inReference && u(rng) < recipe.grossOutliers) {
            outlier[i] = true;
            seen = seen + CPoint3D{g(rng), g(rng), g(rng)}.Normalized() * (1.0 + 2.0 * u(rng));
        }
        if (inSource) {
            src.push_back({jitter(rocks[i]), static_cast<long>(i)});
        }
        if (inReference) {
            ref.push_back({jitter(seen), static_cast<long>(i)});
        }
    }
    std::shuffle(src.begin(), src.end(), rng);
    std::shuffle(ref.begin(), ref.end(), rng);
    std::vector<long> refIndexOfRock(rocks.size(), -1);
    for (size_t j = 0; j < ref.size(); ++j) {
        refIndexOfRock[static_cast<size_t>(ref[j].rock)] = static_cast<long>(j);
        scene.reference.push_back(ref[j].p);
    }
    for (size_t i = 0; i < src.size(); ++i) {
        scene.source.push_back(src[i].p);
        const long j = refIndexOfRock[static_cast<size_t>(src[i].rock)];
        if (j >= 0) {
            const IndexPair pair{static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j)};
            (outlier[static_cast<size_t>(src[i].rock)] ? scene.outlierPairs : scene.truePairs)
                .push_back(pair);
        }
    }
    return scene;
}

// Vertex lines as the vertex files hold them.
inline std::string VertexText(const std::vector<CPoint3D>& pts) {
    std::string out;
    for (const auto& p : pts) {
        AppendVertexLine(out, p);
    }
    return out;
}
