// Raw-image JSON records: real Mars 2020 sidecars beside images, feed pages
// holding many records, numbers as strings, tuples re-serialised as arrays,
// unknown values, and images that no longer match their record.
#include "ProductFixtures.h"
#include "products/ProductReader.h"
#include "stereo/ProductStereo.h"

#include <gtest/gtest.h>

using namespace product_test;

namespace {

std::string PngHeader(unsigned w, unsigned h) {
    std::string s = "\x89PNG\r\n\x1a\n";
    s += std::string("\0\0\0\x0d", 4) + "IHDR";
    for (unsigned v : {w, h}) {
        s += static_cast<char>(v >> 24);
        s += static_cast<char>(v >> 16);
        s += static_cast<char>(v >> 8);
        s += static_cast<char>(v);
    }
    s += std::string("\x08\x00\x00\x00\x00", 5) + std::string(40, '\0');
    return s;
}

std::string JpegHeader(unsigned w, unsigned h) {
    std::string s = "\xFF\xD8";
    s += "\xFF\xE0" + std::string("\x00\x06", 2) + "JFIF"; // APP0, 4 bytes of data
    s += "\xFF\xC0" + std::string("\x00\x11\x08", 3);      // SOF0, 8-bit
    s += static_cast<char>(h >> 8);
    s += static_cast<char>(h);
    s += static_cast<char>(w >> 8);
    s += static_cast<char>(w);
    return s + std::string(20, '\0');
}

const char* kNavLeft = "NLF_0670_0726421423_362ECM_N0320604NCAM08111_01_095J01";
const char* kNavRight = "NRF_0731_0731848568_991ECM_N0361610NCAM12731_04_195J01";

// One M20 feed record in the feed's own shape: camera and extended objects,
// numbers as strings.
std::string FeedRecord(const std::string& id, const std::string& model, const std::string& scale) {
    return R"J({"imageid": ")J" + id + R"J(", "sol": "12", "site": 3, "drive": "140",
      "attitude": "(0.6,0.0,0.0,0.8)",
      "camera": {"instrument": "NAVCAM_RIGHT", "camera_model_type": "CAHVOR",
                 "camera_model_component_list": ")J" +
           model + R"J("},
      "extended": {"xyz": "(1.5,-2.0,0.25)", "subframeRect": "(1,961,1280,960)",
                   "scaleFactor": ")J" +
           scale + R"J(", "dimension": "(640,480)"}})J";
}

const std::string kCahvor = "(1,2,3);(1,0,0);(10.5,640,0);(8.5,0,640);(1,0,0);(0.0,0.01,-0.001)";

} // namespace

TEST(RawImageRecord, RealMars2020SidecarsGiveTheModelSizeAndSubframeOfTheirImage) {
    TempDir dir;
    WriteFile(dir / (std::string(kNavLeft) + ".png"), PngHeader(1288, 968));
    WriteFile(dir / (std::string(kNavLeft) + "-metadata.json"),
              ReadFixture(std::string(kNavLeft) + "-metadata.json"));
    const ProductReadResult r = ReadProduct(dir / (std::string(kNavLeft) + ".png"));
    ASSERT_TRUE(r.ok) << r.message;
    const ProductInfo& p = r.product;
    EXPECT_EQ(p.source, "raw-json");
    EXPECT_EQ(p.model.type, ModelType::Cahvore);
    EXPECT_EQ(p.model.v, CPoint3D(-71.0941, 9.0217, 3538));
    EXPECT_EQ(p.model.r, CPoint3D(0.000001736, 0.0501396, -0.0171254));
    EXPECT_EQ(p.model.e, CPoint3D(-0.000000008, 0.00000001, -0.000000029));
    EXPECT_EQ(p.model.mtype, 2);
    EXPECT_EQ(p.model.mparm, 0.0);
    EXPECT_EQ(p.width, 1288);
    EXPECT_EQ(p.height, 968);
    EXPECT_EQ(p.frameIndex, (std::vector<long long>{32, 604}));
    EXPECT_FALSE(p.pose.has_value()) << "this record has no attitude";
    EXPECT_EQ(p.sol, 670);
    EXPECT_EQ(p.eye, "left");
    EXPECT_EQ(p.instrument, "NAVCAM_LEFT");

    // A subframed, downsampled record; the tuple arrives as a JSON array.
    WriteFile(dir / (std::string(kNavRight) + ".png"), PngHeader(1288, 968));
    WriteFile(dir / (std::string(kNavRight) + "-metadata.json"),
              ReadFixture(std::string(kNavRight) + "-metadata.json"));
    const ProductReadResult right = ReadProduct(dir / (std::string(kNavRight) + ".png"));
    ASSERT_TRUE(right.ok) << right.message;
    EXPECT_EQ(right.product.firstSample, 2545);
    EXPECT_EQ(right.product.firstLine, 1);
    EXPECT_EQ(right.product.downsampling, 2.0);
    EXPECT_EQ(right.product.eye, "right");
}

TEST(RawImageRecord, AResizedOrCroppedImageIsRefusedBecauseTheModelNoLongerFitsIt) {
    TempDir dir;
    WriteFile(dir / (std::string(kNavLeft) + ".jpg"), JpegHeader(644, 484));
    WriteFile(dir / (std::string(kNavLeft) + ".json"),
              ReadFixture(std::string(kNavLeft) + "-metadata.json"));
    const ProductReadResult r = ReadProduct(dir / (std::string(kNavLeft) + ".jpg"));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("644 x 484"), std::string::npos) << r.message;
    EXPECT_NE(r.message.find("1288 x 968"), std::string::npos) << r.message;
    WriteFile(dir / (std::string(kNavLeft) + ".jpg"), JpegHeader(1288, 968));
    EXPECT_TRUE(ReadProduct(dir / (std::string(kNavLeft) + ".jpg")).ok);
    WriteFile(dir / "lonely.png", PngHeader(10, 10));
    const ProductReadResult lonely = ReadProduct(dir / "lonely.png");
    EXPECT_FALSE(lonely.ok);
    EXPECT_NE(lonely.message.find("no JSON record"), std::string::npos) << lonely.message;
}

TEST(RawImageRecord, AFeedPageIsSearchedByImageIdAndItsStringNumbersAndNestedFieldsAreRead) {
    const std::string page = R"({"images": [)" + FeedRecord("NRE_0012_0667_OTHER", kCahvor, "1") +
                             "," + FeedRecord("NRE_0012_0667_WANTED", kCahvor, "UNK") + "]}";
    const ProductReadResult r = ReadRawJsonText(page, "page.json", "NRE_0012_0667_WANTED01");
    ASSERT_TRUE(r.ok) << r.message;
    const ProductInfo& p = r.product;
    EXPECT_EQ(p.productId, "NRE_0012_0667_WANTED");
    EXPECT_EQ(p.model.type, ModelType::Cahvor);
    EXPECT_EQ(p.model.h, CPoint3D(10.5, 640, 0));
    EXPECT_EQ(p.sol, 12);
    EXPECT_EQ(p.frameIndex, (std::vector<long long>{3, 140})) << "a drive given as a string";
    ASSERT_TRUE(p.pose.has_value());
    EXPECT_EQ(p.pose->site, 3);
    EXPECT_EQ(p.pose->roverToSite.offset, CPoint3D(1.5, -2.0, 0.25));
    EXPECT_EQ(p.pose->roverToSite.rotation.m_ptVec.m_dZ, 0.8);
    EXPECT_EQ(p.firstLine, 961);
    EXPECT_EQ(p.downsampling, 1.0) << "an UNK scale factor is no scale factor";
    EXPECT_EQ(p.width, 640);
    EXPECT_EQ(p.eye, "right");

    const ProductReadResult missing = ReadRawJsonText(page, "page.json", "NLF_NOT_THERE");
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.message.find("no record for NLF_NOT_THERE"), std::string::npos);
}

TEST(RawImageRecord, ToolReserialisedArraysReadLikeTheFeedsTupleStrings) {
    const std::string record = R"({"imageid": "X", "site": 7, "drive": 12,
        "camera_model_component_list": [[1,2,3],[1,0,0],[10.5,640,0],[8.5,0,640]],
        "attitude": [0.6, 0, 0, 0.8], "xyz": ["1.5", "2", "3"], "subframe_rect": [1, 1, 1024, 1024],
        "dimension": [1024, 1024], "scale_factor": 1, "instrument": "NAV_LEFT_B"})";
    const ProductReadResult r = ReadRawJsonText(record, "x.json", "X");
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.product.model.type, ModelType::Cahv);
    EXPECT_EQ(r.product.model.v, CPoint3D(8.5, 0, 640));
    ASSERT_TRUE(r.product.pose.has_value());
    EXPECT_EQ(r.product.pose->roverToSite.offset, CPoint3D(1.5, 2, 3));
    EXPECT_EQ(r.product.width, 1024);
}

TEST(RawImageRecord, RecordsWithoutAUsableModelAreRefusedWithTheReason) {
    const struct {
        std::string model;
        const char* expect;
    } cases[] = {
        {R"J("UNK")J", "no camera model"},
        {R"J("(1,2,3);(1,0,0);(1,2,3);(1,2,3);(1,0,0)")J", "5 parts"},
        {R"J("(1,2,3);(1,0,0);(1,2);(1,2,3)")J", "part 3 (H) is not three numbers"},
        {R"J("(1,2,3);(1,0,0);(1,2,x);(1,2,3)")J", "part 3 (H)"},
        {R"J("(1,2,3);(1,0,0);(1,2,3);(1,2,3);(1,0,0);(0,0,0);(0,0,0);7;0")J", "MTYPE"},
        {R"J("(1,2,3);(1,0,0);(1,2,3);(1,2,3);(1,0,0);(0,0,0);(0,0,0);3;UNK")J", "MPARM"},
    };
    for (const auto& c : cases) {
        const std::string record =
            R"({"imageid": "X", "camera_model_component_list": )" + c.model + "}";
        const ProductReadResult r = ReadRawJsonText(record, "x.json", "X");
        EXPECT_FALSE(r.ok) << c.model;
        EXPECT_NE(r.message.find(c.expect), std::string::npos) << c.model << " -> " << r.message;
    }
    const ProductReadResult mismatch = ReadRawJsonText(
        R"J({"camera_model_type": "CAHVORE", "camera_model_component_list": "(1,2,3);(1,0,0);(1,2,3);(1,2,3)"})J",
        "x.json", "X");
    EXPECT_FALSE(mismatch.ok);
    EXPECT_NE(mismatch.message.find("does not match"), std::string::npos) << mismatch.message;
    EXPECT_NE(ReadRawJsonText("{\"a\": [1, 2", "x.json", "X").message.find("not valid JSON"),
              std::string::npos);
    const ProductReadResult badPose = ReadRawJsonText(
        R"J({"site": 1, "attitude": "(2,0,0,0)", "xyz": "(0,0,0)",
            "camera_model_component_list": "(1,2,3);(1,0,0);(1,2,3);(1,2,3)"})J",
        "x.json", "X");
    ASSERT_TRUE(badPose.ok);
    EXPECT_FALSE(badPose.product.pose.has_value()) << "a non-unit attitude is not a pose";
}

TEST(RawImageRecord, AnUnknownPositionIsMarkedAndASizeFollowsFromTheSubframeWithoutADimension) {
    const ProductReadResult r = ReadRawJsonText(
        R"J({"site": 4, "attitude": "(1,0,0,0)", "xyz": "(0.0,0.0,0.0)", "scale_factor": "2",
            "subframe_rect": "(1,1,1024,1024)",
            "camera_model_component_list": "(1,2,3);(1,0,0);(1,2,3);(1,2,3)"})J",
        "x.json", "X");
    ASSERT_TRUE(r.ok) << r.message;
    ASSERT_TRUE(r.product.pose.has_value());
    EXPECT_FALSE(r.product.pose->offsetKnown) << "(0,0,0) means the position is unknown";
    EXPECT_EQ(r.product.width, 512);
    EXPECT_EQ(r.product.height, 512);
    const ProductReadResult huge = ReadRawJsonText(
        R"J({"site": 1e300, "drive": -4e200, "attitude": "(1,0,0,0)", "xyz": "(1,2,3)",
            "camera_model_component_list": "(1,2,3);(1,0,0);(1,2,3);(1,2,3)"})J",
        "x.json", "X");
    ASSERT_TRUE(huge.ok) << huge.message;
    EXPECT_FALSE(huge.product.pose.has_value()) << "a site that is no site number gives no pose";
    EXPECT_TRUE(huge.product.frameIndex.empty());
}

TEST(RawImageRecord, AResizedImageStillGivesItsCameraForMeasuringAndTheMismatchIsSaid) {
    TempDir dir;
    const std::string image = dir / (std::string(kNavLeft) + ".jpg");
    WriteFile(image, JpegHeader(644, 484));
    WriteFile(dir / (std::string(kNavLeft) + "-metadata.json"),
              ReadFixture(std::string(kNavLeft) + "-metadata.json"));
    const ProductCameraResult r = ReadProductCamera(image);
    ASSERT_TRUE(r.camera) << r.message;
    EXPECT_EQ(r.camera->width, 1288);
    const std::string said = ModelSizeMismatch(image, *r.camera);
    EXPECT_NE(said.find(std::string(kNavLeft) + ".jpg is 644 x 484"), std::string::npos) << said;
    EXPECT_NE(said.find("1288 x 968"), std::string::npos) << said;
    // The record given for its image checks the image beside it.
    const std::string record = dir / (std::string(kNavLeft) + "-metadata.json");
    const ProductCameraResult viaRecord = ReadProductCamera(record);
    ASSERT_TRUE(viaRecord.camera) << viaRecord.message;
    EXPECT_NE(ModelSizeMismatch(record, *viaRecord.camera).find("644 x 484"), std::string::npos);
}

TEST(RawImageRecord, AChosenRecordOrBareDataFileOpensTheImageOrLabelThatGoesWithIt) {
    TempDir dir;
    const std::string image = dir / (std::string(kNavLeft) + ".png");
    WriteFile(image, PngHeader(1288, 968));
    const std::string sidecar = dir / (std::string(kNavLeft) + "-metadata.json");
    WriteFile(sidecar, ReadFixture(std::string(kNavLeft) + "-metadata.json"));
    EXPECT_EQ(ImageFileToOpen(sidecar), image);
    EXPECT_EQ(ImageFileToOpen(image), image);
    // A record saved under another name finds the image its id names.
    const std::string saved = dir / "record.json";
    WriteFile(saved, ReadFixture(std::string(kNavLeft) + "-metadata.json"));
    EXPECT_EQ(ImageFileToOpen(saved), image);
    // A record whose image is not there stays what it is: opening it says why.
    const std::string orphan = dir / "orphan.json";
    WriteFile(orphan, ReadFixture(std::string(kNavRight) + "-metadata.json"));
    EXPECT_EQ(ImageFileToOpen(orphan), orphan);
    // The pixels of a detached label open through the label.
    WriteFile(dir / "pair.lbl", MiniPds3("^IMAGE = 1", "LINES = 2\nLINE_SAMPLES = 2\n"));
    WriteFile(dir / "pair.img", std::string(8, '\0'));
    EXPECT_EQ(ImageFileToOpen(dir / "pair.img"), dir / "pair.lbl");
    EXPECT_EQ(ImageFileToOpen(dir / "pair.lbl"), dir / "pair.lbl");
    // An attached label opens as it is, even with a label file beside it.
    WriteFile(dir / "attached.IMG", MiniPds3("^IMAGE = 2", "LINES = 1\n"));
    WriteFile(dir / "attached.LBL", MiniPds3("^IMAGE = 1", "LINES = 1\n"));
    EXPECT_EQ(ImageFileToOpen(dir / "attached.IMG"), dir / "attached.IMG");
}
