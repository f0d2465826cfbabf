// The kinds of products users download beside the EDRs already read: ODL3
// labels (later MSL products), EDR .IMG files whose model is only in the
// VICAR header inside them, labels without their data, landers' models with
// the lander's pose, resized renditions and damaged products.
#include "geometry/Frames.h"
#include "geometry/ProductModels.h"
#include "products/ProductCamera.h"
#include "products/ProductReader.h"
#include "tests/products/ProductFixtures.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace product_test;

namespace {

constexpr double kDeg = 180.0 / 3.14159265358979323846;

// Azimuth clockwise from +X (0..360) and elevation up, of a direction in a
// frame with +Z down, as labels print them.
std::pair<double, double> AzEl(const CPoint3D& d) {
    double az = std::atan2(d.m_dY, d.m_dX) * kDeg;
    if (az < 0.0) {
        az += 360.0;
    }
    return {az, std::atan2(-d.m_dZ, std::hypot(d.m_dX, d.m_dY)) * kDeg};
}

// The ray through the centre of the image the model fits.
CPoint3D CentreRay(const ProductInfo& p) {
    const CameraModelResult model = MakeCameraModel(p.model);
    EXPECT_TRUE(model.model);
    const auto ray = model.model->PixelToRay({(p.width - 1) / 2.0, (p.height - 1) / 2.0});
    EXPECT_TRUE(ray);
    return ray ? ray->direction.Normalized() : CPoint3D();
}

// p_ref = R(q) p with q = (s, x, y, z), scalar first, written out as the
// product documentation gives it (not through the geometry library).
CPoint3D Rotate(double s, double x, double y, double z, const CPoint3D& p) {
    const double r[3][3] = {
        {s * s + x * x - y * y - z * z, 2 * (x * y - s * z), 2 * (x * z + s * y)},
        {2 * (x * y + s * z), s * s - x * x + y * y - z * z, 2 * (y * z - s * x)},
        {2 * (x * z - s * y), 2 * (y * z + s * x), s * s - x * x - y * y + z * z}};
    return {r[0][0] * p.m_dX + r[0][1] * p.m_dY + r[0][2] * p.m_dZ,
            r[1][0] * p.m_dX + r[1][1] * p.m_dY + r[1][2] * p.m_dZ,
            r[2][0] * p.m_dX + r[2][1] * p.m_dY + r[2][2] * p.m_dZ};
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The real MER Navcam label with its first line replaced.
std::string MerLabel(const std::string& version) {
    std::string text = ReadFixture("2n292280938effb100p0703l0m1.lbl");
    return Replace(text, "PDS_VERSION_ID                    = PDS3", version);
}

} // namespace

TEST(ProductKinds, AnOdl3LabelReadsExactlyAsThePds3LabelItRestates) {
    TempDir dir;
    const std::string pds3 = dir / "2N292280938EFFB100P0703L0M1.LBL";
    const std::string odl3 = dir / "2N292280938EFFB100P0703R0M1.LBL";
    WriteFile(pds3, MerLabel("PDS_VERSION_ID                    = PDS3"));
    WriteFile(odl3, MerLabel("ODL_VERSION_ID                    = ODL3"));
    const ProductReadResult a = ReadProduct(pds3, {false, true});
    const ProductReadResult b = ReadProduct(odl3, {false, true});
    ASSERT_TRUE(a.ok && b.ok) << a.message << b.message;
    EXPECT_EQ(b.product.source, "pds3");
    EXPECT_EQ(b.product.model.h.m_dY, a.product.model.h.m_dY);
    EXPECT_EQ(b.product.frameIndex, a.product.frameIndex);
    ASSERT_TRUE(b.product.pose);
    EXPECT_EQ(b.product.pose->roverToSite.rotation.m_dS, a.product.pose->roverToSite.rotation.m_dS);
    EXPECT_TRUE(CarriesCameraModel(odl3));
    // Lower case, as some tools write it.
    WriteFile(odl3, MerLabel("odl_version_id = ODL3"));
    EXPECT_TRUE(ReadProduct(odl3, {false, true}).ok);
}

TEST(ProductKinds, AnEdrImgWithAnOdl3LabelAndAVicarHeaderOpensDirectly) {
    // The label of a later EDR: ODL3, pointers to the VICAR header and the
    // image inside the same file, and the camera model only in that header
    // (a real MER EDR header, its pixels replaced by a small ramp).
    std::string vicar = ReadFixture("2n295212876fflb1dnp1950l0m1.vicar");
    const std::size_t lblsize = static_cast<std::size_t>(std::stoul(vicar.substr(8)));
    ASSERT_EQ(lblsize, 7u * 2048u);
    vicar.resize(lblsize, ' '); // the fixture keeps the header's text only
    const std::string odl = PadTo("ODL_VERSION_ID = ODL3\r\n"
                                  "RECORD_TYPE = FIXED_LENGTH\r\n"
                                  "RECORD_BYTES = 2048\r\n"
                                  "^IMAGE_HEADER = 2\r\n"
                                  "^IMAGE = 9\r\n"
                                  "INSTRUMENT_ID = \"NAV_LEFT_B\"\r\n"
                                  "OBJECT = IMAGE\r\n"
                                  "  LINES = 4\r\n"
                                  "  LINE_SAMPLES = 8\r\n"
                                  "  SAMPLE_TYPE = MSB_INTEGER\r\n"
                                  "  SAMPLE_BITS = 16\r\n"
                                  "  SAMPLE_BIT_MASK = 2#0000111111111111#\r\n"
                                  "END_OBJECT = IMAGE\r\n"
                                  "END\r\n",
                                  2048);
    const std::string header = vicar;
    TempDir dir;
    const std::string img = dir / "NLB_701383954EDR_F0933408NCAM00200M1.IMG";
    WriteFile(img, odl + header + Ramp16(8, 4));
    const std::string alone = dir / "header.vicar";
    WriteFile(alone, vicar + Ramp16(1024, 1)); // too short for its image, but its model reads

    const ProductReadResult r = ReadProduct(img);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.product.source, "pds3");
    ASSERT_TRUE(r.product.pixels);
    EXPECT_EQ(r.product.pixels->width, 8);
    EXPECT_EQ(r.product.pixels->samples[9], (1 + 3) & 0xfff);
    // The same model as the header read on its own.
    const ProductReadResult v = ReadProduct(alone, {false, true});
    ASSERT_TRUE(v.ok) << v.message;
    EXPECT_EQ(r.product.model.c.m_dX, v.product.model.c.m_dX);
    EXPECT_EQ(r.product.model.v.m_dZ, v.product.model.v.m_dZ);
    EXPECT_EQ(r.product.frame, v.product.frame);
    EXPECT_TRUE(CarriesCameraModel(img));
    EXPECT_EQ(ImageFileToOpen(img), img) << "an attached label opens as it is";
}

TEST(ProductKinds, ARealPds4LabelAloneGivesItsModelAndReproducesItsOwnPointing) {
    TempDir dir;
    const std::string name = "NLF_0629_0722782785_631ECM_N0301344NCAM00427_06_095J01.xml";
    const std::string xml = dir / name;
    WriteFile(xml, ReadFixture(name));
    const ProductReadResult r = ReadProduct(xml, {false, true});
    ASSERT_TRUE(r.ok) << r.message;
    ASSERT_FALSE(r.product.notes.empty());
    EXPECT_NE(r.product.notes.back().find("NCAM00427_06_095J01.IMG is not beside it: the camera "
                                          "model is read from the label alone"),
              std::string::npos)
        << r.product.notes.back();
    EXPECT_TRUE(ReadProductCamera(xml).camera);
    // The label's derived geometry is that of the full-frame detector centre
    // (2559.5, 1919.5), here in a subframe from sample 1273, line 953.
    const CameraModelResult model = MakeCameraModel(r.product.model);
    ASSERT_TRUE(model.model);
    const auto ray = model.model->PixelToRay({2559.5 - 1272.0, 1919.5 - 952.0});
    ASSERT_TRUE(ray);
    const CPoint3D d = ray->direction.Normalized();
    const auto [az, el] = AzEl(d);
    EXPECT_NEAR(az, 110.554, 1e-3);
    EXPECT_NEAR(el, -10.0659, 1e-3);
    ASSERT_TRUE(r.product.pose);
    const auto [siteAz, siteEl] = AzEl(VectorToReference(r.product.pose->roverToSite, d));
    EXPECT_NEAR(siteAz - 360.0, -50.247, 1e-3);
    EXPECT_NEAR(siteEl, -7.87312, 1e-3);
    // Its pixels need the data file: refused, naming it.
    const ProductReadResult image = ReadProduct(xml);
    EXPECT_FALSE(image.ok);
    EXPECT_NE(image.message.find("is not beside it"), std::string::npos) << image.message;
}

// A real Mars 2020 Hazcam RDR (radiance, three bands of 15-bit samples) as
// the archive publishes it: an ODL3 label with CR LF lines attached to the
// .IMG, a VICAR header the label points at, then the pixels. The model's
// frame is indexed by (site, drive, pose) and the rover's pose by the whole
// motion counter: the same frame, so the pose is used. The ray through the
// image centre (the detector centre: full frame, downsampled by 4) is the
// label's derived rover-frame and site-frame pointing.
TEST(ProductKinds, ARealMars2020RdrWithItsAttachedLabelGivesItsPoseAndReproducesItsPointing) {
    const std::string name = "FLF_0711_0730074611_304RAD_N0332864FHAZ00206_0A0295J01";
    std::string label = ReadFixture(name + ".LBL");
    ASSERT_LT(label.size(), 13u * 2560u);
    label.resize(13 * 2560, ' ');
    const std::string header(8 * 2560, ' ');
    std::string pixels(3u * 960u * 1280u * 2u, '\0');
    for (std::size_t i = 0; i < pixels.size(); i += 2) {
        pixels[i] = static_cast<char>((i / 2) % 97); // big-endian, under the 15-bit mask
    }
    TempDir dir;
    const std::string img = dir / (name + ".IMG");
    WriteFile(img, label + header + pixels);

    const ProductReadResult r = ReadProduct(img);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.product.width, 1280);
    EXPECT_EQ(r.product.height, 960);
    EXPECT_EQ(r.product.frame, "ROVER_NAV_FRAME");
    EXPECT_EQ(r.product.frameIndex, (std::vector<long long>{33, 2864, 52}));
    ASSERT_TRUE(r.product.pose) << (r.product.notes.empty() ? "" : r.product.notes.back());
    EXPECT_EQ(r.product.pose->site, 33);
    EXPECT_EQ(r.product.pose->roverToSite.offset, CPoint3D(254.136, -335.623, -42.4607));

    const CPoint3D d = CentreRay(r.product);
    const auto [az, el] = AzEl(d);
    EXPECT_NEAR(az, 348.694, 1e-3);
    EXPECT_NEAR(el, -25.8556, 1e-3);
    const auto [siteAz, siteEl] = AzEl(VectorToReference(r.product.pose->roverToSite, d));
    EXPECT_NEAR(siteAz, 266.282, 1e-3);
    EXPECT_NEAR(siteEl, -24.0619, 1e-3);
}

// Two real MSL Mastcam RDR labels (PDS3, CAHV in ROVER_NAV_FRAME, from the
// test data of a public planetary library). Their rover pose names its site
// only as the SITE counter of the rover frame's own index; with it the site
// frame is known, and the model's axis (the principal point's ray) turned
// into the site frame is the labels' FIXED_INSTRUMENT_AZIMUTH/ELEVATION.
TEST(ProductKinds, RealMastcamLabelsGiveTheirSitePoseAndReproduceTheirFixedPointing) {
    struct Case {
        const char* name;
        int site;
        double azimuth;
        double elevation;
    };
    for (const Case& c : {Case{"2264ML0121141200805116C00_DRCL.LBL", 73, 199.1465, -56.2743},
                          Case{"1664MR0086340000802438C00_DRCL.LBL", 62, 307.6997, -54.6995}}) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string lbl = dir / c.name;
        WriteFile(lbl, ReadFixture(c.name));
        const ProductReadResult r = ReadProduct(lbl, {false, true});
        ASSERT_TRUE(r.ok) << r.message;
        ASSERT_TRUE(r.product.pose);
        EXPECT_EQ(r.product.pose->site, c.site);
        const ModelDerivedValues centre = DeriveValues(r.product.model);
        const CameraModelResult model = MakeCameraModel(r.product.model);
        ASSERT_TRUE(model.model);
        const auto ray = model.model->PixelToRay({centre.hc, centre.vc});
        ASSERT_TRUE(ray);
        const auto [az, el] =
            AzEl(VectorToReference(r.product.pose->roverToSite, ray->direction.Normalized()));
        EXPECT_NEAR(az, c.azimuth, 1e-3);
        EXPECT_NEAR(el, c.elevation, 1e-3);
    }
}

TEST(ProductKinds, APds3LabelAloneGivesItsModelWithANoteButNoPixels) {
    TempDir dir;
    const std::string lbl = dir / "2N292280938EFFB100P0703L0M1.LBL";
    WriteFile(lbl, ReadFixture("2n292280938effb100p0703l0m1.lbl"));
    const ProductReadResult camera = ReadProduct(lbl, {false, true});
    ASSERT_TRUE(camera.ok) << camera.message;
    ASSERT_FALSE(camera.product.notes.empty());
    EXPECT_NE(camera.product.notes.back().find("read from the label alone"), std::string::npos)
        << camera.product.notes.back();
    const ProductReadResult image = ReadProduct(lbl);
    EXPECT_FALSE(image.ok);
    EXPECT_NE(image.message.find("no .IMG beside the label"), std::string::npos) << image.message;
}

namespace {

// A lander product as InSight and Phoenix write them: the model in
// LANDER_FRAME, the lander's pose in SITE_FRAME, and a quaternion whose
// scalar (first) is slightly negative: a turn of almost 180 degrees.
std::string LanderLabel(const std::string& poseGroup, const std::string& quaternion) {
    return "PDS_VERSION_ID = PDS3\n"
           "RECORD_BYTES = 1024\n"
           "^IMAGE = 2\n"
           "INSTRUMENT_ID = \"IDC\"\n"
           "GROUP = GEOMETRIC_CAMERA_MODEL_PARMS\n"
           "  MODEL_TYPE = CAHVOR\n"
           "  MODEL_COMPONENT_1 = (0.92,-0.41,-1.63)\n"
           "  MODEL_COMPONENT_2 = (0.52,0.28,0.80)\n"
           "  MODEL_COMPONENT_3 = (-240.1,1188.0,258.5)\n"
           "  MODEL_COMPONENT_4 = (-1046.9,213.8,524.3)\n"
           "  MODEL_COMPONENT_5 = (0.52,0.28,0.80)\n"
           "  MODEL_COMPONENT_6 = (0.0,-0.14,0.01)\n"
           "  REFERENCE_COORD_SYSTEM_NAME = LANDER_FRAME\n"
           "  REFERENCE_COORD_SYSTEM_INDEX = (1,0)\n"
           "END_GROUP = GEOMETRIC_CAMERA_MODEL_PARMS\n"
           "GROUP = " +
           poseGroup +
           "\n"
           "  ORIGIN_OFFSET_VECTOR = (0.0,0.0,0.0)\n"
           "  ORIGIN_ROTATION_QUATERNION = " +
           quaternion +
           "\n"
           "  REFERENCE_COORD_SYSTEM_NAME = SITE_FRAME\n"
           "  REFERENCE_COORD_SYSTEM_INDEX = 1\n"
           "END_GROUP = " +
           poseGroup +
           "\n"
           "OBJECT = IMAGE\n"
           "  LINES = 4\n  LINE_SAMPLES = 8\n  SAMPLE_TYPE = UNSIGNED_INTEGER\n  SAMPLE_BITS = 8\n"
           "END_OBJECT = IMAGE\n"
           "END\n";
}

} // namespace

TEST(ProductKinds, ALanderModelWithTheLandersPoseIsReadScalarFirstEvenWhenTheScalarIsNegative) {
    // Unit to the six decimals labels print.
    const double s = -0.0037, x = 0.012901, y = -0.002200, z = 0.999908;
    const std::string q = "(-0.0037,0.012901,-0.0022,0.999908)";
    TempDir dir;
    for (const char* group : {"LANDER_COORDINATE_SYSTEM", "LANDER_COORD_SYSTEM_PARMS"}) {
        const std::string img = dir / "D000M0005_597065013EDR_F0000_0461M1.IMG";
        WriteFile(img, PadTo(LanderLabel(group, q), 1024) + std::string(32, '\x40'));
        const ProductReadResult r = ReadProduct(img);
        ASSERT_TRUE(r.ok) << group << ": " << r.message;
        EXPECT_EQ(r.product.frame, "LANDER_FRAME");
        ASSERT_TRUE(r.product.pose) << group;
        EXPECT_EQ(r.product.pose->site, 1);
        const CPoint3D d = CentreRay(r.product);
        const CPoint3D expected = Rotate(s, x, y, z, d);
        const auto [az, el] = AzEl(VectorToReference(r.product.pose->roverToSite, d));
        const auto [wantAz, wantEl] = AzEl(expected);
        EXPECT_NEAR(az, wantAz, 1e-6);
        EXPECT_NEAR(el, wantEl, 1e-6);
        // Almost a half turn about the vertical: the lander frame's
        // azimuth comes out about 180 degrees away in the site frame.
        const double turn = std::fmod(az - AzEl(d).first + 720.0, 360.0);
        EXPECT_NEAR(turn, 180.0, 2.0);
        EXPECT_TRUE(ReadProductCamera(img).camera);
    }
}

TEST(ProductKinds, AResizedRenditionTakesTheScaledModelAndAnyOtherSizeIsRefusedNamingBoth) {
    ProductCamera camera;
    camera.model.type = ModelType::Cahv;
    camera.model.c = {0.9, 0.3, -1.9};
    camera.model.a = {0.92, -0.12, 0.37};
    camera.model.h = {223.3, 1462.5, 5.55};
    camera.model.v = {341.3, -42.6, 1735.5};
    camera.width = 1288;
    camera.height = 968;
    const FittedCamera same = FitCameraToImage("/d/N.png", camera, ImageSize{1288, 968});
    ASSERT_TRUE(same.camera);
    EXPECT_TRUE(same.note.empty());
    EXPECT_EQ(same.camera->model.h.m_dX, camera.model.h.m_dX);

    // The feed's quarter-size rendition: 322 x 242.
    const FittedCamera quarter = FitCameraToImage("/d/N.png", camera, ImageSize{322, 242});
    ASSERT_TRUE(quarter.camera) << quarter.problem;
    EXPECT_NE(quarter.note.find("N.png is 322 x 242 pixels"), std::string::npos) << quarter.note;
    EXPECT_NE(quarter.note.find("scaled by 0.25"), std::string::npos) << quarter.note;
    EXPECT_EQ(quarter.camera->width, 322);
    // A point seen at full-size pixel (x, y) is at ((x + 0.5) s - 0.5, ...)
    // in the rendition: the scaled model says the same.
    const auto full = MakeCameraModel(camera.model);
    const auto small = MakeCameraModel(quarter.camera->model);
    ASSERT_TRUE(full.model && small.model);
    for (const ImagePoint pixel : {ImagePoint{0.0, 0.0}, ImagePoint{1000.0, 700.0}}) {
        const auto ray = full.model->PixelToRay(pixel);
        ASSERT_TRUE(ray);
        const auto seen = small.model->PointToPixel(ray->origin + ray->direction * 10.0);
        ASSERT_TRUE(seen);
        EXPECT_NEAR(seen->x, (pixel.x + 0.5) * 0.25 - 0.5, 1e-9);
        EXPECT_NEAR(seen->y, (pixel.y + 0.5) * 0.25 - 0.5, 1e-9);
    }
    // Rounded to whole pixels, an odd size still counts as the same scale.
    EXPECT_TRUE(FitCameraToImage("/d/N.png", camera, ImageSize{644, 484}).camera);
    // A crop or another aspect: refused, naming both sizes.
    for (const ImageSize other : {ImageSize{1288, 960}, ImageSize{640, 480}}) {
        const FittedCamera refused = FitCameraToImage("/d/N.png", camera, other);
        EXPECT_FALSE(refused.camera);
        EXPECT_NE(refused.problem.find("N.png is " + std::to_string(other.width) + " x " +
                                       std::to_string(other.height) +
                                       " pixels but its camera model is for 1288 x 968"),
                  std::string::npos)
            << refused.problem;
    }
}

TEST(ProductKinds, ADamagedProductGivesItsModelWithANoteNamingTheFileAndTheSizes) {
    TempDir dir;
    const std::string img = dir / "damaged.IMG";
    const std::string label =
        PadTo(MiniPds3("^IMAGE = 2", "  LINES = 4\n  LINE_SAMPLES = 8\n  SAMPLE_TYPE = "
                                     "MSB_INTEGER\n  SAMPLE_BITS = 16\n"),
              1000);
    WriteFile(img, label + Ramp16(8, 2)); // half the lines cut off
    const ProductReadResult camera = ReadProduct(img, {false, true});
    ASSERT_TRUE(camera.ok) << camera.message;
    ASSERT_FALSE(camera.product.notes.empty());
    const std::string& note = camera.product.notes.back();
    EXPECT_NE(note.find(img), std::string::npos) << note;
    EXPECT_NE(note.find("64 bytes from byte 1000 are described, the file has 1032 bytes"),
              std::string::npos)
        << note;
    const ProductReadResult image = ReadProduct(img);
    EXPECT_FALSE(image.ok);
    EXPECT_EQ(image.message, note);
    // Whole, the same product has no such note.
    WriteFile(img, label + Ramp16(8, 4));
    const ProductReadResult whole = ReadProduct(img, {false, true});
    ASSERT_TRUE(whole.ok);
    for (const auto& n : whole.product.notes) {
        EXPECT_EQ(n.find("truncated"), std::string::npos) << n;
    }
}
