// The sample pairs as rover image products carry them: the Opportunity
// Navcam pair as PDS3 products with attached labels, the MSL Navcam pair with
// detached labels, and a Mars 2020-like scene seen through CAHVORE cameras
// (a fisheye Hazcam-like pair and a subframed, downsampled Navcam-like pair)
// as PNG images with raw-image JSON records. Each carries its camera model
// and the rover pose, so none needs an image database record.
#pragma once

#include "geometry/FramePose.h"
#include "geometry/ModelParameters.h"
#include "geometry/ProductModels.h"
#include "geometry/Subframe.h"
#include "samplegen/SamplePairs.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// ------------------------------------------------------------ PDS3 products

// A catalogue pair written again as PDS3 products.
struct Pds3SampleDefinition {
    std::string sourceFolder; // the PNG pair it repeats (SamplePairDefinition::folder)
    std::string folder;       // below samples/
    bool detachedLabel = false;
    std::string mission; // "MER" (ROVER_FRAME) or "MSL" (ROVER_NAV_FRAME)
    std::vector<long long> motionCounter;
    CPoint3D roverInSite; // the rover frame's origin in the site frame, metres
};

std::vector<Pds3SampleDefinition> Pds3SampleDefinitions();

// The catalogue camera of a posed image as a product carries it: the model
// turned by the head pointing about the pivot, in the vehicle frame (PDS
// axes: +X forward, +Y right, +Z down).
ModelParameters PointedModel(const PosedCamera& camera);

// 8-bit grey to 12 significant bits in 16-bit words, most significant byte
// first: v * 4095 / 255, rounded.
std::string TwelveBitSamples(const std::vector<uint8_t>& pixels);

// The files of one PDS3 product: the label (with the data appended when the
// label is attached) and, for a detached label, the data file.
struct Pds3ProductFiles {
    std::string labelName; // file names
    std::string labelBytes;
    std::string dataName; // empty for an attached label
    std::string dataBytes;
};

// One image of a pair as a PDS3 product of width x height 12-bit samples.
Pds3ProductFiles MakePds3Product(const Pds3SampleDefinition& definition,
                                 const SamplePairDefinition& pair, const std::string& title,
                                 const PosedCamera& camera, const std::vector<uint8_t>& pixels,
                                 int width, int height);

// The file a measurement opens: the .IMG of an attached label, else the .LBL.
std::string Pds3MeasuredFile(const Pds3SampleDefinition& definition, const std::string& title);

// --------------------------------------------------- Mars 2020-like products

// A camera model in the rover navigation frame with the rover's pose: casts
// rays and projects points in Ranvista's output frame (Z up, the vehicle
// frame turned by the attitude), as a measurement of the product does.
class ProductSampleCamera {
public:
    // None when the model is not valid.
    static std::optional<ProductSampleCamera> Make(const ModelParameters& modelInVehicle,
                                                   const CQuat& attitude, int width, int height);

    const ModelParameters& Model() const { return m_model.Parameters(); }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // C in the output frame.
    CPoint3D Centre() const;
    // The ray of a pixel in the output frame; CAHVORE rays start off C.
    std::optional<Ray> RayAt(double col, double row) const;
    std::optional<ImagePoint> Project(const CPoint3D& pointInOutput) const;
    // Radians between the rays of two neighbouring pixels at the image centre.
    double PixelAngle() const;

private:
    ProductSampleCamera(ProductCameraModel model, const CQuat& attitude, int width, int height)
        : m_model(std::move(model)), m_attitude(attitude), m_width(width), m_height(height) {}

    ProductCameraModel m_model;
    CQuat m_attitude;
    int m_width;
    int m_height;
};

// One Mars 2020-like stereo pair: full-frame calibration models of two eyes,
// the part of the detector delivered, the rover pose and the scene.
struct Mars2020SampleDefinition {
    std::string folder;
    std::string leftTitle; // Mars 2020 raw-image names
    std::string rightTitle;
    std::string leftInstrument; // "FRONT_HAZCAM_LEFT_A", "NAVCAM_LEFT", ...
    std::string rightInstrument;
    ModelParameters leftFullFrame; // rover navigation frame
    ModelParameters rightFullFrame;
    int detectorWidth = 0;
    int detectorHeight = 0;
    SubframeGeometry subframe; // of both images
    int width = 0;             // delivered image
    int height = 0;
    CQuat attitude; // rover to site
    CPoint3D roverInSite;
    int site = 0;
    int drive = 0;
    int sol = 0;
    double groundZ = -0.05; // output frame
    double nearDist = 1.0;
    double farDist = 10.0;
    int rockCount = 30;
    double sizeMin = 0.03;
    double sizeMax = 0.06;
    uint32_t seed = 1;
    double bands[2] = {2.0, 4.0};
};

std::vector<Mars2020SampleDefinition> Mars2020SampleDefinitions();

// A delivered image's model: the full-frame model fitted to the subframe.
ModelParameters DeliveredModel(const Mars2020SampleDefinition& definition, bool right);

struct Mars2020SamplePair {
    Mars2020SampleDefinition options;
    ProductSampleCamera left;
    ProductSampleCamera right;
    Scene scene;
    std::vector<TruthPoint> truth; // sorted by range
};

// Places the rocks and picks the marked points as BuildSamplePair does.
Mars2020SamplePair BuildMars2020SamplePair(const Mars2020SampleDefinition& options,
                                           size_t maxPoints = 60);

// Renders the delivered image as RenderImage does, one product ray per sample
// (samples x samples per pixel); two threads.
std::vector<uint8_t> RenderProductImage(const Scene& scene, const ProductSampleCamera& camera,
                                        int samples);
// One pixel of that image.
uint8_t RenderProductPixel(const Scene& scene, const ProductSampleCamera& camera, int col, int row,
                           int samples);
// The samples per pixel side the generator renders with.
inline constexpr int kProductSamplesPerPixel = 2;

// The raw-image JSON record of one image (written beside it as
// <title>-metadata.json).
std::string RawJsonRecord(const Mars2020SampleDefinition& definition, bool right);

// "(a,b,c);(d,e,f);..." as raw-image records give a model.
std::string ModelComponentList(const ModelParameters& model);
