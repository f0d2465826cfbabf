// The sample stereo pairs shipped with Ranvista: which cameras, product names
// and poses they use, the scene each one shows, and the ground truth of points
// a user can mark in both images.
#pragma once

#include "samplegen/Scene.h"

#include <string>
#include <vector>

struct SamplePairDefinition {
    std::string folder; // below samples/
    CameraId leftId = -1;
    CameraId rightId = -1;
    std::string leftTitle; // product names, also the image file titles
    std::string rightTitle;
    double azimuth = 0.0; // head pointing of both images, degrees
    double elevation = 0.0;
    CQuat attitude;        // vehicle attitude of both images
    double groundZ = -0.3; // level ground, output frame
    double nearDist = 2.0; // rocks lie this far (horizontally) from the left camera ...
    double farDist = 20.0; // ... up to this
    int rockCount = 30;
    double sizeMin = 0.03; // rock radius per metre of distance
    double sizeMax = 0.06;
    uint32_t seed = 1;
    double bands[2] = {5.0, 10.0}; // range bands of the accuracy report (m)
};

// The three sample pairs: Opportunity Navcam, MSL Navcam A (with a tilted
// vehicle) and Opportunity Pancam for long range.
std::vector<SamplePairDefinition> SamplePairDefinitions();

// The database record of one image of a pair.
ImageRecord SampleRecord(const SamplePairDefinition& options, const std::string& title);

struct TruthPoint {
    CPoint3D point; // output frame, metres
    ImagePoint left;
    ImagePoint right;
};

struct SamplePair {
    SamplePairDefinition options;
    PosedCamera left;
    PosedCamera right;
    Scene scene;
    std::vector<TruthPoint> truth; // sorted by range
};

inline constexpr int kSampleImageSize = 1024;

// Places the rocks and picks the marked points: top corners of rocks that
// both cameras see unobstructed, with the top face turned toward both.
SamplePair BuildSamplePair(const SamplePairDefinition& options, size_t maxPoints = 60);

// Shortest decimal text that reads back as the same double.
std::string ExactNumber(double v);

// truth.csv: header, then one line per point with the image files relative
// to samples/.
std::string TruthCsv(const SamplePair& pair);
// The same for any pair of image files (relative to samples/).
std::string TruthCsv(const std::vector<TruthPoint>& truth, const std::string& leftFile,
                     const std::string& rightFile);
