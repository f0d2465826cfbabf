// The steps every kind of sample pair shares once its two cameras are set:
// scattering rocks over the ground both cameras see, and choosing the rock
// corners a person could click again in both images.
#pragma once

#include "samplegen/SamplePairs.h"
#include "samplegen/Scene.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

// Where and how large the rocks are.
struct RockField {
    double groundZ = 0.0;
    double nearDist = 0.0; // horizontally from the left camera
    double farDist = 0.0;
    int rockCount = 0;
    double sizeMin = 0.0; // radius per metre of distance
    double sizeMax = 0.0;
};

// One camera of a sample pair as the layout sees it.
struct LayoutCamera {
    CPoint3D centre;
    int width = 0;
    int height = 0;
    std::function<std::optional<ImagePoint>(const CPoint3D&)> project;
    // Whether the camera sees point q of the rock's top face, on that face,
    // unobstructed.
    std::function<bool(std::size_t rock, const CPoint3D& q)> seesTopFace;
    // Spread of brightness on a ring of three pixels' radius round a pixel: a
    // corner a person can find again shows light and dark faces around it.
    std::function<double(const ImagePoint&)> cornerContrast;
};

// Rocks spread over the view of both cameras within halfView (radians) of
// bearing0, log-uniform in distance so that near and far ground get about
// as many.
void PlaceRocks(Scene& scene, const RockField& field, const LayoutCamera& left,
                const LayoutCamera& right, double bearing0, double halfView, SampleRandom& rng);

// Top-face corners turned toward both eyes, seen by both, well apart from
// their neighbours and showing contrast, sorted by range and thinned to an
// even spread of at most maxPoints.
std::vector<TruthPoint> ChooseCorners(const Scene& scene, const LayoutCamera& left,
                                      const LayoutCamera& right, std::size_t maxPoints);
