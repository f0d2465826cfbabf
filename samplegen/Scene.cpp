#include "samplegen/Scene.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

uint32_t SampleRandom::Next() {
    // PCG-XSH-RR: small, fast and the same everywhere.
    const uint64_t old = m_nState;
    m_nState = old * 6364136223846793005ULL + 1442695040888963407ULL;
    const auto xorshifted = static_cast<uint32_t>(((old >> 18u) ^ old) >> 27u);
    const auto rot = static_cast<uint32_t>(old >> 59u);
    return (xorshifted >> rot) | (xorshifted << ((32u - rot) & 31u));
}

double SampleRandom::Uniform(double a, double b) {
    return a + (b - a) * (static_cast<double>(Next()) / 4294967296.0);
}

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

uint32_t Hash(int32_t x, int32_t y, int32_t z, uint32_t seed) {
    uint32_t h = seed * 0x27d4eb2du;
    h ^= static_cast<uint32_t>(x) * 0x85ebca6bu;
    h = (h << 13) | (h >> 19);
    h ^= static_cast<uint32_t>(y) * 0xc2b2ae35u;
    h = (h << 17) | (h >> 15);
    h ^= static_cast<uint32_t>(z) * 0x165667b1u;
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

double Lattice(int32_t x, int32_t y, int32_t z, uint32_t seed) {
    return static_cast<double>(Hash(x, y, z, seed)) / 2147483648.0 - 1.0;
}

double Fade(double t) {
    return t * t * t * (t * (t * 6.0 - 15.0) + 10.0);
}
double Mix(double a, double b, double t) {
    return a + (b - a) * t;
}

// Smooth value noise in [-1, 1] with unit lattice spacing.
double ValueNoise(const CPoint3D& p, uint32_t seed) {
    const double fx = std::floor(p.m_dX);
    const double fy = std::floor(p.m_dY);
    const double fz = std::floor(p.m_dZ);
    const auto x = static_cast<int32_t>(fx);
    const auto y = static_cast<int32_t>(fy);
    const auto z = static_cast<int32_t>(fz);
    const double u = Fade(p.m_dX - fx);
    const double v = Fade(p.m_dY - fy);
    const double w = Fade(p.m_dZ - fz);
    const double x00 = Mix(Lattice(x, y, z, seed), Lattice(x + 1, y, z, seed), u);
    const double x10 = Mix(Lattice(x, y + 1, z, seed), Lattice(x + 1, y + 1, z, seed), u);
    const double x01 = Mix(Lattice(x, y, z + 1, seed), Lattice(x + 1, y, z + 1, seed), u);
    const double x11 = Mix(Lattice(x, y + 1, z + 1, seed), Lattice(x + 1, y + 1, z + 1, seed), u);
    return Mix(Mix(x00, x10, v), Mix(x01, x11, v), w);
}

// Weight of a texture octave of the given wavelength on a surface patch of
// the given size: detail finer than about three patches fades out.
double OctaveWeight(double wavelength, double patch) {
    return std::clamp(wavelength / (3.0 * patch) - 1.0, 0.0, 1.0);
}

struct Octave {
    double wavelength;
    double amplitude;
};

// Sum of octaves, each turned about z by its own angle so that the lattice of
// the value noise does not show as a grid.
double Fbm(const CPoint3D& p, uint32_t seed, const Octave* octaves, size_t count, double patch) {
    double sum = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double w = OctaveWeight(octaves[i].wavelength, patch);
        if (w > 0.0) {
            const double a = 0.7 + 1.3 * static_cast<double>(i);
            const double c = std::cos(a);
            const double s = std::sin(a);
            const CPoint3D q{c * p.m_dX - s * p.m_dY, s * p.m_dX + c * p.m_dY, p.m_dZ};
            sum += w * octaves[i].amplitude *
                   ValueNoise(q / octaves[i].wavelength, seed + static_cast<uint32_t>(i) * 101u);
        }
    }
    return sum;
}

double Smoothstep(double a, double b, double x) {
    const double t = std::clamp((x - a) / (b - a), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

CPoint3D SolvePlanes(const HalfSpace& a, const HalfSpace& b, const HalfSpace& c, bool& ok) {
    const CPoint3D bc = Cross(b.n, c.n);
    const double det = Dot(a.n, bc);
    ok = std::fabs(det) > 1e-12;
    if (!ok) {
        return {};
    }
    return (bc * a.d + Cross(c.n, a.n) * b.d + Cross(a.n, b.n) * c.d) / det;
}

// Entry of a ray into a convex rock, limited to (tMin, tMax).
bool EnterRock(const Rock& rock, const CPoint3D& o, const CPoint3D& d, double tMin, double tMax,
               double& tHit, size_t& face) {
    const CPoint3D oc = o - rock.boundCentre;
    const double b = Dot(oc, d);
    const double disc = b * b - (Dot(oc, oc) - rock.boundRadius * rock.boundRadius);
    if (disc < 0.0) {
        return false;
    }
    const double root = std::sqrt(disc);
    if (-b + root <= tMin || -b - root >= tMax) {
        return false;
    }
    double tEnter = -kInf;
    double tExit = tMax;
    size_t enterFace = rock.faces.size();
    for (size_t k = 0; k < rock.faces.size(); ++k) {
        const HalfSpace& h = rock.faces[k];
        const double denom = Dot(h.n, d);
        const double num = h.d - Dot(h.n, o);
        if (denom > 0.0) {
            tExit = std::min(tExit, num / denom);
        } else if (denom < 0.0) {
            const double t = num / denom;
            if (t > tEnter) {
                tEnter = t;
                enterFace = k;
            }
        } else if (num < 0.0) {
            return false;
        }
        if (tEnter > tExit) {
            return false;
        }
    }
    if (enterFace == rock.faces.size() || tEnter <= tMin) {
        return false;
    }
    tHit = tEnter;
    face = enterFace;
    return true;
}

// Standard deviation of the optics' point spread (pixels). With it, texture
// at the pixel Nyquist limit keeps about a twentieth of its contrast, so the
// sampled image holds almost nothing that aliases.
constexpr double kOpticsBlurPx = 0.8;

const Octave kGroundOctaves[] = {{7.0, 0.16},  {2.3, 0.11},  {0.8, 0.08},
                                 {0.27, 0.06}, {0.09, 0.05}, {0.03, 0.035}};
const Octave kPebbleOctaves[] = {{0.07, 0.7}, {0.03, 0.4}};
const Octave kRockOctaves[] = {{0.9, 0.16}, {0.3, 0.12}, {0.1, 0.09}, {0.035, 0.06}};

} // namespace

std::optional<Rock> MakeRock(const RockShape& s, double groundZ, SampleRandom& rng) {
    const int n = std::max(3, s.sides);
    std::vector<CPoint3D> base;
    const double turn = 2.0 * kPi / n;
    const double start = rng.Uniform(0.0, turn);
    for (int k = 0; k < n; ++k) {
        const double a = start + turn * (k + rng.Uniform(-0.25, 0.25));
        const double r = s.radius * rng.Uniform(0.75, 1.2);
        base.push_back({s.x + r * std::cos(a), s.y + r * std::sin(a), groundZ});
    }
    Rock rock;
    for (int k = 0; k < n; ++k) {
        const CPoint3D& p = base[k];
        const CPoint3D& q = base[(k + 1) % n];
        // Outward horizontal normal of the base edge, tipped up so the face leans in.
        const CPoint3D out = CPoint3D(q.m_dY - p.m_dY, p.m_dX - q.m_dX, 0.0).Normalized();
        const double lean = rng.Uniform(12.0, 35.0) * kPi / 180.0;
        const CPoint3D normal = out * std::cos(lean) + kZAxis * std::sin(lean);
        rock.faces.push_back({normal, Dot(normal, p)});
    }
    const double tilt = rng.Uniform(0.0, 18.0) * kPi / 180.0;
    const double tiltDir = rng.Uniform(0.0, 2.0 * kPi);
    const CPoint3D topNormal{std::sin(tilt) * std::cos(tiltDir), std::sin(tilt) * std::sin(tiltDir),
                             std::cos(tilt)};
    const CPoint3D topPoint{s.x, s.y, groundZ + s.height};
    rock.topFace = rock.faces.size();
    rock.faces.push_back({topNormal, Dot(topNormal, topPoint)});
    rock.faces.push_back({-kZAxis, -(groundZ - 0.1 * s.height)});

    // Corners of the top face: where it meets two neighbouring sides.
    const HalfSpace& top = rock.faces[rock.topFace];
    double maxReach = 0.0;
    for (int k = 0; k < n; ++k) {
        bool ok = false;
        const CPoint3D c = SolvePlanes(rock.faces[(k + n - 1) % n], rock.faces[k], top, ok);
        if (!ok || c.m_dZ < groundZ + 0.2 * s.height) {
            return std::nullopt;
        }
        for (const HalfSpace& h : rock.faces) {
            if (Dot(h.n, c) > h.d + 1e-9 * (1.0 + std::fabs(h.d))) {
                return std::nullopt;
            }
        }
        rock.topCorners.push_back(c);
    }
    for (int k = 0; k < n; ++k) {
        const CPoint3D e = rock.topCorners[(k + 1) % n] - rock.topCorners[k];
        if (e.Length() < 0.2 * s.radius) {
            return std::nullopt;
        }
    }
    for (const CPoint3D& p : base) {
        maxReach = std::max(maxReach, std::hypot(p.m_dX - s.x, p.m_dY - s.y));
    }
    double topZ = groundZ;
    for (const CPoint3D& c : rock.topCorners) {
        topZ = std::max(topZ, c.m_dZ);
    }
    const double low = groundZ - 0.1 * s.height;
    rock.boundCentre = {s.x, s.y, 0.5 * (low + topZ)};
    rock.boundRadius = std::hypot(maxReach, 0.5 * (topZ - low)) * 1.001 + 1e-6;
    rock.albedo = rng.Uniform(0.38, 0.6);
    rock.seed = rng.Next();
    return rock;
}

SceneHit Scene::Trace(const CPoint3D& o, const CPoint3D& d) const {
    SceneHit hit;
    hit.rock = -2;
    hit.t = kInf;
    if (d.m_dZ < 0.0) {
        const double t = (m_dGroundZ - o.m_dZ) / d.m_dZ;
        if (t > 0.0) {
            hit.t = t;
            hit.rock = -1;
            hit.normal = kZAxis;
        }
    }
    for (size_t i = 0; i < m_vRocks.size(); ++i) {
        double t = 0.0;
        size_t face = 0;
        if (EnterRock(m_vRocks[i], o, d, 0.0, hit.t, t, face)) {
            hit.t = t;
            hit.rock = static_cast<int>(i);
            hit.face = face;
            hit.normal = m_vRocks[i].faces[face].n;
        }
    }
    return hit;
}

bool Scene::Blocked(const CPoint3D& o, const CPoint3D& d, double tMax) const {
    for (const Rock& rock : m_vRocks) {
        double t = 0.0;
        size_t face = 0;
        if (EnterRock(rock, o, d, 0.0, tMax, t, face)) {
            return true;
        }
    }
    return false;
}

double Scene::Radiance(const CPoint3D& o, const CPoint3D& d, double footprint) const {
    const double elevation = d.m_dZ;
    const double skyHorizon = 0.78;
    const double sky = skyHorizon - 0.22 * Smoothstep(0.0, 0.6, elevation);
    const SceneHit hit = Trace(o, d);
    if (hit.rock == -2) {
        return sky;
    }
    const CPoint3D p = o + d * hit.t;
    const CPoint3D sun = m_ptSun.Normalized();
    const double facing = std::max(0.05, std::fabs(Dot(d, hit.normal)));
    const double patch = hit.t * footprint / facing;
    const double cosSun = Dot(hit.normal, sun);
    double light = 0.3;
    if (cosSun > 0.0 && !Blocked(p + hit.normal * 1e-7, sun, kInf)) {
        light += 0.9 * cosSun;
    }
    double albedo = 0.0;
    if (hit.rock == -1) {
        const CPoint3D q{p.m_dX, p.m_dY, 0.0};
        albedo = 0.62 + Fbm(q, m_nSeed, kGroundOctaves, std::size(kGroundOctaves), patch);
        const double pebbles =
            Fbm(q, m_nSeed + 7u, kPebbleOctaves, std::size(kPebbleOctaves), patch);
        albedo -= 0.14 * Smoothstep(0.5, 0.75, pebbles);
    } else {
        const Rock& rock = m_vRocks[hit.rock];
        albedo =
            rock.albedo * (1.0 + Fbm(p, rock.seed, kRockOctaves, std::size(kRockOctaves), patch));
    }
    const double haze = std::exp(-hit.t / m_dHaze);
    return albedo * light * haze + skyHorizon * (1.0 - haze);
}

std::vector<uint8_t> RenderImage(const Scene& scene, const PosedCamera& camera, int width,
                                 int height, int samples) {
    const int n = std::max(1, samples);
    const double blur = kOpticsBlurPx;
    // Texture finer than the sample grid can hold fades out before it is
    // sampled (footprint per sample); the optics then blur what the grid
    // holds, so that what reaches the pixels is smooth enough to be
    // interpolated between them and looks alike from both eyes.
    const double footprint = PixelAngleForCamera(camera.Model().m_nCameraId) * kPi / 180.0 / n;
    // Sample k of pixel i (k = 0..n-1) lies at column i + (k + 0.5) / n - 0.5;
    // the blur takes in reach grid samples beyond the pixel's own.
    const int reach = static_cast<int>(std::ceil(3.0 * blur * n));
    std::vector<double> weights;
    double total = 0.0;
    for (int k = -reach; k < n + reach; ++k) {
        const double offset = (k + 0.5) / n - 0.5;
        weights.push_back(std::exp(-0.5 * offset * offset / (blur * blur)));
        total += weights.back();
    }
    for (double& w : weights) {
        w /= total;
    }
    const int gridWidth = width * n + 2 * reach;
    const int gridHeight = height * n + 2 * reach;
    const auto gridPos = [&](int a) { return (a - reach + 0.5) / n - 0.5; };
    // Radiance on the grid, filtered along each grid row into pixel columns.
    std::vector<float> columns(static_cast<size_t>(gridHeight) * width);
    auto renderRows = [&](int first, int step) {
        std::vector<double> line(static_cast<size_t>(gridWidth));
        for (int b = first; b < gridHeight; b += step) {
            for (int a = 0; a < gridWidth; ++a) {
                line[static_cast<size_t>(a)] =
                    scene.Radiance(camera.Centre(), camera.Ray(gridPos(a), gridPos(b)), footprint);
            }
            for (int i = 0; i < width; ++i) {
                double sum = 0.0;
                for (size_t k = 0; k < weights.size(); ++k) {
                    sum += weights[k] * line[static_cast<size_t>(i) * n + k];
                }
                columns[static_cast<size_t>(b) * width + i] = static_cast<float>(sum);
            }
        }
    };
    std::thread other(renderRows, 1, 2);
    renderRows(0, 2);
    other.join();
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height);
    for (int j = 0; j < height; ++j) {
        for (int i = 0; i < width; ++i) {
            double sum = 0.0;
            for (size_t k = 0; k < weights.size(); ++k) {
                sum += weights[k] * columns[(static_cast<size_t>(j) * n + k) * width + i];
            }
            pixels[static_cast<size_t>(j) * width + i] =
                static_cast<uint8_t>(std::lround(255.0 * std::clamp(sum, 0.0, 1.0)));
        }
    }
    return pixels;
}
