// ranvista-cli dense and stereo-image on a crop of a real Navcam pair: the
// summary, the files (PLY both ways, the XYZ TIFF, the pictures) and the
// refusals, which leave existing files as they were.
#include "tests/support/CliRunner.h"
#include "tests/support/TestFiles.h"

#include <png.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb; // 3 per pixel
};

RgbPicture ReadRgbPng(const std::string& path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    RgbPicture out;
    if (png_image_begin_read_from_file(&png, path.c_str()) == 0) {
        return out;
    }
    png.format = PNG_FORMAT_RGB;
    out.rgb.resize(PNG_IMAGE_SIZE(png));
    if (png_image_finish_read(&png, nullptr, out.rgb.data(), 0, nullptr) == 0) {
        return {};
    }
    out.width = static_cast<int>(png.width);
    out.height = static_cast<int>(png.height);
    return out;
}

const std::string kDir = std::string(RANVISTA_SOURCE_DIR) + "/tests/stereo/data/m20-navcam-crop/";
const std::string kPair = "--left '" + kDir +
                          "NLF_1110_0765465872_675ECM_N0512578NCAM13109_04_195J.png' --right '" +
                          kDir + "NRF_1110_0765465872_675ECM_N0512578NCAM13109_04_195J.png'";

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The vertex count a PLY header declares, and where its data starts.
size_t PlyVertices(const std::string& ply, size_t& dataStart) {
    const size_t at = ply.find("element vertex ");
    dataStart = ply.find("end_header\n") + std::strlen("end_header\n");
    return at == std::string::npos ? 0 : std::stoul(ply.substr(at + 15));
}

TEST(CliDense, SummaryAndEveryExportDescribeTheSamePoints) {
    TempDir dir;
    const std::string files = " --xyz '" + dir / "xyz.tif" + "' --ply '" + dir / "cloud.ply" +
                              "' --range-png '" + dir / "range.png" + "'";
    const CliResult r = RunCli("dense " + kPair + files + " --json");
    ASSERT_EQ(r.status, 0) << r.out;
    const auto j = r.Json();
    EXPECT_EQ(j["width"], 640);
    EXPECT_EQ(j["height"], 360);
    EXPECT_GT(j["valid_fraction"].get<double>(), 0.6);
    EXPECT_LE(j["valid_fraction"].get<double>(), 1.0);
    EXPECT_GT(j["seconds"].get<double>(), 0.0);
    const auto& p = j["range_percentiles"];
    EXPECT_LT(p["p5"].get<double>(), p["p50"].get<double>());
    EXPECT_LT(p["p50"].get<double>(), p["p95"].get<double>());
    EXPECT_GT(p["p5"].get<double>(), 3.0);

    // Binary PLY: one 19-byte vertex per valid pixel.
    const std::string ply = ReadBytes(dir / "cloud.ply");
    ASSERT_EQ(ply.rfind("ply\nformat binary_little_endian 1.0\n", 0), 0u);
    size_t start = 0;
    const size_t n = PlyVertices(ply, start);
    EXPECT_EQ(n, j["valid"].get<size_t>());
    EXPECT_EQ(ply.size(), start + 19 * n);
    EXPECT_TRUE(Contains(ply, "property float range_sigma\n"));

    // The TIFF: three float samples a pixel, x y z, the size of the left
    // image, NaN exactly where the map has no point; read from its bytes.
    const std::string tif = ReadBytes(dir / "xyz.tif");
    ASSERT_GT(tif.size(), 200u);
    ASSERT_EQ(tif.substr(0, 4), std::string("II*\0", 4));
    const auto u16 = [&](size_t at) {
        uint16_t v = 0;
        std::memcpy(&v, tif.data() + at, 2);
        return v;
    };
    const auto u32 = [&](size_t at) {
        uint32_t v = 0;
        std::memcpy(&v, tif.data() + at, 4);
        return v;
    };
    const uint32_t ifd = u32(4);
    std::map<uint16_t, uint32_t> tags;
    for (uint16_t i = 0; i < u16(ifd); ++i) {
        const size_t e = ifd + 2 + 12 * i;
        tags[u16(e)] = u16(e + 2) == 3 && u32(e + 4) == 1 ? u16(e + 8) : u32(e + 8);
    }
    EXPECT_EQ(tags[256], 640u);
    EXPECT_EQ(tags[257], 360u);
    EXPECT_EQ(tags[277], 3u);
    EXPECT_EQ(tags[259], 1u);
    EXPECT_EQ(u16(tags[339]), 3u); // IEEE floating point
    EXPECT_EQ(u16(tags[258]), 32u);
    ASSERT_EQ(tags[279], 640u * 360u * 12u);
    ASSERT_EQ(tif.size(), tags[273] + tags[279]);
    size_t valid = 0;
    float firstX = 0.0f;
    for (size_t k = 0; k < 640u * 360u; ++k) {
        float v[3];
        std::memcpy(v, tif.data() + tags[273] + 12 * k, 12);
        EXPECT_EQ(std::isnan(v[0]), std::isnan(v[2]));
        if (!std::isnan(v[0]) && valid++ == 0) {
            firstX = v[0];
        }
    }
    EXPECT_EQ(valid, n);
    // The first point of the PLY is the first valid pixel of the TIFF.
    float plyX = 0.0f;
    std::memcpy(&plyX, ply.data() + start, 4);
    EXPECT_EQ(plyX, firstX);

    // The range picture: the image with a legend below it.
    const RgbPicture range = ReadRgbPng(dir / "range.png");
    EXPECT_EQ(range.width, 640);
    EXPECT_GT(range.height, 360);

    // ASCII PLY holds the same number of points, one line each.
    ASSERT_EQ(RunCli("dense " + kPair + " --ply '" + dir / "a.ply" + "' --ply-format ascii").status,
              0);
    const std::string ascii = ReadBytes(dir / "a.ply");
    ASSERT_EQ(ascii.rfind("ply\nformat ascii 1.0\n", 0), 0u);
    EXPECT_EQ(PlyVertices(ascii, start), n);
    EXPECT_EQ(static_cast<size_t>(std::count(ascii.begin() + start, ascii.end(), '\n')), n);
}

TEST(CliDense, MaxRangeKeepsOnlyNearerPoints) {
    const CliResult r = RunCli("dense " + kPair + " --max-range 9 --json");
    ASSERT_EQ(r.status, 0);
    EXPECT_LE(r.Json()["range_percentiles"]["p95"].get<double>(), 9.0);
}

TEST(CliStereoImage, EachModeWritesItsPicture) {
    TempDir dir;
    const CliResult a = RunCli("stereo-image " + kPair + " --out '" + dir / "a.png" + "' --json");
    ASSERT_EQ(a.status, 0);
    const RgbPicture ana = ReadRgbPng(dir / "a.png");
    ASSERT_GT(ana.width, 0);
    EXPECT_EQ(ana.width, a.Json()["width"].get<int>());
    // Red from the left image, green and blue from the right: they differ
    // somewhere, and green equals blue everywhere.
    std::size_t greenNotBlue = 0;
    std::size_t redNotGreen = 0;
    for (std::size_t i = 0; i + 2 < ana.rgb.size(); i += 3) {
        greenNotBlue += ana.rgb[i + 1] != ana.rgb[i + 2] ? 1 : 0;
        redNotGreen += ana.rgb[i] != ana.rgb[i + 1] ? 1 : 0;
    }
    EXPECT_EQ(greenNotBlue, 0u);
    EXPECT_GT(redNotGreen, ana.rgb.size() / 30);
    for (const char* mode : {"cross", "parallel"}) {
        const CliResult s = RunCli("stereo-image " + kPair + " --mode " + mode + " --out '" +
                                   dir / "s.png" + "' --json");
        ASSERT_EQ(s.status, 0) << mode;
        EXPECT_EQ(s.Json()["width"].get<int>(), 2 * ana.width + 16) << mode;
    }
}

TEST(CliDense, BadArgumentsAndUnwritableFilesAreRefusedAndLoseNothing) {
    TempDir dir;
    const std::string kept = dir.Write("kept.png", "not to be lost");
    auto r = RunCliWithErr("stereo-image " + kPair + " --mode sideways --out '" + kept + "'");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Contains(r.err, "--mode needs anaglyph, cross or parallel")) << r.err;
    r = RunCliWithErr("stereo-image " + kPair);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Contains(r.err, "--out")) << r.err;
    r = RunCliWithErr("dense " + kPair + " --max-range -3");
    EXPECT_EQ(r.status, 2);
    r = RunCliWithErr("dense " + kPair + " --ply-format xml --ply '" + kept + "'");
    EXPECT_EQ(r.status, 2);
    r = RunCliWithErr("dense --left '" + dir / "missing.png" + "' --right '" + kept + "'");
    EXPECT_NE(r.status, 0);
    // A folder that does not exist: said, status 1, other outputs unharmed.
    r = RunCliWithErr("dense " + kPair + " --ply '" + dir / "no/such/dir/c.ply" +
                      "' --range-png '" + dir / "r.png" + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "Unable to write")) << r.err;
    EXPECT_EQ(ReadBytes(kept), "not to be lost");
    EXPECT_FALSE(ReadBytes(dir / "r.png").empty());
}

} // namespace

// --frame site: the same points moved rigidly into the left product's site
// frame (distances between points kept, places not); a pair whose images
// carry no pose has no site frame and says so.
TEST(CliDense, TheSiteFrameMovesThePointsRigidlyAndNeedsAPose) {
    TempDir dir;
    ASSERT_EQ(
        RunCli("dense " + kPair + " --ply '" + dir / "rover.ply" + "' --ply-format ascii").status,
        0);
    const CliResult site = RunCli("dense " + kPair + " --frame site --ply '" + dir / "site.ply" +
                                  "' --ply-format ascii --json");
    ASSERT_EQ(site.status, 0);
    EXPECT_EQ(site.Json()["frame"], "site");
    const auto points = [](const std::string& text) {
        std::vector<std::array<double, 3>> out;
        std::istringstream in(text.substr(text.find("end_header\n") + 11));
        std::array<double, 3> p{};
        std::string rest;
        while (in >> p[0] >> p[1] >> p[2] && std::getline(in, rest)) {
            out.push_back(p);
        }
        return out;
    };
    const std::string siteText = ReadBytes(dir / "site.ply");
    EXPECT_TRUE(Contains(siteText, "comment range map of a stereo pair: site frame, metres\n"));
    const auto rover = points(ReadBytes(dir / "rover.ply"));
    const auto moved = points(siteText);
    ASSERT_EQ(rover.size(), moved.size());
    ASSERT_GT(rover.size(), 1000u);
    const auto distance = [](const std::array<double, 3>& a, const std::array<double, 3>& b) {
        return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
    };
    for (size_t i = 0; i + 997 < rover.size(); i += 997) {
        EXPECT_NEAR(distance(rover[i], rover[i + 997]), distance(moved[i], moved[i + 997]), 2e-3);
        EXPECT_GT(distance(rover[i], moved[i]), 1.0); // the site origin is elsewhere
    }

    const std::string oppy = std::string(RANVISTA_SOURCE_DIR) + "/samples/oppy-navcam/";
    const auto none =
        RunCliWithErr("dense --left '" + oppy + "1N137057367EFF4000P1916L0M1.png' --right '" +
                      oppy + "1N137057367EFF4000P1916R0M1.png' --db '" +
                      std::string(RANVISTA_SOURCE_DIR) + "/samples/ImgBinDat' --frame site");
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(Contains(none.err, "give no site frame")) << none.err;
    EXPECT_EQ(RunCli("dense " + kPair + " --frame moon").status, 2);
}
