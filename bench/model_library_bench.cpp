// Our product camera models beside the missions' camera-model library (the
// C "cmod" functions, compiled from a local copy with the flags we use):
// pixel -> ray and point -> pixel for CAHV, CAHVOR and CAHVORE, then the time
// of each of ours as a fraction of the library's. Before timing, both are
// compared over a grid of pixels and points: the largest difference in pixels
// and in ray direction is printed.
#include "geometry/CahvorProjection.h"
#include "geometry/CameraModel.h"
#include "geometry/ProductModels.h"
#include "tests/support/ReferenceModels.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

extern "C" {
#include "cmod_cahv.h"
#include "cmod_cahvor.h"
#include "cmod_cahvore.h"
}

namespace {

using reference_models::M20Navcam;

ModelParameters OppyNavLeft(ModelType type) {
    ModelParameters p = CatalogueModelParameters(CameraModel(0));
    p.type = type;
    return p;
}

// The model's vectors as the library takes them.
struct LibraryModel {
    double c[3], a[3], h[3], v[3], o[3], r[3], e[3];
    int mtype;
    double mparm;

    explicit LibraryModel(const ModelParameters& p) : mtype(p.mtype), mparm(p.mparm) {
        const auto put = [](const CPoint3D& from, double* to) {
            to[0] = from.m_dX;
            to[1] = from.m_dY;
            to[2] = from.m_dZ;
        };
        put(p.c, c);
        put(p.a, a);
        put(p.h, h);
        put(p.v, v);
        put(p.o, o);
        put(p.r, r);
        put(p.e, e);
    }
};

// One library call per model type, in each direction.
struct LibraryRay {
    double origin[3];
    double direction[3];
};

LibraryRay LibraryPixelToRay(ModelType type, const LibraryModel& m, const ImagePoint& px) {
    const double pos2[2] = {px.x, px.y};
    LibraryRay ray{};
    switch (type) {
    case ModelType::Cahv:
        cmod_cahv_2d_to_3d(pos2, m.c, m.a, m.h, m.v, ray.origin, ray.direction, nullptr);
        break;
    case ModelType::Cahvor:
        cmod_cahvor_2d_to_3d(pos2, m.c, m.a, m.h, m.v, m.o, m.r, 0, ray.origin, ray.direction,
                             nullptr);
        break;
    case ModelType::Cahvore:
        cmod_cahvore_2d_to_3d(pos2, m.mtype, m.mparm, m.c, m.a, m.h, m.v, m.o, m.r, m.e, 0,
                              ray.origin, ray.direction, nullptr, nullptr);
        break;
    }
    return ray;
}

ImagePoint LibraryPointToPixel(ModelType type, const LibraryModel& m, const CPoint3D& p) {
    const double pos3[3] = {p.m_dX, p.m_dY, p.m_dZ};
    double range = 0.0;
    double pos2[2] = {0.0, 0.0};
    switch (type) {
    case ModelType::Cahv:
        cmod_cahv_3d_to_2d(pos3, m.c, m.a, m.h, m.v, &range, pos2, nullptr);
        break;
    case ModelType::Cahvor:
        cmod_cahvor_3d_to_2d(pos3, m.c, m.a, m.h, m.v, m.o, m.r, 0, &range, pos2, nullptr);
        break;
    case ModelType::Cahvore:
        cmod_cahvore_3d_to_2d(pos3, m.mtype, m.mparm, m.c, m.a, m.h, m.v, m.o, m.r, m.e, 0, &range,
                              pos2, nullptr);
        break;
    }
    return {pos2[0], pos2[1]};
}

struct Case {
    const char* name;
    ModelParameters params;
    double width;
    double height;
};

std::vector<Case> Cases() {
    ModelParameters general = M20Navcam();
    general.mtype = 3;
    general.mparm = 0.37;
    general.e = {0.002, -0.001, 0.0005};
    return {{"CAHV", OppyNavLeft(ModelType::Cahv), 1024, 1024},
            {"CAHVOR", OppyNavLeft(ModelType::Cahvor), 1024, 1024},
            {"CAHVORE", M20Navcam(), 5120, 3840},
            {"CAHVORE L=0.37, pupil", general, 5120, 3840}};
}

// Largest differences between ours and the library's over a grid of pixels
// and of points along our rays.
void PrintAgreement() {
    std::printf("Agreement with the library (grid of 41 x 31 pixels, points 0.5 to 50 m):\n");
    for (const Case& c : Cases()) {
        const ProductCameraModel ours = *MakeCameraModel(c.params).model;
        const LibraryModel lib(c.params);
        const double focal = DeriveValues(c.params).hs;
        double rayAngle = 0.0;
        double origin = 0.0;
        double pixel = 0.0;
        int refused = 0;
        for (int j = 0; j <= 30; ++j) {
            for (int i = 0; i <= 40; ++i) {
                const ImagePoint px{c.width * i / 40.0, c.height * j / 30.0};
                const auto ray = ours.PixelToRay(px);
                if (!ray) {
                    ++refused;
                    continue;
                }
                const LibraryRay theirs = LibraryPixelToRay(c.params.type, lib, px);
                const CPoint3D dir =
                    CPoint3D(theirs.direction[0], theirs.direction[1], theirs.direction[2])
                        .Normalized();
                const CPoint3D start(theirs.origin[0], theirs.origin[1], theirs.origin[2]);
                rayAngle = std::max(rayAngle, (dir - ray->direction).Length());
                origin = std::max(origin, (start - ray->origin).Length());
                for (const double distance : {0.5, 5.0, 50.0}) {
                    const CPoint3D point = ray->origin + ray->direction * distance;
                    const auto mine = ours.PointToPixel(point);
                    if (!mine) {
                        continue;
                    }
                    const ImagePoint other = LibraryPointToPixel(c.params.type, lib, point);
                    pixel = std::max(pixel, std::hypot(mine->x - other.x, mine->y - other.y));
                }
            }
        }
        std::printf("  %-22s pixel->ray: direction %.2g (%.2g px at the focal length), "
                    "origin %.2g m; point->pixel %.2g px; %d pixels refused\n",
                    c.name, rayAngle, rayAngle * focal, origin, pixel, refused);
    }
}

// Pixels along a row, as a sweep over an image visits them.
template <class Cast> void SweepPixels(benchmark::State& state, double width, Cast cast) {
    double x = 0.0;
    const double step = width / 611.0;
    for (auto _ : state) {
        cast(ImagePoint{x, 700.0});
        x = x < width ? x + step : 0.0;
    }
}

template <class Project>
void SweepPoints(benchmark::State& state, const ProductCameraModel& m, Project project) {
    std::vector<CPoint3D> points;
    for (int i = 0; i < 64; ++i) {
        const auto ray = m.PixelToRay({i * 16.0, 300.0 + i * 5.0});
        points.push_back(ray->origin + ray->direction * (2.0 + i));
    }
    std::size_t i = 0;
    for (auto _ : state) {
        project(points[i]);
        i = (i + 1) % points.size();
    }
}

void RegisterAll() {
    for (const Case& c : Cases()) {
        const std::string name = c.name;
        const ModelParameters p = c.params;
        const double width = c.width;
        benchmark::RegisterBenchmark((name + " pixel->ray ours").c_str(),
                                     [p, width](benchmark::State& s) {
                                         const ProductCameraModel m = *MakeCameraModel(p).model;
                                         SweepPixels(s, width, [&](const ImagePoint& px) {
                                             benchmark::DoNotOptimize(m.PixelToRay(px));
                                         });
                                     });
        benchmark::RegisterBenchmark(
            (name + " pixel->ray library").c_str(), [p, width](benchmark::State& s) {
                const LibraryModel m(p);
                SweepPixels(s, width, [&](const ImagePoint& px) {
                    benchmark::DoNotOptimize(LibraryPixelToRay(p.type, m, px));
                });
            });
        benchmark::RegisterBenchmark((name + " point->pixel ours").c_str(),
                                     [p](benchmark::State& s) {
                                         const ProductCameraModel m = *MakeCameraModel(p).model;
                                         SweepPoints(s, m, [&](const CPoint3D& pt) {
                                             benchmark::DoNotOptimize(m.PointToPixel(pt));
                                         });
                                     });
        benchmark::RegisterBenchmark(
            (name + " point->pixel library").c_str(), [p](benchmark::State& s) {
                const ProductCameraModel ours = *MakeCameraModel(p).model;
                const LibraryModel m(p);
                SweepPoints(s, ours, [&](const CPoint3D& pt) {
                    benchmark::DoNotOptimize(LibraryPointToPixel(p.type, m, pt));
                });
            });
    }
}

// Keeps each run's time per iteration so that the ratios can be printed.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                m_times[run.benchmark_name()] = run.GetAdjustedCPUTime();
            }
        }
    }

    void PrintRatios() const {
        std::printf("\nOurs as a fraction of the library's time:\n");
        for (const auto& [name, ours] : m_times) {
            const std::string suffix = " ours";
            if (name.size() < suffix.size() ||
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
                continue;
            }
            const std::string op = name.substr(0, name.size() - suffix.size());
            const auto lib = m_times.find(op + " library");
            if (lib != m_times.end() && lib->second > 0.0) {
                std::printf("  %-36s %.2f\n", op.c_str(), ours / lib->second);
            }
        }
    }

private:
    std::map<std::string, double> m_times;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    PrintAgreement();
    RegisterAll();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
