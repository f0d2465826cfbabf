// Products built to hurt the reader: self-referring names, labels and
// records that nest or repeat without end, sizes and pointers past anything
// a file holds. Each must give a message, never a crash, a hang or an
// allocation the size of the declared image.
#include "ProductFixtures.h"

#include "base/ImageLimits.h"
#include "products/ProductLabel.h"
#include "products/ProductReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using namespace product_test;

namespace {

bool Says(const ProductReadResult& r, const std::string& what) {
    return !r.ok && r.message.find(what) != std::string::npos;
}

// A VICAR header with a CAHV model and NL x NS 16-bit pixels after it.
std::string VicarWithModel(int lines, int samples) {
    std::string label = "LBLSIZE=400  FORMAT='HALF' ORG='BSQ' NL=" + std::to_string(lines) +
                        " NS=" + std::to_string(samples) +
                        " NB=1 NBB=0 NLB=0 RECSIZE=" + std::to_string(2 * samples) +
                        " PROPERTY='GEOMETRIC_CAMERA_MODEL' MODEL_TYPE='CAHV' "
                        "MODEL_COMPONENT_1=(0,0,0) MODEL_COMPONENT_2=(1,0,0) "
                        "MODEL_COMPONENT_3=(2.5,100,0) MODEL_COMPONENT_4=(2,0,100) "
                        "REFERENCE_COORD_SYSTEM_NAME='ROVER_FRAME'";
    label.resize(400, ' ');
    return label;
}

// A VICAR label of these items, LBLSIZE exactly its length.
std::string VicarLabel(const std::string& items) {
    std::string head = "LBLSIZE=" + std::to_string(items.size() + 20);
    head.resize(20, ' ');
    return head + items;
}

std::string Grey16Lines(int lines, int samples) {
    return "  LINES = " + std::to_string(lines) + "\n  LINE_SAMPLES = " + std::to_string(samples) +
           "\n  SAMPLE_TYPE = MSB_UNSIGNED_INTEGER\n  SAMPLE_BITS = 16\n";
}

// Restores the process's image limit however a test ends.
struct ImageLimitScope {
    explicit ImageLimitScope(int mebibytes) { SetImageLimitMiB(mebibytes); }
    ~ImageLimitScope() { SetImageLimitMiB(0); }
    ImageLimitScope(const ImageLimitScope&) = delete;
    ImageLimitScope& operator=(const ImageLimitScope&) = delete;
};

} // namespace

TEST(HostileProducts, AVicarHeaderWithoutAModelNeverReadsItselfAsItsOwnLabel) {
    TempDir dir;
    // 24 bytes named .xml: a VICAR header whose model sibling is itself.
    WriteFile(dir / "self.xml", "LBLSIZE=24          NL=1");
    EXPECT_FALSE(ReadProduct(dir / "self.xml").ok);
    // An image whose .xml sibling is another model-less VICAR header, which
    // in turn names an .xml beside it: one step only.
    const std::string header = "LBLSIZE=40  NL=1 NS=1 FORMAT='BYTE'     ";
    WriteFile(dir / "pair.IMG", header + "x");
    WriteFile(dir / "pair.xml", header + "x");
    const ProductReadResult r = ReadProduct(dir / "pair.IMG");
    EXPECT_TRUE(Says(r, "no camera model")) << r.message;
    EXPECT_FALSE(ReadProduct(dir / "pair.xml").ok);
}

TEST(HostileProducts, JsonNestedDeeperThanAnyRecordIsRefusedBeforeItIsWalked) {
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    for (const char* field : {"instrument", "camera_model_type", "camera_model_component_list"}) {
        const std::string text = std::string("{\"imageid\":\"X\",\"") + field + "\":" + deep + "}";
        const ProductReadResult r = ReadRawJsonText(text, "deep.json", "X");
        EXPECT_TRUE(Says(r, "nested more than 64 levels")) << field << ": " << r.message;
    }
    // Brackets inside strings are text, not nesting.
    const std::string quoted = "{\"imageid\":\"X\",\"caption\":\"" + std::string(1000, '[') + "\"}";
    EXPECT_TRUE(Says(ReadRawJsonText(quoted, "q.json", "X"), "no camera model"));

    TempDir dir;
    WriteFile(dir / "deep.json", "{\"a\":" + deep + "}");
    EXPECT_TRUE(Says(ReadProduct(dir / "deep.json"), "nested"));
}

TEST(HostileProducts, AFeedPageGivesTheRecordOfExactlyThisImageOverOneWhoseIdOnlyBeginsItsName) {
    const std::string name = "NLF_0670_0726421423_362ECM_N0320604NCAM08111_01_095J01";
    std::string exact = ReadFixture(name + "-metadata.json");
    exact.replace(exact.find("\"imageid\": \"") + 12, name.size() - 2, name);
    std::string prefix = ReadFixture(name + "-metadata.json");
    prefix.replace(prefix.find("(0.950849,0.349753,-1.89429);"), 29, "(9.0,9.0,9.0);");
    prefix.replace(prefix.find("\"imageid\": \"") + 12, name.size() - 2, name.substr(0, 8));
    const std::string page = "{\"images\": [" + prefix + "," + exact + "]}";
    const ProductReadResult r = ReadRawJsonText(page, "page.json", name);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_NEAR(r.product.model.c.m_dX, 0.950849, 1e-9);
    // Without an exact record the leading part still finds one.
    const ProductReadResult only = ReadRawJsonText("[" + prefix + "]", "page.json", name);
    ASSERT_TRUE(only.ok) << only.message;
    EXPECT_NEAR(only.product.model.c.m_dX, 9.0, 1e-9);
}

TEST(HostileProducts, LabelsBeyondAnyRealSizeStopWithAMessageAndManyUnitsStayLinear) {
    // Nested blocks whose names add up past the bound.
    std::string nested = "PDS_VERSION_ID = PDS3\n";
    const std::string longName(200, 'B');
    for (int i = 0; i < 4; ++i) {
        nested += "OBJECT = " + longName + "\n";
    }
    const LabelParseResult odlNested = ParseOdlLabel(nested + "X = 1\nEND\n");
    EXPECT_FALSE(odlNested.ok);
    EXPECT_NE(odlNested.message.find("block names longer than 512 bytes"), std::string::npos)
        << odlNested.message;

    std::string many = "PDS_VERSION_ID = PDS3\n";
    for (std::size_t i = 0; i <= kMaxLabelItems; ++i) {
        many += "K = 1\n";
    }
    const LabelParseResult odlMany = ParseOdlLabel(many + "END\n");
    EXPECT_FALSE(odlMany.ok);
    EXPECT_NE(odlMany.message.find("more than 50000 items"), std::string::npos) << odlMany.message;

    std::string vicar;
    for (int i = 0; i < 200000; ++i) {
        vicar += " K=1";
    }
    const LabelParseResult vicarMany = ParseVicarLabel(VicarLabel(vicar));
    EXPECT_FALSE(vicarMany.ok);
    EXPECT_NE(vicarMany.message.find("more than 50000 items"), std::string::npos);

    // Units attach to the last item of their key: one lookup each, so that
    // a label of many of them is read in one pass, each to its own item.
    std::string units;
    for (int i = 0; i < 20000; ++i) {
        units += " K" + std::to_string(i) + "=" + std::to_string(i) + " K" + std::to_string(i) +
                 "__UNIT='u" + std::to_string(i) + "'";
    }
    const LabelParseResult withUnits = ParseVicarLabel(VicarLabel(units));
    ASSERT_TRUE(withUnits.ok) << withUnits.message;
    ASSERT_EQ(withUnits.label.Items().size(), 20001u); // LBLSIZE and the items
    EXPECT_EQ(withUnits.label.Find("", "K19999")->unit, "u19999");
    EXPECT_EQ(withUnits.label.Find("", "K7")->unit, "u7");
}

TEST(HostileProducts, APds4LabelOfEndlessElementsIsRefusedWithItsReason) {
    std::string xml = "<?xml version=\"1.0\"?><Product>";
    for (int i = 0; i < 30000; ++i) {
        xml += "<Coordinate_Space_Definition/>";
    }
    xml += "</Product>";
    const ProductReadResult r = ReadPds4Text(xml, "many.xml");
    EXPECT_TRUE(Says(r, "more than 20000 XML nodes")) << r.message;
    // A real label is far below the bound.
    EXPECT_TRUE(ReadPds4Text(ReadFixture("m20_navcam_cahvore.xml"), "m20.xml").ok);
}

TEST(HostileProducts, PixelsOfPds3AndVicarImagesKeepToTheOneImageLimitBeforeAnythingIsRead) {
    TempDir dir;
    // 1024 x 1024 16-bit pixels: 4 MB shown, over a 2 MB limit.
    const std::string vicar = dir / "big.IMG";
    WriteFile(vicar, VicarWithModel(1024, 1024) + std::string(2u << 20, '\0'));
    const std::string pds3 = dir / "big_pds3.IMG";
    WriteFile(pds3, PadTo(MiniPds3("^IMAGE = 2", Grey16Lines(1024, 1024)), 1000) +
                        std::string(2u << 20, '\0'));
    {
        const ImageLimitScope limit(2);
        for (const std::string& path : {vicar, pds3}) {
            const ProductReadResult r = ReadProduct(path);
            EXPECT_TRUE(Says(r, "too large: 1024")) << r.message;
            EXPECT_NE(r.message.find("RANVISTA_IMAGE_LIMIT_MB"), std::string::npos);
            ProductReadOptions noPixels;
            noPixels.pixels = false;
            EXPECT_TRUE(ReadProduct(path, noPixels).ok); // the model alone is small
        }
    }
    for (const std::string& path : {vicar, pds3}) {
        const ProductReadResult r = ReadProduct(path);
        ASSERT_TRUE(r.ok) << r.message;
        EXPECT_EQ(r.product.pixels->width, 1024);
    }

    // 8 KB on disk, 8 GB declared (a sparse file): refused by the limit,
    // nothing of that size allocated.
    const std::string sparse = dir / "sparse.IMG";
    WriteFile(sparse, PadTo(MiniPds3("^IMAGE = 2", Grey16Lines(65536, 65536)), 1000));
    std::filesystem::resize_file(sparse, 1000 + (std::uintmax_t{8} << 30));
    EXPECT_TRUE(Says(ReadProduct(sparse), "too large: 65536"));
}

TEST(HostileProducts, Pds3PointersFarPastTheFileNeverWrapRoundIntoIt) {
    TempDir dir;
    const std::string pixels = Ramp16(6, 5);
    const std::string image = Grey16Lines(5, 6);
    // (2^54 + 3) records of 1024 bytes is 2^64 + 3072: byte 3072 once wrapped.
    const std::string wrapping =
        PadTo(MiniPds3("^IMAGE = 18014398509481988", image, "RECORD_BYTES = 1024"), 3072);
    WriteFile(dir / "wrap.IMG", wrapping + pixels);
    EXPECT_TRUE(Says(ReadProduct(dir / "wrap.IMG"), "past the end"))
        << ReadProduct(dir / "wrap.IMG").message;
    const std::string beyond = PadTo(MiniPds3("^IMAGE = 9223372036854775807 <BYTES>", image), 1000);
    WriteFile(dir / "beyond.IMG", beyond + pixels);
    const ProductReadResult beyondRead = ReadProduct(dir / "beyond.IMG");
    EXPECT_FALSE(beyondRead.ok);
    // The same label pointing at its real record reads.
    WriteFile(dir / "fine.IMG",
              PadTo(MiniPds3("^IMAGE = 4", image, "RECORD_BYTES = 1024"), 3072) + pixels);
    EXPECT_TRUE(ReadProduct(dir / "fine.IMG").ok) << ReadProduct(dir / "fine.IMG").message;
}

TEST(HostileProducts, RecordsAndLabelsLargerThanTheReaderTakesSaySoInsteadOfBrokenText) {
    TempDir dir;
    const std::string big = dir / "big.json";
    WriteFile(big, "{\"images\": [");
    std::filesystem::resize_file(big, std::uintmax_t{17} << 20);
    const ProductReadResult r = ReadProduct(big);
    EXPECT_TRUE(Says(r, "larger than 16 MB")) << r.message;
    EXPECT_EQ(r.message.find("not valid JSON"), std::string::npos);
}
