// Reading whole products: pointer forms and byte layouts of PDS3 images,
// VICAR images, PDS4 labels with their image, raw images with their JSON
// records, real MER labels around synthetic pixels, and every way a product
// can be unreadable.
#include "ProductFixtures.h"
#include "products/ProductReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace product_test;

namespace {

constexpr int kW = 6;
constexpr int kH = 5;

// The value every synthetic layout encodes: band b of pixel (x, y).
int Value(int x, int y, int b) {
    return x + 10 * y + 100 * b;
}

std::string Encode(std::uint64_t raw, int bytes, bool big) {
    std::string out(static_cast<std::size_t>(bytes), '\0');
    for (int i = 0; i < bytes; ++i) {
        out[static_cast<std::size_t>(big ? bytes - 1 - i : i)] = static_cast<char>(raw >> (8 * i));
    }
    return out;
}

struct Layout {
    const char* sampleType;
    int bits;
    int bands;
    const char* storage;
    int prefix = 0;
    int suffix = 0;
    bool big = true;
    bool real = false;
};

// Pixels of a layout: each value v encoded as the layout's sample type.
std::string Pixels(const Layout& l) {
    auto sample = [&](int v) {
        if (l.real) {
            if (l.bits == 32) {
                const float f = static_cast<float>(v);
                std::uint32_t u = 0;
                std::memcpy(&u, &f, 4);
                return Encode(u, 4, l.big);
            }
            const double d = v;
            std::uint64_t u = 0;
            std::memcpy(&u, &d, 8);
            return Encode(u, 8, l.big);
        }
        return Encode(static_cast<std::uint64_t>(v), l.bits / 8, l.big);
    };
    const std::string pre(static_cast<std::size_t>(l.prefix), 'P');
    const std::string suf(static_cast<std::size_t>(l.suffix), 'S');
    std::string out;
    const std::string storage = l.storage;
    if (storage == "BAND_SEQUENTIAL") {
        for (int b = 0; b < l.bands; ++b) {
            for (int y = 0; y < kH; ++y) {
                out += pre;
                for (int x = 0; x < kW; ++x) {
                    out += sample(Value(x, y, b));
                }
                out += suf;
            }
        }
    } else {
        for (int y = 0; y < kH; ++y) {
            out += pre;
            if (storage == "LINE_INTERLEAVED") {
                for (int b = 0; b < l.bands; ++b) {
                    for (int x = 0; x < kW; ++x) {
                        out += sample(Value(x, y, b));
                    }
                }
            } else {
                for (int x = 0; x < kW; ++x) {
                    for (int b = 0; b < l.bands; ++b) {
                        out += sample(Value(x, y, b));
                    }
                }
            }
            out += suf;
        }
    }
    return out;
}

std::string ImageLines(const Layout& l) {
    return "  LINES = " + std::to_string(kH) + "\n  LINE_SAMPLES = " + std::to_string(kW) +
           "\n  SAMPLE_TYPE = " + l.sampleType + "\n  SAMPLE_BITS = " + std::to_string(l.bits) +
           "\n  BANDS = " + std::to_string(l.bands) + "\n  BAND_STORAGE_TYPE = " + l.storage +
           "\n  LINE_PREFIX_BYTES = " + std::to_string(l.prefix) +
           "\n  LINE_SUFFIX_BYTES = " + std::to_string(l.suffix) + "\n";
}

// An attached-label product: label padded to 2 records of 1000 bytes, data at record 3.
std::string Attached(const Layout& l) {
    return PadTo(MiniPds3("^IMAGE = 3", ImageLines(l)), 2000) + Pixels(l);
}

// "p3.IMG" (built by appending: GCC 12 warns falsely on literal + string).
std::string Numbered(const char* prefix, int n) {
    std::string name(prefix);
    name.append(std::to_string(n)).append(".IMG");
    return name;
}

const Layout kGrey16{"MSB_UNSIGNED_INTEGER", 16, 1, "BAND_SEQUENTIAL"};

} // namespace

TEST(ProductReader, EveryPointerFormFindsTheSameBytesAndNamesResolveWithoutRegardToCase) {
    TempDir dir;
    const std::string pixels = Pixels(kGrey16);
    const std::string image = ImageLines(kGrey16);
    WriteFile(dir / "DATA.IMG", std::string(1000, 'x') + pixels);
    WriteFile(dir / "BYTES.IMG", std::string(50, 'y') + pixels);
    WriteFile(dir / "att_records.IMG", Attached(kGrey16));
    WriteFile(dir / "att_bytes.IMG",
              PadTo(MiniPds3("^IMAGE = 2001 <BYTES>", image), 2000) + pixels);
    WriteFile(dir / "name_only.LBL", MiniPds3("^IMAGE = \"DATA_ONLY.img\"", image));
    WriteFile(dir / "data_only.IMG", pixels);
    WriteFile(dir / "name_record.LBL", MiniPds3("^IMAGE = (\"data.img\", 2)", image));
    WriteFile(dir / "name_bytes.LBL",
              MiniPds3("^IMAGE = (\"Bytes.Img\", 51 <BYTES>)", image, "RECORD_BYTES = 999"));
    WriteFile(dir / "sibling.lbl", MiniPds3("^IMAGE = 1", image));
    WriteFile(dir / "sibling.img", pixels);
    for (const char* name : {"att_records.IMG", "att_bytes.IMG", "name_only.LBL", "name_record.LBL",
                             "name_bytes.LBL", "sibling.lbl"}) {
        const ProductReadResult r = ReadProduct(dir / name);
        ASSERT_TRUE(r.ok) << name << ": " << r.message;
        ASSERT_TRUE(r.product.pixels.has_value()) << name;
        const PixelBuffer& px = *r.product.pixels;
        EXPECT_EQ(px.width, kW);
        EXPECT_EQ(px.height, kH);
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                ASSERT_EQ(px.At(x, y), Value(x, y, 0)) << name << " at " << x << "," << y;
            }
        }
        EXPECT_EQ(r.product.source, "pds3");
    }
}

TEST(ProductReader, EveryByteLayoutDecodesToTheSameValues) {
    const Layout layouts[] = {
        {"UNSIGNED_INTEGER", 8, 1, "BAND_SEQUENTIAL"},
        {"MSB_INTEGER", 16, 1, "BAND_SEQUENTIAL"},
        {"LSB_UNSIGNED_INTEGER", 16, 1, "BAND_SEQUENTIAL", 0, 0, false},
        {"LSB_INTEGER", 16, 1, "BAND_SEQUENTIAL", 3, 5, false},
        {"MSB_UNSIGNED_INTEGER", 16, 3, "BAND_SEQUENTIAL", 2, 0},
        {"MSB_UNSIGNED_INTEGER", 16, 3, "LINE_INTERLEAVED", 0, 4},
        {"MSB_UNSIGNED_INTEGER", 16, 3, "SAMPLE_INTERLEAVED", 1, 1},
        {"LSB_UNSIGNED_INTEGER", 8, 3, "SAMPLE_INTERLEAVED", 0, 0, false},
        {"MSB_UNSIGNED_INTEGER", 16, 4, "LINE_INTERLEAVED"}, // first band only
        {"UNSIGNED_INTEGER", 8, 2, "BAND_SEQUENTIAL"},
    };
    TempDir dir;
    int n = 0;
    for (const Layout& l : layouts) {
        const std::string path = dir / Numbered("p", n++);
        WriteFile(path, Attached(l));
        const ProductReadResult r = ReadProduct(path);
        ASSERT_TRUE(r.ok) << l.sampleType << " " << l.storage << ": " << r.message;
        const PixelBuffer& px = *r.product.pixels;
        const int channels = l.bands == 3 ? 3 : 1;
        ASSERT_EQ(px.channels, channels) << l.storage;
        EXPECT_EQ(px.significantBits, l.bits);
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                for (int c = 0; c < channels; ++c) {
                    ASSERT_EQ(px.At(x, y, c), Value(x, y, c))
                        << l.sampleType << " " << l.storage << " bands " << l.bands << " at " << x
                        << "," << y << "," << c;
                }
            }
        }
    }
}

TEST(ProductReader, RealsAndWideIntegersStretchOntoSixteenBitsKeepingTheirOrder) {
    TempDir dir;
    const Layout layouts[] = {
        {"IEEE_REAL", 32, 1, "BAND_SEQUENTIAL", 0, 0, true, true},
        {"PC_REAL", 32, 1, "BAND_SEQUENTIAL", 0, 0, false, true},
        {"IEEE_REAL", 64, 1, "BAND_SEQUENTIAL", 0, 0, true, true},
        {"MSB_INTEGER", 32, 1, "BAND_SEQUENTIAL"},
        {"LSB_UNSIGNED_INTEGER", 32, 1, "BAND_SEQUENTIAL", 0, 0, false},
    };
    int n = 0;
    for (const Layout& l : layouts) {
        const std::string path = dir / Numbered("r", n++);
        WriteFile(path, Attached(l));
        const ProductReadResult r = ReadProduct(path);
        ASSERT_TRUE(r.ok) << l.sampleType << ": " << r.message;
        const PixelBuffer& px = *r.product.pixels;
        EXPECT_EQ(px.At(0, 0), 0) << l.sampleType;
        EXPECT_EQ(px.At(kW - 1, kH - 1), 65535) << l.sampleType;
        // Linear: value v maps to v / vmax * 65535.
        const double vmax = Value(kW - 1, kH - 1, 0);
        EXPECT_NEAR(px.At(3, 2), Value(3, 2, 0) / vmax * 65535.0, 0.5) << l.sampleType;
    }
}

TEST(ProductReader, TwelveBitMasksDropJunkBitsAndNegativeSamplesBecomeZero) {
    TempDir dir;
    std::string lines = ImageLines(kGrey16) + "  SAMPLE_BIT_MASK = 2#0000111111111111#\n";
    std::string pixels;
    for (int i = 0; i < kW * kH; ++i) {
        pixels += Encode(static_cast<std::uint64_t>(0xF000 | i), 2, true);
    }
    WriteFile(dir / "mask.IMG", PadTo(MiniPds3("^IMAGE = 3", lines), 2000) + pixels);
    const ProductReadResult masked = ReadProduct(dir / "mask.IMG");
    ASSERT_TRUE(masked.ok) << masked.message;
    EXPECT_EQ(masked.product.pixels->At(5, 0), 5);
    EXPECT_EQ(masked.product.pixels->significantBits, 12);
    Layout signedLayout{"MSB_INTEGER", 16, 1, "BAND_SEQUENTIAL"};
    WriteFile(dir / "neg.IMG", PadTo(MiniPds3("^IMAGE = 3", ImageLines(signedLayout)), 2000) +
                                   std::string(kW * kH * 2, '\xff'));
    const ProductReadResult negative = ReadProduct(dir / "neg.IMG");
    ASSERT_TRUE(negative.ok) << negative.message;
    EXPECT_EQ(negative.product.pixels->At(0, 0), 0);
}

TEST(ProductReader, UnreadableProductsNameTheFileAndTheFaultAndNeverAllocateBeyondTheData) {
    TempDir dir;
    const std::string image = ImageLines(kGrey16);
    const std::string label = PadTo(MiniPds3("^IMAGE = 3", image), 2000);
    const std::string pixels = Pixels(kGrey16);
    const struct {
        const char* name;
        std::string bytes;
        const char* expect;
    } cases[] = {
        {"short.IMG", label + pixels.substr(0, pixels.size() - 1), "truncated"},
        {"nodata.IMG", label, "truncated"},
        {"missing.LBL", MiniPds3("^IMAGE = (\"NOWHERE.IMG\", 1)", image), "NOWHERE.IMG"},
        {"lonely.LBL", MiniPds3("^IMAGE = 1", image), "no .IMG beside"},
        {"norecord.IMG",
         PadTo(MiniPds3("^IMAGE = 3", image, "RECORD_TYPE = UNDEFINED"), 2000) + pixels,
         "RECORD_BYTES"},
        {"huge.IMG",
         PadTo(MiniPds3("^IMAGE = 3", "  LINES = 60000\n  LINE_SAMPLES = 60000\n  SAMPLE_BITS = "
                                      "16\n  SAMPLE_TYPE = MSB_INTEGER\n"),
               200) +
             pixels,
         "truncated"},
        {"toobig.IMG",
         PadTo(MiniPds3("^IMAGE = 3", "  LINES = 70000\n  LINE_SAMPLES = 70000\n  SAMPLE_BITS = "
                                      "16\n  SAMPLE_TYPE = MSB_INTEGER\n"),
               200) +
             pixels,
         "not usable"},
        {"vax.IMG",
         PadTo(MiniPds3("^IMAGE = 3", "  LINES = 5\n  LINE_SAMPLES = 6\n  SAMPLE_BITS = 32\n  "
                                      "SAMPLE_TYPE = VAX_REAL\n"),
               200) +
             pixels + pixels,
         "VAX_REAL"},
        {"bits.IMG",
         PadTo(MiniPds3("^IMAGE = 3", "  LINES = 5\n  LINE_SAMPLES = 6\n  SAMPLE_BITS = 12\n  "
                                      "SAMPLE_TYPE = MSB_INTEGER\n"),
               200) +
             pixels,
         "SAMPLE_BITS"},
        {"nolines.IMG", PadTo(MiniPds3("^IMAGE = 3", "  LINES = \"N/A\"\n"), 2000), "LINES"},
        {"noend.IMG", "PDS_VERSION_ID = PDS3\nA = (1,\n" + pixels, "label"},
        {"binary.bin", std::string("\x01\x02\x03garbage", 10), "not a product"},
        {"vicar.IMG", "LBLSIZE=99999999  NL=5", "LBLSIZE"},
        {"vicar2.IMG", "LBLSIZE=200 ", "truncated"},
    };
    for (const auto& c : cases) {
        const std::string path = dir / c.name;
        WriteFile(path, c.bytes);
        const ProductReadResult r = ReadProduct(path);
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_NE(r.message.find(c.name), std::string::npos) << c.name << ": " << r.message;
        EXPECT_NE(r.message.find(c.expect), std::string::npos) << c.name << ": " << r.message;
    }
    const ProductReadResult none = ReadProduct(dir / "absent.IMG");
    EXPECT_FALSE(none.ok);
    EXPECT_NE(none.message.find("no such file"), std::string::npos);
}

TEST(ProductReader, TheRealMerEdrLabelAroundSyntheticPixelsGivesModelPoseAndTwelveBitPixels) {
    TempDir dir;
    const std::string label = ReadFixture("2n292280938effb100p0703l0m1.lbl");
    // 13 label records, 7 VICAR header records, then 1024 lines at record 21.
    const std::string product =
        PadTo(label, 13 * 2048) + std::string(7 * 2048, ' ') + Ramp16(1024, 1024);
    WriteFile(dir / "2N292280938EFFB100P0703L0M1.IMG", product);
    const ProductReadResult r = ReadProduct(dir / "2N292280938EFFB100P0703L0M1.IMG");
    ASSERT_TRUE(r.ok) << r.message;
    const ProductInfo& p = r.product;
    EXPECT_EQ(p.source, "pds3");
    EXPECT_EQ(p.model.type, ModelType::Cahvor);
    EXPECT_EQ(p.model.c, CPoint3D(0.454993, 0.141198, -1.23312));
    EXPECT_EQ(p.model.r, CPoint3D(0.019876, -0.014281, 0.020876));
    EXPECT_EQ(p.frame, "ROVER_FRAME");
    EXPECT_EQ(p.frameIndex, (std::vector<long long>{137, 0, 0, 13, 7}));
    ASSERT_TRUE(p.pose.has_value());
    EXPECT_EQ(p.pose->site, 137);
    EXPECT_EQ(p.pose->roverToSite.rotation.m_dS, 0.994261);
    EXPECT_EQ(p.pose->roverToSite.offset, CPoint3D(0, 0, 0));
    EXPECT_EQ(p.width, 1024);
    EXPECT_EQ(p.height, 1024);
    EXPECT_EQ(p.instrument, "NAVCAM_LEFT");
    EXPECT_EQ(p.eye, "left");
    EXPECT_EQ(p.sol, 1869);
    EXPECT_EQ(p.productId, "2N292280938EFFB100P0703L0M1");
    ASSERT_TRUE(p.pixels.has_value());
    EXPECT_EQ(p.pixels->significantBits, 12);
    EXPECT_EQ(p.pixels->At(1000, 7), (1000 + 21) & 0xfff) << "junk bits above the mask removed";
    // The pixels are optional.
    ProductReadOptions noPixels;
    noPixels.pixels = false;
    EXPECT_FALSE(ReadProduct(dir / "2N292280938EFFB100P0703L0M1.IMG", noPixels).product.pixels);
}

TEST(ProductReader, ALabelLongerThanTheFirstBytesReadIsReadToItsEnd) {
    TempDir dir;
    std::string label = MiniPds3("^IMAGE = 101", ImageLines(kGrey16), "RECORD_BYTES = 1000");
    label.insert(label.find("OBJECT = IMAGE"), "/* " + std::string(90000, '.') + " */\n");
    WriteFile(dir / "long.IMG", PadTo(label, 100000) + Pixels(kGrey16));
    const ProductReadResult r = ReadProduct(dir / "long.IMG");
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.product.pixels->At(5, 4), Value(5, 4, 0));
}

TEST(ProductReader, TheRealMerVicarHeaderGivesItsLinearisedModelPoseAndPixels) {
    TempDir dir;
    std::string header = ReadFixture("2n295212876fflb1dnp1950l0m1.vicar");
    header.resize(14336, '\0');
    WriteFile(dir / "ffl.img", header + Ramp16(1024, 1024, true, 0));
    const ProductReadResult r = ReadProduct(dir / "ffl.img");
    ASSERT_TRUE(r.ok) << r.message;
    const ProductInfo& p = r.product;
    EXPECT_EQ(p.source, "vicar");
    EXPECT_EQ(p.model.type, ModelType::Cahv);
    EXPECT_EQ(p.model.h, CPoint3D(473.511, 1184.28, 372.217));
    EXPECT_NEAR(Dot(p.model.a, p.model.h), 511.5, 0.01) << "a linearised MER model is centred";
    EXPECT_EQ(p.frameIndex, (std::vector<long long>{137, 231, 0, 132, 78}));
    ASSERT_TRUE(p.pose.has_value());
    EXPECT_EQ(p.pose->roverToSite.offset, CPoint3D(-18.2, 2.68595, -0.731151));
    EXPECT_EQ(p.instrument, "NAVCAM_LEFT");
    EXPECT_EQ(p.pixels->At(17, 3), 17 + 9);
    // Cut short: the data no longer matches NL x NS.
    WriteFile(dir / "cut.img", header + Ramp16(1024, 1000, true, 0));
    const ProductReadResult cut = ReadProduct(dir / "cut.img");
    EXPECT_FALSE(cut.ok);
    EXPECT_NE(cut.message.find("truncated"), std::string::npos) << cut.message;
}

TEST(ProductReader, VicarFormatsOrganisationsPrefixesLabelRecordsAndEndLabelsAreHonoured) {
    TempDir dir;
    auto vicar = [&](const std::string& items, int lblsize) {
        std::string h = "LBLSIZE=" + std::to_string(lblsize) + "  " + items;
        h.resize(static_cast<std::size_t>(lblsize), ' ');
        return h;
    };
    const std::string model = " PROPERTY='GEOMETRIC_CAMERA_MODEL' MODEL_TYPE='CAHV' "
                              "MODEL_COMPONENT_1=(0,0,0) MODEL_COMPONENT_2=(1,0,0) "
                              "MODEL_COMPONENT_3=(2.5,100,0) MODEL_COMPONENT_4=(2,0,100) "
                              "REFERENCE_COORD_SYSTEM_NAME='ROVER_NAV_FRAME'";
    // BSQ little-endian HALF with 2 binary prefix bytes a line and one binary label record.
    Layout bsq{"", 16, 1, "BAND_SEQUENTIAL", 2, 0, false};
    WriteFile(dir / "bsq.IMG", vicar("FORMAT='HALF' ORG='BSQ' NL=5 NS=6 NB=1 NBB=2 NLB=1 "
                                     "RECSIZE=14 INTFMT='LOW'" +
                                         model,
                                     400) +
                                   std::string(14, 'L') + Pixels(bsq));
    const ProductReadResult r = ReadProduct(dir / "bsq.IMG");
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.product.pixels->At(4, 3), Value(4, 3, 0));
    EXPECT_FALSE(r.product.pose.has_value());
    // BIP: a record is the three bands of one pixel. The model is in the
    // label after the image (EOL=1).
    Layout bip{"", 8, 3, "SAMPLE_INTERLEAVED"};
    WriteFile(dir / "bip.IMG",
              vicar("FORMAT='BYTE' ORG='BIP' NL=5 NS=6 NB=3 EOL=1 RECSIZE=3", 100) + Pixels(bip) +
                  vicar(model, 400));
    const ProductReadResult eol = ReadProduct(dir / "bip.IMG");
    ASSERT_TRUE(eol.ok) << eol.message;
    ASSERT_EQ(eol.product.pixels->channels, 3);
    EXPECT_EQ(eol.product.pixels->At(4, 3, 2), Value(4, 3, 2));
    EXPECT_EQ(eol.product.model.h, CPoint3D(2.5, 100, 0));
    WriteFile(dir / "noeol.IMG",
              vicar("FORMAT='BYTE' ORG='BIP' NL=5 NS=6 NB=3 EOL=1 RECSIZE=3" + model, 400) +
                  Pixels(bip));
    const ProductReadResult noEol = ReadProduct(dir / "noeol.IMG");
    EXPECT_FALSE(noEol.ok);
    EXPECT_NE(noEol.message.find("EOL=1"), std::string::npos) << noEol.message;
    // RECSIZE that does not match the record layout.
    WriteFile(dir / "rec.IMG", vicar("FORMAT='HALF' NL=5 NS=6 NB=1 RECSIZE=13" + model, 400) +
                                   std::string(200, '\0'));
    const ProductReadResult rec = ReadProduct(dir / "rec.IMG");
    EXPECT_FALSE(rec.ok);
    EXPECT_NE(rec.message.find("RECSIZE"), std::string::npos) << rec.message;
    WriteFile(dir / "nomodel.IMG", vicar("FORMAT='HALF' NL=5 NS=6 NB=1 RECSIZE=12", 200));
    EXPECT_NE(ReadProduct(dir / "nomodel.IMG").message.find("no camera model"), std::string::npos);
}

TEST(ProductReader, APds4LabelGivesTheCahvoreModelItsRoverPoseAndTheImageBesideIt) {
    TempDir dir;
    const std::string xml = ReadFixture("m20_navcam_cahvore.xml");
    WriteFile(dir / "navcam_sample.xml", xml);
    std::string header = "LBLSIZE=100  FORMAT='HALF' NL=5 NS=6 NB=1 RECSIZE=12 INTFMT='LOW'";
    header.resize(100, ' ');
    Layout lsb{"", 16, 1, "BAND_SEQUENTIAL", 0, 0, false};
    WriteFile(dir / "NAVCAM_SAMPLE.IMG", header + Pixels(lsb));
    const ProductReadResult r = ReadProduct(dir / "navcam_sample.xml");
    ASSERT_TRUE(r.ok) << r.message;
    const ProductInfo& p = r.product;
    EXPECT_EQ(p.source, "pds4");
    EXPECT_EQ(p.model.type, ModelType::Cahvore);
    EXPECT_EQ(p.model.c, CPoint3D(0.955584, 0.764515, -1.95254));
    EXPECT_EQ(p.model.e, CPoint3D(-8.0e-09, 1.0e-08, -2.9e-08));
    EXPECT_EQ(p.model.mtype, 2);
    EXPECT_EQ(p.frame, "ROVER_NAV_FRAME");
    EXPECT_EQ(p.frameIndex, (std::vector<long long>{30, 1344, 4}));
    ASSERT_TRUE(p.pose.has_value());
    EXPECT_EQ(p.pose->site, 30);
    EXPECT_EQ(p.pose->roverToSite.offset, CPoint3D(94.6281, -118.938, -7.51133))
        << "the rover frame's definition, not the site's or the camera head's";
    EXPECT_EQ(p.pose->roverToSite.rotation.m_dS, 0.174493);
    EXPECT_EQ(p.eye, "left");
    EXPECT_EQ(p.width, kW);
    ASSERT_TRUE(p.pixels.has_value());
    EXPECT_EQ(p.pixels->At(5, 4), Value(5, 4, 0));
    // The same .IMG read directly has no model in its VICAR header: the
    // PDS4 label beside it supplies one.
    const ProductReadResult direct = ReadProduct(dir / "NAVCAM_SAMPLE.IMG");
    ASSERT_TRUE(direct.ok) << direct.message;
    EXPECT_EQ(direct.product.source, "pds4");

    auto variant = [&](const std::string& from, const std::string& to) {
        std::string text = xml;
        text.replace(text.find(from), from.size(), to);
        WriteFile(dir / "variant.xml", text);
        return ReadProduct(dir / "variant.xml");
    };
    const ProductReadResult frame = variant(
        "<geom:coordinate_space_frame_type>ROVER_NAV_FRAME</geom:coordinate_space_frame_type>",
        "<geom:coordinate_space_frame_type>RSM_HEAD_FRAME</geom:coordinate_space_frame_type>");
    EXPECT_FALSE(frame.ok);
    EXPECT_NE(frame.message.find("RSM_HEAD_FRAME; only"), std::string::npos) << frame.message;
    const ProductReadResult size = variant("<elements>6</elements>", "<elements>7</elements>");
    EXPECT_FALSE(size.ok);
    EXPECT_NE(size.message.find("holds 6 x 5"), std::string::npos) << size.message;
    const ProductReadResult file = variant("navcam_sample.IMG</file_name>", "gone.IMG</file_name>");
    EXPECT_FALSE(file.ok);
    EXPECT_NE(file.message.find("gone.IMG"), std::string::npos) << file.message;
    const ProductReadResult broken = variant("</Product_Observational>", "");
    EXPECT_FALSE(broken.ok);
    EXPECT_NE(broken.message.find("not valid XML"), std::string::npos) << broken.message;
    const ProductReadResult psph = variant("CAHVORE_Model>", "PSPH_Model>");
    EXPECT_FALSE(psph.ok);
}
