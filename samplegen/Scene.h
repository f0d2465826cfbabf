// A synthetic Mars-like scene in the Z-up output frame: a level textured
// ground with angular rocks (convex blocks with a flat top face), lit by a
// low sun, seen through a hazy sky. Rendering casts one ray per sample
// through a PosedCamera, so the images show exactly what the measurement's
// rays would meet.
#pragma once

#include "samplegen/CahvorProject.h"

#include <cstdint>
#include <optional>
#include <vector>

// Deterministic random numbers (the same samples on every platform).
class SampleRandom {
public:
    explicit SampleRandom(uint32_t seed) : m_nState(seed * 2654435761u + 0x9e3779b9u) {}
    uint32_t Next();
    // Uniform in [a, b).
    double Uniform(double a, double b);

private:
    uint64_t m_nState;
};

// Points x with Dot(n, x) <= d.
struct HalfSpace {
    CPoint3D n;
    double d = 0.0;
};

struct Rock {
    std::vector<HalfSpace> faces; // sides, then the top face, then the bottom
    size_t topFace = 0;
    CPoint3D boundCentre;
    double boundRadius = 0.0;
    std::vector<CPoint3D> topCorners; // corners of the top face, in order round it
    double albedo = 0.3;
    uint32_t seed = 0;
};

struct RockShape {
    double x = 0.0, y = 0.0; // centre of the base on the ground
    double radius = 0.3;     // mean radius of the base
    int sides = 6;
    double height = 0.2; // of the top face's centre above the ground
};

// Builds a rock; none when the drawn shape does not give a clean top face
// (every corner on it, each at least a fifth of the radius from the next).
std::optional<Rock> MakeRock(const RockShape& shape, double groundZ, SampleRandom& rng);

struct SceneHit {
    double t = 0.0;
    int rock = -1; // index of the rock hit; -1 the ground; -2 nothing (sky)
    size_t face = 0;
    CPoint3D normal;
};

class Scene {
public:
    double m_dGroundZ = -0.3;
    std::vector<Rock> m_vRocks;
    CPoint3D m_ptSun{-0.45, 0.55, 0.70}; // toward the sun (any length)
    double m_dHaze = 250.0;              // distance (m) over which haze takes 63 % of the contrast
    uint32_t m_nSeed = 1;

    // First surface along o + t d (d unit), t > 0.
    SceneHit Trace(const CPoint3D& o, const CPoint3D& d) const;
    // Whether a rock lies on o + t d for 0 < t < tMax.
    bool Blocked(const CPoint3D& o, const CPoint3D& d, double tMax) const;
    // Brightness 0..1 of what ray o + t d sees; footprint is the size of one
    // sample per metre of distance (radians), to fade texture too fine to show.
    double Radiance(const CPoint3D& o, const CPoint3D& d, double footprint) const;
};

// Renders width x height 8-bit grey pixels: samples x samples rays per
// pixel on a regular grid, weighted by a Gaussian point spread of the optics
// round each pixel centre (pixel (i, j) is centred on column i, row j of the
// camera model), so that texture near and beyond the pixel Nyquist limit
// does not alias and both eyes see a surface alike.
std::vector<uint8_t> RenderImage(const Scene& scene, const PosedCamera& camera, int width,
                                 int height, int samples);
