// Session files: what is saved comes back, paths below the session's folder
// are stored relative to it, damaged files are refused with the reason, and
// opening recalculates every measurement and says which ones moved.
#include "imagedb/ImageDatabase.h"
#include "imagedb/StoreTransaction.h"
#include "session/MeasurementExport.h"
#include "session/SessionFile.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;

namespace {

const std::string kSamples = std::string(RANVISTA_SOURCE_DIR) + "/samples/";
const std::string kLeft = kSamples + "oppy-navcam/1N137057367EFF4000P1916L0M1.png";
const std::string kRight = kSamples + "oppy-navcam/1N137057367EFF4000P1916R0M1.png";

struct Folder {
    fs::path path =
        fs::temp_directory_path() / ("ranvista-session-" + std::to_string(::getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    Folder() { fs::create_directories(path / "images"); }
    ~Folder() { fs::remove_all(path); }
};

const ImageDatabase& Db() {
    static const ImageDatabase db = [] {
        ImageDatabase d;
        LoadStoreFile(d, kSamples + "ImgBinDat");
        return d;
    }();
    return db;
}

// Two measurements of the sample pair, as the workspace records them.
SessionDocument MeasuredSession() {
    SessionDocument s;
    s.leftImage = kLeft;
    s.rightImage = kRight;
    s.database = kSamples + "ImgBinDat";
    s.options.dAzCorrLeft = 0.0;
    const ImagePoint pixels[2][2] = {{{386, 761}, {289, 758}}, {{727, 697}, {634, 695}}};
    CPoint3D last;
    for (const auto& p : pixels) {
        const RangeCalcInput in =
            MakeRangeCalcInput(s.options, s.leftImage, s.rightImage, p[0], p[1], last, Db());
        const RangeCalcResult r = CalculateRange(in);
        EXPECT_TRUE(r.bOk);
        s.measurements.push_back(RecordOfCalculation(in, r, PixelSource::Clicked,
                                                     PixelSource::Matched, s.pixelSigmas,
                                                     "2026-12-09T12:00:00Z"));
        s.measurements.back().index = static_cast<int>(s.measurements.size());
        last = r.ptNewLastPos;
    }
    s.measurements[1].note = "ridge, \"left\" side \xff";
    return s;
}

} // namespace

TEST(SessionFile, SavedMeasurementsComeBackIdenticalAndUnchangedOnRecalculation) {
    Folder folder;
    SessionDocument s = MeasuredSession();
    s.measurements[1].note = "ridge, \"left\" side";
    s.options.leftCamera = 3;
    s.options.bRLVector = false;
    s.pixelSigmas = {0.5, 0.75};
    const std::string path = (folder.path / "work.rvsession").string();
    std::string error;
    ASSERT_TRUE(WriteSessionFile(path, s, &error)) << error;
    const SessionReadResult back = ReadSessionFile(path);
    ASSERT_TRUE(back.ok) << back.message;
    EXPECT_EQ(back.session.measurements, s.measurements);
    EXPECT_EQ(back.session.leftImage, kLeft);
    EXPECT_EQ(back.session.options.leftCamera, std::optional<CameraId>(3));
    EXPECT_FALSE(back.session.options.rightCamera);
    EXPECT_EQ(back.session.pixelSigmas.rightPx, 0.75);

    SessionDocument plain = MeasuredSession();
    const auto again = RecalculateSession(plain, Db());
    EXPECT_TRUE(again.changes.empty());
    ASSERT_EQ(again.measurements.size(), 2u);
    EXPECT_EQ(again.measurements[1].record.rightSource, PixelSource::Matched);
    EXPECT_EQ(again.measurements[1].record.logEntry, plain.measurements[1].logEntry)
        << "the distance to the last point chains as it did";
}

TEST(SessionFile, ARecalculationThatMovesAPointIsReported) {
    SessionDocument s = MeasuredSession();
    s.measurements[0].position.m_dX += 0.05; // as if measured with an older database
    const auto again = RecalculateSession(s, Db());
    ASSERT_EQ(again.changes.size(), 1u);
    EXPECT_NE(again.changes[0].find("Measurement 1"), std::string::npos) << again.changes[0];
    // Without the database the pair has no cameras' poses: every point moves
    // or fails, and each is said.
    const ImageDatabase empty;
    EXPECT_EQ(RecalculateSession(MeasuredSession(), empty).changes.size(), 2u);
}

TEST(SessionFile, ImagesBelowTheSessionAreStoredRelativeOthersAbsolute) {
    Folder folder;
    SessionDocument s;
    s.leftImage = (folder.path / "images" / "L.png").string();
    s.rightImage = "/elsewhere/R.png";
    const std::string path = (folder.path / "work.rvsession").string();
    const std::string text = SessionText(s, path);
    EXPECT_NE(text.find("\"images/L.png\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"/elsewhere/R.png\""), std::string::npos);
    // Moving the folder keeps the pair: the relative path follows it.
    const std::string moved = "/moved/work.rvsession";
    const SessionReadResult back = ReadSessionText(text, moved);
    ASSERT_TRUE(back.ok) << back.message;
    EXPECT_EQ(back.session.leftImage, "/moved/images/L.png");
    EXPECT_EQ(back.session.rightImage, "/elsewhere/R.png");
}

TEST(SessionFile, DamagedOrForeignFilesAreRefusedWithTheReason) {
    const std::string good = SessionText(MeasuredSession(), "/s/work.rvsession");
    EXPECT_EQ(ReadSessionText("{\"format\": \"other\"}", "/s/x").message, "not a Ranvista session");
    // Found by fuzzing: a format that is not a string threw out of the reader.
    EXPECT_EQ(ReadSessionText("{\"format\": 1, \"measurements\": []}", "/s/x").message,
              "not a Ranvista session");
    EXPECT_FALSE(ReadSessionText(good.substr(0, good.size() / 2), "/s/x").ok);
    std::string noPixel = good;
    noPixel.replace(noPixel.find("\"left_pixel\""), 12, "\"left_pixels\"");
    const SessionReadResult r = ReadSessionText(noPixel, "/s/x");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("left_pixel"), std::string::npos) << r.message;
    std::string badSource = good;
    badSource.replace(badSource.find("\"matched\""), 9, "\"guessed\"");
    EXPECT_FALSE(ReadSessionText(badSource, "/s/x").ok);
    EXPECT_FALSE(ReadSessionFile("/nonexistent/session").ok);
}

TEST(SessionFile, ANoteThatIsNotUtf8StillSaves) {
    Folder folder;
    const std::string path = (folder.path / "work.rvsession").string();
    std::string error;
    ASSERT_TRUE(WriteSessionFile(path, MeasuredSession(), &error)) << error;
    const SessionReadResult back = ReadSessionFile(path);
    ASSERT_TRUE(back.ok) << back.message;
    EXPECT_EQ(back.session.measurements[1].note, "ridge, \"left\" side \xef\xbf\xbd");
}

TEST(SessionFile, AProductPairMeasuredWithTheCatalogueIsRecalculatedWithTheCatalogue) {
    // The PDS3 twin of the sample pair carries its own models; the user chose
    // the catalogue cameras (with the database records) instead.
    SessionDocument s;
    s.leftImage = kSamples + "oppy-navcam-pds3/1N137057367EFF4000P1916L0M1.IMG";
    s.rightImage = kSamples + "oppy-navcam-pds3/1N137057367EFF4000P1916R0M1.IMG";
    s.database = kSamples + "ImgBinDat";
    s.options.bProductModels = false;
    const RangeCalcInput in =
        MakeRangeCalcInput(s.options, s.leftImage, s.rightImage, {386, 761}, {289, 758}, {}, Db());
    const RangeCalcResult r = CalculateRange(in);
    ASSERT_TRUE(r.bOk);
    s.measurements.push_back(RecordOfCalculation(in, r, PixelSource::Clicked, PixelSource::Clicked,
                                                 s.pixelSigmas, "2026-12-09T12:00:00Z"));
    s.measurements.back().index = 1;

    Folder folder;
    const std::string path = (folder.path / "catalogue.ranvista-session").string();
    ASSERT_TRUE(WriteSessionFile(path, s, nullptr));
    const SessionReadResult back = ReadSessionFile(path);
    ASSERT_TRUE(back.ok) << back.message;
    EXPECT_FALSE(back.session.options.bProductModels);
    EXPECT_TRUE(RecalculateSession(back.session, Db()).changes.empty());

    // A session written before the option existed measures products with
    // their own models.
    std::string text = SessionText(s, path);
    const auto at = text.find("\"product_models\"");
    ASSERT_NE(at, std::string::npos) << text;
    text.replace(at, 16, "\"unknown_option\"");
    const SessionReadResult old = ReadSessionText(text, path);
    ASSERT_TRUE(old.ok) << old.message;
    EXPECT_TRUE(old.session.options.bProductModels);
}

TEST(SessionFile, AMatchedMarksOwnSigmaSurvivesSavingAndRecalculation) {
    SessionDocument s = MeasuredSession();
    // The second measurement's right mark came from the matcher, with its
    // own (much smaller) uncertainty.
    const MeasurementRecord clicked = s.measurements[1];
    const RangeCalcInput in =
        MakeRangeCalcInput(s.options, s.leftImage, s.rightImage, clicked.leftPixel,
                           clicked.rightPixel, s.measurements[0].position, Db());
    s.measurements[1] = RecordOfCalculation(in, CalculateRange(in), PixelSource::Clicked,
                                            PixelSource::Matched, {0.5, 0.04}, clicked.timeUtc);
    s.measurements[1].index = clicked.index;
    ASSERT_TRUE(s.measurements[1].uncertainty && clicked.uncertainty);
    ASSERT_LT(s.measurements[1].uncertainty->rangeSigmaM, clicked.uncertainty->rangeSigmaM);

    Folder folder;
    const std::string path = (folder.path / "matched.ranvista-session").string();
    ASSERT_TRUE(WriteSessionFile(path, s, nullptr));
    const SessionReadResult back = ReadSessionFile(path);
    ASSERT_TRUE(back.ok) << back.message;
    EXPECT_EQ(back.session.measurements[1].pixelSigmas.rightPx, 0.04);
    const auto again = RecalculateSession(back.session, Db());
    ASSERT_EQ(again.measurements.size(), 2u);
    EXPECT_EQ(again.measurements[1].record.uncertainty, s.measurements[1].uncertainty);
    EXPECT_EQ(again.measurements[0].record.uncertainty, s.measurements[0].uncertainty);
}

TEST(SessionFile, EveryAsciiCharacterOfANoteIsEscapedAsJsonEscapesItAndComesBack) {
    SessionDocument s = MeasuredSession();
    std::string all;
    for (int c = 1; c < 128; ++c) {
        all += static_cast<char>(c);
    }
    s.measurements[0].note = all;
    const std::string text = SessionText(s, "/tmp/any.ranvista-session");
    EXPECT_NE(text.find(nlohmann::json(all).dump()), std::string::npos);
    const SessionReadResult back = ReadSessionText(text, "/tmp/any.ranvista-session");
    ASSERT_TRUE(back.ok) << back.message;
    EXPECT_EQ(back.session.measurements[0].note, all);
}

namespace {

// Everything a streamed read hands out, in order.
struct Streamed {
    SessionReadResult result;
    std::vector<std::string> events; // "header" and "row N"
    SessionDocument header;
    std::vector<MeasurementRecord> rows;
};

Streamed Stream(const std::string& path) {
    Streamed s;
    s.result = StreamSessionFile(
        path,
        [&s](const SessionDocument& h) {
            s.events.push_back("header");
            s.header = h;
        },
        [&s](const MeasurementRecord& r) {
            s.events.push_back("row " + std::to_string(r.index));
            s.rows.push_back(r);
        });
    return s;
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

TEST(SessionFile, AStreamedReadGivesTheHeaderThenEveryMeasurementAsTheWholeReadDoes) {
    Folder folder;
    SessionDocument s = MeasuredSession();
    s.pixelSigmas = {0.25, 0.75};
    s.measurements[0].pixelSigmas = {0.25, 0.75};
    s.measurements[1].pixelSigmas = {0.1, 0.75};
    const std::string path = (folder.path / "work.rvsession").string();
    std::string error;
    ASSERT_TRUE(WriteSessionFile(path, s, &error)) << error;
    const SessionReadResult whole = ReadSessionFile(path);
    ASSERT_TRUE(whole.ok);
    const Streamed streamed = Stream(path);
    ASSERT_TRUE(streamed.result.ok) << streamed.result.message;
    EXPECT_EQ(streamed.events, (std::vector<std::string>{"header", "row 1", "row 2"}));
    EXPECT_EQ(streamed.rows, whole.session.measurements);
    EXPECT_EQ(streamed.header.leftImage, kLeft);
    EXPECT_EQ(streamed.header.database, kSamples + "ImgBinDat");
    EXPECT_EQ(streamed.header.pixelSigmas.rightPx, 0.75);
    EXPECT_TRUE(streamed.header.measurements.empty());

    // No measurements at all: the header still comes.
    SessionDocument empty = s;
    empty.measurements.clear();
    ASSERT_TRUE(WriteSessionFile(path, empty, &error)) << error;
    const Streamed none = Stream(path);
    ASSERT_TRUE(none.result.ok) << none.result.message;
    EXPECT_EQ(none.events, std::vector<std::string>{"header"});
}

TEST(SessionFile, AStreamedReadOfHeaderValuesAfterTheMeasurementsStillAppliesThem) {
    // Written in another order (by hand, or another program): the session's
    // pixel sigma, after the rows, is still what rows without their own get.
    Folder folder;
    SessionDocument s = MeasuredSession();
    s.pixelSigmas = {0.3, 0.4};
    auto j = nlohmann::ordered_json::parse(SessionText(s, "/s/x"));
    for (auto& row : j["measurements"]) {
        row.erase("pixel_sigma");
    }
    nlohmann::ordered_json reordered;
    reordered["measurements"] = j["measurements"];
    for (const auto& [key, value] : j.items()) {
        if (key != "measurements") {
            reordered[key] = value;
        }
    }
    const std::string path = (folder.path / "odd.rvsession").string();
    WriteText(path, reordered.dump(2));
    const Streamed streamed = Stream(path);
    ASSERT_TRUE(streamed.result.ok) << streamed.result.message;
    EXPECT_EQ(streamed.events, (std::vector<std::string>{"header", "row 1", "row 2"}));
    ASSERT_EQ(streamed.rows.size(), 2u);
    EXPECT_EQ(streamed.rows[1].pixelSigmas.leftPx, 0.3);
    EXPECT_EQ(streamed.rows[1].pixelSigmas.rightPx, 0.4);
}

TEST(SessionFile, AStreamedReadOfADamagedFileFailsWithTheReason) {
    Folder folder;
    const std::string path = (folder.path / "bad.rvsession").string();
    const std::string good = SessionText(MeasuredSession(), path);
    std::string noPixel = good;
    noPixel.replace(noPixel.rfind("\"left_pixel\""), 12, "\"left_pixels\"");
    WriteText(path, noPixel);
    const Streamed badRow = Stream(path);
    EXPECT_FALSE(badRow.result.ok);
    EXPECT_NE(badRow.result.message.find("left_pixel"), std::string::npos) << badRow.result.message;
    EXPECT_EQ(badRow.rows.size(), 1u) << "the damaged second row is not handed out";

    WriteText(path, good.substr(0, good.size() - 20));
    EXPECT_FALSE(Stream(path).result.ok);
    WriteText(path, "{\"format\": \"other\", \"measurements\": []}");
    EXPECT_EQ(Stream(path).result.message, "not a Ranvista session");
    EXPECT_EQ(Stream((folder.path / "missing").string()).result.message, "cannot be opened");
}

TEST(SessionFile, AStreamedReadTakesOrRefusesEachRowAsTheWholeReadDoes) {
    // The streamed read takes each row from the parser's events, not from a
    // tree: whatever the second row holds, it must agree with the whole read
    // on the rows and on the first fault it names.
    Folder folder;
    const std::string path = (folder.path / "rows.rvsession").string();
    using J = nlohmann::ordered_json;
    const J good = J::parse(SessionText(MeasuredSession(), path));
    const std::vector<std::function<void(J&)>> edits = {
        [](J&) {},
        [](J& r) { r["range"] = "far"; },
        [](J& r) { r["range"] = nullptr; },
        [](J& r) {
            r["position"] = {1, 2};
        },
        [](J& r) {
            r["position"] = J::array({1, J::array({2}), 3});
        },
        [](J& r) {
            r["left_pixel"] = {{"x", 1}};
        },
        [](J& r) { r.erase("log_entry"); },
        [](J& r) { r["index"] = 2.5; },
        [](J& r) { r["index"] = -1; },
        [](J& r) { r["kind"] = "mono"; },
        [](J& r) { r["kind"] = 3; },
        [](J& r) { r["kind"] = "mono", r["surface"] = "the ground"; },
        [](J& r) { r["sigma"] = nullptr; },
        [](J& r) { r["sigma"]["vertical"] = "x"; },
        [](J& r) { r["sigma"]["range"] = {1}; },
        [](J& r) {
            r["sigma"]["extra"] = {{"range", "x"}};
        },
        [](J& r) { r["covariance"] = {1, 2, 3, 4, 5, 6, 7, 8}; },
        [](J& r) { r["pixel_sigma"] = 0.5; },
        [](J& r) { r["pixel_sigma"].erase("right"); },
        [](J& r) { r.erase("pixel_sigma"); },
        [](J& r) { r["miss_distance"] = nullptr; },
        [](J& r) { r["miss_distance"] = "x"; },
        [](J& r) { r["left_set"] = "guessed"; },
        [](J& r) {
            r["note"] = {{"a", 1}};
        },
        [](J& r) {
            r["extra"] = {{"nested", J::array({1, {{"range", J::array({2})}}})}};
        },
        [](J& r) { r = 5; },
        [](J& r) {
            r = {1, 2};
        },
    };
    for (std::size_t i = 0; i < edits.size(); ++i) {
        J j = good;
        edits[i](j["measurements"][1]);
        WriteText(path, j.dump(1));
        const SessionReadResult whole = ReadSessionFile(path);
        const Streamed streamed = Stream(path);
        EXPECT_EQ(streamed.result.ok, whole.ok) << "edit " << i;
        EXPECT_EQ(streamed.result.message, whole.message) << "edit " << i;
        if (whole.ok) {
            EXPECT_EQ(streamed.rows, whole.session.measurements) << "edit " << i;
        }
    }
    // A key given twice counts with its last value, as in the whole read;
    // so does a number too large for a double.
    const std::string text = SessionText(MeasuredSession(), path);
    const std::size_t second = text.find("{\"index\":2,") + 11;
    for (const std::string& edited :
         {text.substr(0, second) + "\"range\":\"x\"," + text.substr(second),
          text.substr(0, second) + "\"range\":1e999,\"range\":2," + text.substr(second),
          text.substr(0, second) + "\"range\":2,\"range\":1e999," + text.substr(second)}) {
        WriteText(path, edited);
        const SessionReadResult whole = ReadSessionFile(path);
        const Streamed streamed = Stream(path);
        EXPECT_EQ(streamed.result.message, whole.message) << edited.substr(second - 11, 60);
        if (whole.ok) {
            EXPECT_EQ(streamed.rows, whole.session.measurements);
        }
    }
}

TEST(SessionFile, KeysAfterTheStreamedMeasurementsNeverHandARowOutTwice) {
    // A key nobody reads after the rows changes nothing; a header value
    // there, once rows were handed out, cannot apply to them: the read fails
    // rather than giving every row a second time.
    Folder folder;
    const std::string path = (folder.path / "late.rvsession").string();
    nlohmann::ordered_json j = nlohmann::ordered_json::parse(SessionText(MeasuredSession(), path));
    j["comment"] = "added by another tool";
    WriteText(path, j.dump(1));
    const Streamed extra = Stream(path);
    ASSERT_TRUE(extra.result.ok) << extra.result.message;
    EXPECT_EQ(extra.events, (std::vector<std::string>{"header", "row 1", "row 2"}));

    // The session's pixel sigma only after the rows: read whole, each row once.
    j["pixel_sigma"] = {{"left", 0.1}, {"right", 0.1}};
    std::string text = j.dump(1);
    const std::string moved = ",\n \"pixel_sigma\": {\n  \"left\": 0.1,\n  \"right\": 0.1\n }";
    const std::size_t at = text.find(moved);
    ASSERT_NE(at, std::string::npos) << text;
    const std::string late = text.substr(0, at) + text.substr(at + moved.size());
    const std::size_t end = late.rfind('}');
    WriteText(path, late.substr(0, end) + moved + "\n}");
    const Streamed after = Stream(path);
    ASSERT_TRUE(after.result.ok) << after.result.message;
    EXPECT_EQ(after.events, (std::vector<std::string>{"header", "row 1", "row 2"}));
    EXPECT_EQ(after.header.pixelSigmas, (PixelSigmas{0.1, 0.1}));

    // Given before the rows and again after them.
    WriteText(path, text.substr(0, text.rfind('}')) + moved + "\n}");
    const Streamed twice = Stream(path);
    EXPECT_FALSE(twice.result.ok);
    EXPECT_EQ(twice.result.message,
              "\"pixel_sigma\" comes after the measurements; a session gives it before them");
    EXPECT_EQ(twice.rows.size(), 2u) << "each row at most once";
    EXPECT_TRUE(ReadSessionFile(path).ok) << "the whole read still takes it";
}

TEST(SessionFile, AMeasurementFromTheRangeMapKeepsItsSourceAndSigmaInTheFileAndExports) {
    SessionDocument s = MeasuredSession();
    const MeasurementRecord clicked = s.measurements[0];
    const RangeCalcInput in = MakeRangeCalcInput(s.options, s.leftImage, s.rightImage,
                                                 clicked.leftPixel, clicked.rightPixel, {}, Db());
    s.measurements[0] = RecordOfCalculation(in, CalculateRange(in), PixelSource::Dense,
                                            PixelSource::Dense, {0.2, 0.2}, clicked.timeUtc);
    s.measurements[0].index = clicked.index;

    Folder folder;
    const std::string path = (folder.path / "dense.ranvista-session").string();
    ASSERT_TRUE(WriteSessionFile(path, s, nullptr));
    const SessionReadResult back = ReadSessionFile(path);
    ASSERT_TRUE(back.ok) << back.message;
    const MeasurementRecord& row = back.session.measurements[0];
    EXPECT_EQ(row.leftSource, PixelSource::Dense);
    EXPECT_EQ(row.rightSource, PixelSource::Dense);
    EXPECT_EQ(row.pixelSigmas, (PixelSigmas{0.2, 0.2}));
    const auto again = RecalculateSession(back.session, Db());
    EXPECT_EQ(again.measurements[0].record.rightSource, PixelSource::Dense);
    EXPECT_EQ(again.measurements[0].record.uncertainty, s.measurements[0].uncertainty);
    const std::string csv = MeasurementsCsv(back.session.measurements);
    EXPECT_NE(csv.find(",dense,dense,"), std::string::npos) << csv;
}

TEST(SessionFile, AWrittenAsItComesSessionHasTheBytesOfTheWholeOneAndOnlyAfterCommit) {
    Folder folder;
    const SessionDocument full = MeasuredSession();
    const std::string path = (folder.path / "work.rvsession").string();
    for (std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{2}}) {
        SessionDocument s = full;
        s.measurements.resize(count);
        SessionDocument header = s;
        header.measurements.clear();
        {
            SessionFileWriter writer(path, header);
            for (const MeasurementRecord& m : s.measurements) {
                ASSERT_TRUE(writer.Add(m));
            }
            std::string error;
            ASSERT_TRUE(writer.Commit(&error)) << error;
        }
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(bytes, SessionText(s, path)) << count;
    }
    // A writer dropped without Commit leaves the saved file as it was.
    std::ifstream before(path, std::ios::binary);
    const std::string saved((std::istreambuf_iterator<char>(before)), {});
    {
        SessionFileWriter writer(path, full);
        writer.Add(full.measurements[0]);
    }
    std::ifstream after(path, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), {}), saved);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path), fs::directory_iterator()), 2);
}
