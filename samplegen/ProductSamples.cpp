#include "samplegen/ProductSamples.h"

#include "geometry/CahvorProjection.h"
#include "geometry/Frames.h"
#include "samplegen/SceneLayout.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace {

CQuat UnitAttitude(double yaw, double pitch, double roll) {
    const CQuat q = FromAxisAngleDeg(kZAxis, yaw) * FromAxisAngleDeg(kYAxis, pitch) *
                    FromAxisAngleDeg(kXAxis, roll);
    return q / std::sqrt(q.m_dS * q.m_dS + Dot(q.m_ptVec, q.m_ptVec));
}

std::string Tuple(std::initializer_list<double> values) {
    std::string out = "(";
    for (const double v : values) {
        if (out.size() > 1) {
            out += ",";
        }
        out += ExactNumber(v);
    }
    return out + ")";
}

std::string Tuple(const CPoint3D& p) {
    return Tuple({p.m_dX, p.m_dY, p.m_dZ});
}

std::string Tuple(const CQuat& q) {
    return Tuple({q.m_dS, q.m_ptVec.m_dX, q.m_ptVec.m_dY, q.m_ptVec.m_dZ});
}

std::string Counter(const std::vector<long long>& counter) {
    std::string out = "(";
    for (const long long v : counter) {
        out.append(out.size() > 1 ? "," : "").append(std::to_string(v));
    }
    return out + ")";
}

// PDS3 label text: KEY = VALUE lines, CR LF ended, keys padded as the
// archive's labels pad them.
class LabelWriter {
public:
    void Line(const std::string& key, const std::string& value) {
        std::string k = std::string(static_cast<size_t>(m_indent), ' ') + key;
        k.resize(std::max<size_t>(k.size(), 34), ' ');
        m_text += k + "= " + value + "\r\n";
    }
    void Comment(const std::string& text) { m_text += "\r\n/* " + text + " */\r\n\r\n"; }
    void Begin(const std::string& kind, const std::string& name) {
        Line(kind, name);
        m_indent += 2;
    }
    void End(const std::string& kind, const std::string& name) {
        m_indent -= 2;
        Line("END_" + kind, name);
    }
    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
    int m_indent = 0;
};

} // namespace

// ------------------------------------------------------------ PDS3 products

std::vector<Pds3SampleDefinition> Pds3SampleDefinitions() {
    return {
        {.sourceFolder = "oppy-navcam",
         .folder = "oppy-navcam-pds3",
         .detachedLabel = false,
         .mission = "MER",
         .motionCounter = {137, 0, 0, 13, 7},
         .roverInSite = {14.2875, -3.5125, 0.1625}},
        {.sourceFolder = "msl-navcam-a",
         .folder = "msl-navcam-a-pds3",
         .detachedLabel = true,
         .mission = "MSL",
         .motionCounter = {41, 276, 6, 0, 0, 0, 0, 0, 0, 0},
         .roverInSite = {-27.5, 61.25, -1.375}},
    };
}

ModelParameters PointedModel(const PosedCamera& camera) {
    const CameraModel& model = camera.Model();
    const CQuat head = HeadRotation(model, true);
    const double n = std::sqrt(head.m_dS * head.m_dS + Dot(head.m_ptVec, head.m_ptVec));
    // A unit rotation about the pivot always moves a model.
    return *MoveModel(CatalogueModelParameters(model), {CQuat(), model.m_ptPivot},
                      {head / n, model.m_ptPivot});
}

std::string TwelveBitSamples(const std::vector<uint8_t>& pixels) {
    std::string out(2 * pixels.size(), '\0');
    for (size_t i = 0; i < pixels.size(); ++i) {
        const unsigned v = (pixels[i] * 4095u + 127u) / 255u;
        out[2 * i] = static_cast<char>(v >> 8u);
        out[2 * i + 1] = static_cast<char>(v & 0xffu);
    }
    return out;
}

std::string Pds3MeasuredFile(const Pds3SampleDefinition& definition, const std::string& title) {
    return title + (definition.detachedLabel ? ".LBL" : ".IMG");
}

Pds3ProductFiles MakePds3Product(const Pds3SampleDefinition& definition,
                                 const SamplePairDefinition& pair, const std::string& title,
                                 const PosedCamera& camera, const std::vector<uint8_t>& pixels,
                                 int width, int height) {
    const bool mer = definition.mission == "MER";
    const bool left = title == pair.leftTitle;
    const std::string eye = left ? "LEFT" : "RIGHT";
    const int recordBytes = 2 * width;
    const ModelParameters model = PointedModel(camera);
    const CQuat& attitude = pair.attitude;

    // The label is written twice: its length decides the image's record.
    Pds3ProductFiles files;
    files.labelName = Pds3MeasuredFile(definition, title);
    int labelRecords = 1;
    for (int pass = 0; pass < 2; ++pass) {
        LabelWriter w;
        w.Line("PDS_VERSION_ID", "PDS3");
        w.Comment("FILE DATA ELEMENTS");
        w.Line("RECORD_TYPE", "FIXED_LENGTH");
        w.Line("RECORD_BYTES", std::to_string(recordBytes));
        if (definition.detachedLabel) {
            w.Line("FILE_RECORDS", std::to_string(height));
        } else {
            w.Line("FILE_RECORDS", std::to_string(labelRecords + height));
            w.Line("LABEL_RECORDS", std::to_string(labelRecords));
        }
        w.Comment("POINTERS TO DATA OBJECTS");
        w.Line("^IMAGE", definition.detachedLabel ? "(\"" + title + ".IMG\")"
                                                  : std::to_string(labelRecords + 1));
        w.Comment("IDENTIFICATION DATA ELEMENTS");
        if (mer) {
            w.Line("DATA_SET_ID", "\"MER1-M-NAVCAM-2-EDR-OPS-V1.0\"");
            w.Line("INSTRUMENT_HOST_ID", "\"MER1\"");
            w.Line("INSTRUMENT_HOST_NAME", "\"MARS EXPLORATION ROVER 1\"");
            w.Line("INSTRUMENT_ID", "\"NAVCAM_" + eye + "\"");
            w.Line("MISSION_NAME", "\"MARS EXPLORATION ROVER\"");
        } else {
            w.Line("DATA_SET_ID", "\"MSL-M-NAVCAM-2-EDR-V1.0\"");
            w.Line("INSTRUMENT_HOST_ID", "MSL");
            w.Line("INSTRUMENT_HOST_NAME", "\"MARS SCIENCE LABORATORY\"");
            w.Line("INSTRUMENT_ID", std::string("NAV_") + eye + "_A");
            w.Line("MISSION_NAME", "\"MARS SCIENCE LABORATORY\"");
        }
        w.Line("PRODUCER_INSTITUTION_NAME", "\"RANVISTA SAMPLE GENERATOR\"");
        w.Line("PRODUCT_ID", "\"" + title + "\"");
        w.Line("ROVER_MOTION_COUNTER", Counter(definition.motionCounter));
        w.Line("ROVER_MOTION_COUNTER_NAME",
               mer ? "(SITE,DRIVE,IDD,PMA,HGA)"
                   : "(SITE,DRIVE,POSE,ARM,CHIMRA,DRILL,RSM,HGA,DRT,IC)");
        w.Line("TARGET_NAME", "MARS");

        w.Comment("CAMERA_MODEL DATA ELEMENTS");
        const std::string modelGroup =
            mer ? "GEOMETRIC_CAMERA_MODEL" : "GEOMETRIC_CAMERA_MODEL_PARMS";
        const std::string frame = mer ? "ROVER_FRAME" : "ROVER_NAV_FRAME";
        w.Begin("GROUP", modelGroup);
        w.Line("MODEL_TYPE", "CAHVOR");
        w.Line("MODEL_COMPONENT_ID", "(\"C\",\"A\",\"H\",\"V\",\"O\",\"R\")");
        w.Line("MODEL_COMPONENT_NAME", "(CENTER,AXIS,HORIZONTAL,VERTICAL,OPTICAL,RADIAL)");
        int k = 1;
        for (const CPoint3D& p : {model.c, model.a, model.h, model.v, model.o, model.r}) {
            w.Line("MODEL_COMPONENT_" + std::to_string(k++), Tuple(p));
        }
        w.Line("REFERENCE_COORD_SYSTEM_INDEX", Counter(definition.motionCounter));
        w.Line("REFERENCE_COORD_SYSTEM_NAME", frame);
        w.End("GROUP", modelGroup);

        w.Comment("COORDINATE SYSTEM STATE: ROVER");
        const std::string poseGroup = mer ? "ROVER_COORDINATE_SYSTEM" : "ROVER_COORD_SYSTEM_PARMS";
        w.Begin("GROUP", poseGroup);
        w.Line("COORDINATE_SYSTEM_INDEX", Counter(definition.motionCounter));
        w.Line("COORDINATE_SYSTEM_NAME", frame);
        w.Line("ORIGIN_OFFSET_VECTOR", Tuple(definition.roverInSite));
        w.Line("ORIGIN_ROTATION_QUATERNION", Tuple(attitude));
        w.Line("POSITIVE_AZIMUTH_DIRECTION", "CLOCKWISE");
        w.Line("POSITIVE_ELEVATION_DIRECTION", "UP");
        w.Line("REFERENCE_COORD_SYSTEM_INDEX", std::to_string(definition.motionCounter.front()));
        w.Line("REFERENCE_COORD_SYSTEM_NAME", "SITE_FRAME");
        w.End("GROUP", poseGroup);

        w.Comment("IMAGE DATA ELEMENTS");
        w.Begin("OBJECT", "IMAGE");
        w.Line("INTERCHANGE_FORMAT", "BINARY");
        w.Line("LINES", std::to_string(height));
        w.Line("LINE_SAMPLES", std::to_string(width));
        w.Line("SAMPLE_TYPE", "MSB_INTEGER");
        w.Line("SAMPLE_BITS", "16");
        w.Line("SAMPLE_BIT_MASK", "2#0000111111111111#");
        w.Line("BANDS", "1");
        w.Line("BAND_STORAGE_TYPE", "BAND_SEQUENTIAL");
        w.Line("FIRST_LINE", "1");
        w.Line("FIRST_LINE_SAMPLE", "1");
        w.End("OBJECT", "IMAGE");
        std::string text = w.Text() + "END\r\n";
        if (definition.detachedLabel) {
            files.labelBytes = std::move(text);
            break;
        }
        const int needed = static_cast<int>((text.size() + recordBytes - 1) / recordBytes);
        if (needed == labelRecords || pass == 1) {
            text.resize(static_cast<size_t>(labelRecords) * recordBytes, ' ');
            files.labelBytes = std::move(text);
            break;
        }
        labelRecords = needed;
    }
    const std::string samples = TwelveBitSamples(pixels);
    if (definition.detachedLabel) {
        files.dataName = title + ".IMG";
        files.dataBytes = samples;
    } else {
        files.labelBytes += samples;
    }
    return files;
}

// --------------------------------------------------- Mars 2020-like products

std::optional<ProductSampleCamera> ProductSampleCamera::Make(const ModelParameters& modelInVehicle,
                                                             const CQuat& attitude, int width,
                                                             int height) {
    CameraModelResult made = MakeCameraModel(modelInVehicle);
    if (!made.model) {
        return std::nullopt;
    }
    return ProductSampleCamera(std::move(*made.model), attitude, width, height);
}

CPoint3D ProductSampleCamera::Centre() const {
    return OutputFromVehicleTurned(m_model.Parameters().c, m_attitude);
}

std::optional<Ray> ProductSampleCamera::RayAt(double col, double row) const {
    const auto ray = m_model.PixelToRay({col, row});
    if (!ray) {
        return std::nullopt;
    }
    return OutputRayFromVehicle(*ray, m_attitude);
}

std::optional<ImagePoint> ProductSampleCamera::Project(const CPoint3D& pointInOutput) const {
    return m_model.PointToPixel(VehicleFromOutputTurned(pointInOutput, m_attitude));
}

double ProductSampleCamera::PixelAngle() const {
    const double x = 0.5 * (m_width - 1);
    const double y = 0.5 * (m_height - 1);
    const auto a = RayAt(x, y);
    const auto b = RayAt(x + 1.0, y);
    if (!a || !b) {
        return 1e-3;
    }
    return std::acos(std::clamp(Dot(a->direction, b->direction), -1.0, 1.0));
}

namespace {

// A CAHVORE camera pointed at azimuth az (clockwise from +X) and elevation
// el (up), in the PDS vehicle frame: image columns to the right, lines down;
// the optical axis O tipped off A by a fraction of a degree.
ModelParameters Cahvore(const CPoint3D& c, double azDeg, double elDeg, double focal, double hc,
                        double vc, const CPoint3D& r, const CPoint3D& e, int mtype, double mparm) {
    const double az = azDeg * kPi / 180.0;
    const double el = elDeg * kPi / 180.0;
    ModelParameters m;
    m.type = ModelType::Cahvore;
    m.c = c;
    m.a = {std::cos(el) * std::cos(az), std::cos(el) * std::sin(az), -std::sin(el)};
    const CPoint3D right{-std::sin(az), std::cos(az), 0.0};
    const CPoint3D down = Cross(m.a, right);
    m.h = right * focal + m.a * hc;
    m.v = down * focal + m.a * vc;
    m.o = (m.a + right * 0.004 - down * 0.003).Normalized();
    m.r = r;
    m.e = e;
    m.mtype = mtype;
    m.mparm = mparm;
    return m;
}

// The two eyes of a stereo camera: the right one a baseline to the right of
// the left one, both looking the same way.
std::pair<ModelParameters, ModelParameters>
StereoCameras(const CPoint3D& leftC, double azDeg, double elDeg, double baseline, double focal,
              double hc, double vc, const CPoint3D& r, const CPoint3D& e, int mtype, double mparm) {
    const double az = azDeg * kPi / 180.0;
    const CPoint3D right{-std::sin(az), std::cos(az), 0.0};
    ModelParameters l = Cahvore(leftC, azDeg, elDeg, focal, hc, vc, r, e, mtype, mparm);
    // The right eye's principal point and optics differ a little.
    ModelParameters rr = Cahvore(leftC + right * baseline, azDeg + 0.15, elDeg - 0.1, focal * 1.002,
                                 hc + 3.5, vc - 2.0, r * 1.01, e, mtype, mparm);
    return {l, rr};
}

} // namespace

std::vector<Mars2020SampleDefinition> Mars2020SampleDefinitions() {
    const CQuat attitude = UnitAttitude(-52.0, 4.0, -3.0);
    const CPoint3D roverInSite{12.8213, 60.1509, 0.32331};
    // Fisheye front Hazcams: 1024 x 768 full frames, about 136 degrees across.
    const auto [hazLeft, hazRight] =
        StereoCameras({1.1, -0.124, -0.78}, 2.0, -32.0, 0.248, 400.0, 511.5, 383.5,
                      {0.0, 0.03, -0.006}, {0.001, 0.008, -0.002}, 2, 0.0);
    // Navcams between perspective and fisheye, about 96 degrees across a
    // 2048 x 1536 detector, delivered as a 2048 x 1280 subframe downsampled by 2.
    const auto [navLeft, navRight] =
        StereoCameras({0.95, 0.35, -1.894}, 18.0, -20.0, 0.424, 1180.0, 1023.5, 767.5,
                      {0.0, 0.02, -0.004}, {0.0015, 0.01, -0.004}, 3, 0.4);
    return {
        {.folder = "m20-hazcam",
         .leftTitle = "FLF_0672_0726598318_745ECM_N0320604FHAZ00102_01_095J01",
         .rightTitle = "FRF_0672_0726598318_745ECM_N0320604FHAZ00102_01_095J01",
         .leftInstrument = "FRONT_HAZCAM_LEFT_A",
         .rightInstrument = "FRONT_HAZCAM_RIGHT_A",
         .leftFullFrame = hazLeft,
         .rightFullFrame = hazRight,
         .detectorWidth = 1024,
         .detectorHeight = 768,
         .subframe = {1.0, 1.0, 1.0},
         .width = 1024,
         .height = 768,
         .attitude = attitude,
         .roverInSite = roverInSite,
         .site = 32,
         .drive = 604,
         .sol = 672,
         .groundZ = -0.05,
         .nearDist = 1.3,
         .farDist = 9.0,
         .rockCount = 52,
         .sizeMin = 0.035,
         .sizeMax = 0.07,
         .seed = 51,
         .bands = {4.0, 6.5}},
        {.folder = "m20-navcam",
         .leftTitle = "NLF_0672_0726598021_113ECM_N0320604NCAM00709_01_295J01",
         .rightTitle = "NRF_0672_0726598021_113ECM_N0320604NCAM00709_01_295J01",
         .leftInstrument = "NAVCAM_LEFT",
         .rightInstrument = "NAVCAM_RIGHT",
         .leftFullFrame = navLeft,
         .rightFullFrame = navRight,
         .detectorWidth = 2048,
         .detectorHeight = 1536,
         .subframe = {1.0, 257.0, 2.0},
         .width = 1024,
         .height = 640,
         .attitude = attitude,
         .roverInSite = roverInSite,
         .site = 32,
         .drive = 604,
         .sol = 672,
         .groundZ = -0.05,
         .nearDist = 3.0,
         .farDist = 24.0,
         .rockCount = 36,
         .sizeMin = 0.03,
         .sizeMax = 0.06,
         .seed = 67,
         .bands = {5.0, 12.0}},
    };
}

ModelParameters DeliveredModel(const Mars2020SampleDefinition& definition, bool right) {
    // The definitions hold valid models and subframes.
    return *AdjustToSubframe(right ? definition.rightFullFrame : definition.leftFullFrame,
                             definition.subframe);
}

namespace {

// Whether camera sees point q of a rock's top face, on that face,
// unobstructed, along the ray of the pixel where q appears.
bool SeesTopFace(const Scene& scene, const ProductSampleCamera& cam, size_t rock,
                 const CPoint3D& q) {
    const auto px = cam.Project(q);
    const auto ray = px ? cam.RayAt(px->x, px->y) : std::nullopt;
    if (!ray) {
        return false;
    }
    const CPoint3D v = q - ray->origin;
    const double dist = v.Length();
    const SceneHit hit = scene.Trace(ray->origin, v / dist);
    return hit.rock == static_cast<int>(rock) && hit.face == scene.m_vRocks[rock].topFace &&
           std::fabs(hit.t - dist) <= 1e-6 * dist;
}

double CornerContrast(const Scene& scene, const ProductSampleCamera& cam, const ImagePoint& px) {
    const double footprint = cam.PixelAngle();
    double lo = 1e300;
    double hi = -1e300;
    for (int k = 0; k < 16; ++k) {
        const double a = 2.0 * kPi * k / 16.0;
        const auto ray = cam.RayAt(px.x + 3.0 * std::cos(a), px.y + 3.0 * std::sin(a));
        if (!ray) {
            return 0.0;
        }
        const double v = scene.Radiance(ray->origin, ray->direction, footprint);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    return hi - lo;
}

LayoutCamera Layout(const Scene& scene, const ProductSampleCamera& cam) {
    LayoutCamera layout;
    layout.centre = cam.Centre();
    layout.width = cam.Width();
    layout.height = cam.Height();
    layout.project = [&cam](const CPoint3D& point) { return cam.Project(point); };
    layout.seesTopFace = [&scene, &cam](size_t rock, const CPoint3D& q) {
        return SeesTopFace(scene, cam, rock, q);
    };
    layout.cornerContrast = [&scene, &cam](const ImagePoint& px) {
        return CornerContrast(scene, cam, px);
    };
    return layout;
}

ProductSampleCamera Camera(const Mars2020SampleDefinition& options, bool right) {
    // The definitions hold valid models.
    return *ProductSampleCamera::Make(DeliveredModel(options, right), options.attitude,
                                      options.width, options.height);
}

} // namespace

Mars2020SamplePair BuildMars2020SamplePair(const Mars2020SampleDefinition& options,
                                           size_t maxPoints) {
    Mars2020SamplePair pair{options, Camera(options, false), Camera(options, true), Scene{}, {}};
    Scene& scene = pair.scene;
    scene.m_dGroundZ = options.groundZ;
    scene.m_nSeed = options.seed;

    const auto look = pair.left.RayAt(0.5 * (options.width - 1), 0.5 * (options.height - 1));
    const double bearing0 = std::atan2(look->direction.m_dY, look->direction.m_dX);
    const auto edge = pair.left.RayAt(0.0, 0.5 * (options.height - 1));
    const double halfView =
        0.8 * std::acos(std::clamp(Dot(edge->direction, look->direction), -1.0, 1.0));
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

uint8_t RenderProductPixel(const Scene& scene, const ProductSampleCamera& camera, int col, int row,
                           int samples) {
    const double footprint = camera.PixelAngle() / samples;
    double sum = 0.0;
    for (int sy = 0; sy < samples; ++sy) {
        for (int sx = 0; sx < samples; ++sx) {
            const double x = col + (sx + 0.5) / samples - 0.5;
            const double y = row + (sy + 0.5) / samples - 0.5;
            if (const auto ray = camera.RayAt(x, y)) {
                sum += scene.Radiance(ray->origin, ray->direction, footprint);
            }
        }
    }
    const double v = std::clamp(sum / (samples * samples), 0.0, 1.0);
    return static_cast<uint8_t>(std::lround(255.0 * v));
}

std::vector<uint8_t> RenderProductImage(const Scene& scene, const ProductSampleCamera& camera,
                                        int samples) {
    const int width = camera.Width();
    const int height = camera.Height();
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height);
    auto renderRows = [&](int first, int step) {
        for (int j = first; j < height; j += step) {
            for (int i = 0; i < width; ++i) {
                pixels[static_cast<size_t>(j) * width + i] =
                    RenderProductPixel(scene, camera, i, j, samples);
            }
        }
    };
    std::thread other(renderRows, 1, 2);
    renderRows(0, 2);
    other.join();
    return pixels;
}

std::string ModelComponentList(const ModelParameters& m) {
    std::string out = Tuple(m.c) + ";" + Tuple(m.a) + ";" + Tuple(m.h) + ";" + Tuple(m.v);
    if (m.type != ModelType::Cahv) {
        out.append(";").append(Tuple(m.o)).append(";").append(Tuple(m.r));
    }
    if (m.type == ModelType::Cahvore) {
        out.append(";").append(Tuple(m.e)).append(";").append(std::to_string(m.mtype));
        out.append(";").append(ExactNumber(m.mparm));
    }
    return out;
}

std::string RawJsonRecord(const Mars2020SampleDefinition& d, bool right) {
    const std::string& title = right ? d.rightTitle : d.leftTitle;
    const ModelParameters model = DeliveredModel(d, right);
    // The feed's image id leaves off the version digits the file name ends in.
    const std::string imageId = title.substr(0, title.size() - 2);
    const auto q = [](const std::string& s) { return std::string("\"").append(s).append("\""); };
    const int fullWidth = static_cast<int>(std::lround(d.width * d.subframe.downsampling));
    const int fullHeight = static_cast<int>(std::lround(d.height * d.subframe.downsampling));
    std::string out = "{\n";
    const auto field = [&out](const std::string& key, const std::string& value, bool last = false) {
        out.append("  \"").append(key).append("\": ").append(value).append(last ? "\n" : ",\n");
    };
    field("credit", q("Ranvista sample generator (synthetic)"));
    field("sol", std::to_string(d.sol));
    field("imageid", q(imageId));
    field("instrument", q(right ? d.rightInstrument : d.leftInstrument));
    field("sample_type", q("Full"));
    field("subframe_rect",
          q(Tuple({d.subframe.firstSample, d.subframe.firstLine, static_cast<double>(fullWidth),
                   static_cast<double>(fullHeight)})));
    field("scale_factor", ExactNumber(d.subframe.downsampling));
    field("dimension", q(Tuple({static_cast<double>(d.width), static_cast<double>(d.height)})));
    field("camera_position", q(Tuple(model.c)));
    field("xyz", q(Tuple(d.roverInSite)));
    field("attitude", q(Tuple(d.attitude)));
    field("site", std::to_string(d.site));
    field("drive", std::to_string(d.drive));
    field("camera_model_type", q("CAHVORE"));
    field("camera_model_component_list", q(ModelComponentList(model)), true);
    return out + "}\n";
}
