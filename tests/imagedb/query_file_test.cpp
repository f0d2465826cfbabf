// Query export files: the line format, where reading stops, malformed lines,
// and the Import and Initialize operations.
#include "tests/support/TestFiles.h"

#include "base/Messages.h"
#include "imagedb/QueryFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

QueryFileResult Parse(const std::string& text) {
    std::istringstream in(text);
    return ReadQueryStream(in, "q.txt");
}

std::vector<std::string> Keys(const std::vector<ImageRecord>& records) {
    std::vector<std::string> keys;
    for (const auto& r : records) {
        keys.push_back(r.m_sProductId);
    }
    return keys;
}

std::vector<std::string> Keys(const ImageDatabase& db) {
    return Keys(std::vector<ImageRecord>(db.begin(), db.end()));
}

std::string Line(const std::string& key, double az, double el = 0) {
    return key + "::" + std::to_string(az) + "::" + std::to_string(el) +
           "::u::u::u::u::u::u::1::0::0::0\n";
}

} // namespace

TEST(QueryFile, LineFormat) {
    auto r = Parse("a::1::2::::::::::::::1::0::0::0\n"
                   "/data/2N130012345EFF0300P1800L0M1.IMG::-3.5::4e1::x::y::z::w::v::u::"
                   "0.5::0.25:: 2 ::-8:trailing::junk\r\n"
                   " Spaced.Name.IMG ::abc::1e::::::::::::::2::0x10::inf::nan");
    ASSERT_FALSE(r.error);
    ASSERT_EQ(r.records.size(), 3u);
    EXPECT_EQ(r.records[0], MakeRecord("a", 1, 2));
    // Directory and extension dropped, case lowered; the quaternion is kept
    // as read; field 13 ends at a colon.
    EXPECT_EQ(r.records[1], MakeRecord("2n130012345eff0300p1800l0m1", -3.5, 40, 0.5, 0.25, 2, -8));
    // Spaces stay part of the key; fields without a number give 0.
    EXPECT_EQ(r.records[2], MakeRecord(" spaced.name", 0, 1, 2, 0, 0, 0));
}

TEST(QueryFile, NumbersReadAsAtofDoes) {
    EXPECT_EQ(ParseQueryNumber(" \t+12.5e1xyz"), 125.0);
    EXPECT_EQ(ParseQueryNumber("-.5"), -0.5);
    EXPECT_EQ(ParseQueryNumber("7."), 7.0);
    EXPECT_EQ(ParseQueryNumber("3e+"), 3.0);
    EXPECT_EQ(ParseQueryNumber("1,5"), 1.0);
    EXPECT_EQ(ParseQueryNumber("."), 0.0);
    EXPECT_EQ(ParseQueryNumber("-"), 0.0);
    EXPECT_EQ(ParseQueryNumber("0x1p3"), 0.0);
    EXPECT_EQ(ParseQueryNumber("infinity"), 0.0);
    EXPECT_EQ(ParseQueryNumber("1e999"), HUGE_VAL);
    EXPECT_EQ(ParseQueryNumber("-1e999"), -HUGE_VAL);
    EXPECT_EQ(ParseQueryNumber("1e-999"), 0.0);
    EXPECT_TRUE(std::signbit(ParseQueryNumber("-1e-999")));
    EXPECT_EQ(ParseQueryNumber("4.9406564584124654e-324"), 4.9406564584124654e-324);
}

TEST(QueryFile, WrittenLinesReadBackExactly) {
    std::mt19937_64 rng(3);
    for (int i = 0; i < 2000; ++i) {
        ImageRecord rec;
        rec.m_sProductId = std::string("k").append(std::to_string(i));
        double* fields[] = {&rec.m_dAzimuth,
                            &rec.m_dElevation,
                            &rec.m_qAttitude.m_dS,
                            &rec.m_qAttitude.m_ptVec.m_dX,
                            &rec.m_qAttitude.m_ptVec.m_dY,
                            &rec.m_qAttitude.m_ptVec.m_dZ};
        for (double* f : fields) {
            do {
                *f = std::bit_cast<double>(rng());
            } while (std::isnan(*f));
        }
        if (i == 0) {
            rec.m_dAzimuth = -0.0;
            rec.m_dElevation = -HUGE_VAL;
        }
        const auto back = Parse(FormatQueryLine(rec) + "\n");
        ASSERT_EQ(back.records.size(), 1u);
        const ImageRecord& b = back.records[0];
        EXPECT_EQ(b.m_sProductId, rec.m_sProductId);
        for (size_t k = 0; k < 6; ++k) {
            const double* g[] = {&b.m_dAzimuth,
                                 &b.m_dElevation,
                                 &b.m_qAttitude.m_dS,
                                 &b.m_qAttitude.m_ptVec.m_dX,
                                 &b.m_qAttitude.m_ptVec.m_dY,
                                 &b.m_qAttitude.m_ptVec.m_dZ};
            ASSERT_EQ(std::bit_cast<uint64_t>(*g[k]), std::bit_cast<uint64_t>(*fields[k]))
                << FormatQueryLine(rec);
        }
    }
}

TEST(QueryFile, ReadingStopsAtAnEmptyLineOrASingleColon) {
    EXPECT_TRUE(Parse(std::string("\n").append(Line("a", 1))).records.empty());
    EXPECT_TRUE(Parse(std::string("\r\n").append(Line("a", 1))).records.empty());
    EXPECT_EQ(Keys(Parse(Line("a", 1) + Line("b", 2) + "\n" + Line("c", 3)).records),
              (std::vector<std::string>{"a", "b"}));
    // A single-colon separator ends the file: that line and all later ones
    // are dropped, even malformed ones.
    for (const std::string stop : {"b::1:2::\n", "b:1\n", "b::1::2::3::4::5::6::7::8::9:\n",
                                   "b::1::2::3::4::5::6::7::8::9::10::11:\n", "b:\n"}) {
        const auto r = Parse(Line("a", 1) + stop + "no colon here\n");
        EXPECT_FALSE(r.error) << stop;
        EXPECT_EQ(Keys(r.records), std::vector<std::string>{"a"}) << stop;
    }
    // Twelve separators are enough; a last line without a line feed counts.
    EXPECT_EQ(Parse("a::1::2::::::::::::::1::0::0::").records.size(), 1u);
    EXPECT_EQ(Parse(Line("a", 1) + "b::1::2::::::::::::::1::0::0::0").records.size(), 2u);
}

TEST(QueryFile, MalformedLinesAreErrorsNamingFileAndLine) {
    const std::string good = Line("a", 1) + Line("b", 2);
    for (const std::string bad :
         {"no colon at all", "a::1::2", "a::", "a::1::2::3::4::5::6::7::8::9::10::11"}) {
        const auto r = Parse(good + bad + "\n" + Line("c", 3));
        ASSERT_TRUE(r.error) << bad;
        EXPECT_EQ(r.error->line, 3u);
        const std::string message = r.error->Message();
        EXPECT_NE(message.find("q.txt"), std::string::npos) << message;
        EXPECT_NE(message.find("line 3"), std::string::npos) << message;
    }
}

class QueryImport : public ::testing::Test {
protected:
    void SetUp() override {
        db.SetStorePath(dir / "ImgBinDat");
        db.InsertRecord(MakeRecord("old", 9, 9));
        db.InsertRecord(MakeRecord("b", 9, 9, 0, 0, 0, 1));
        ASSERT_TRUE(db.SaveStore());
        savedStore = ReadBytes(db.StorePath());
    }
    std::string File(const std::string& name, const std::string& text) {
        WriteBytes(dir / name, text);
        return dir / name;
    }

    TempDir dir;
    ImageDatabase db;
    std::string savedStore;
    CollectingMessageSink sink;
    ScopedMessageSink scope{&sink};
};

TEST_F(QueryImport, ImportLaterLinesAndFilesWin) {
    const std::string one = File("one.txt", Line("b", 1) + Line("a", 1) + Line("B.IMG", 2, 5));
    const std::string two = File("two.dat", Line("c", 3) + Line("a", 4));
    const auto outcome = ImportQueryFiles(db, {one, dir / "missing.txt", two});
    EXPECT_TRUE(outcome.bCompleted);
    EXPECT_TRUE(outcome.bSaved);
    EXPECT_EQ(sink.m_vMessages,
              std::vector<std::string>{"Unable to open " + (dir / "missing.txt")});
    const std::vector<ImageRecord> expected{MakeRecord("a", 4), MakeRecord("b", 2, 5),
                                            MakeRecord("c", 3), MakeRecord("old", 9, 9)};
    EXPECT_EQ(std::vector<ImageRecord>(db.begin(), db.end()), expected);
    // Saved; importing the same file again changes nothing.
    ImageDatabase reloaded;
    reloaded.SetStorePath(db.StorePath());
    ASSERT_TRUE(reloaded.LoadStore());
    EXPECT_EQ(std::vector<ImageRecord>(reloaded.begin(), reloaded.end()), expected);
    ImportQueryFiles(db, {two});
    EXPECT_EQ(std::vector<ImageRecord>(db.begin(), db.end()), expected);
}

TEST_F(QueryImport, WhenNoChosenFileCanBeOpenedNothingChanges) {
    for (const auto command : {&ImportQueryFiles, &InitializeQueryFiles}) {
        sink.m_vMessages.clear();
        const auto outcome = command(db, {dir / "x.txt", dir / "y.txt"}, {});
        EXPECT_FALSE(outcome.bSaved);
        EXPECT_EQ(outcome.vUnopened.size(), 2u);
        ASSERT_EQ(sink.m_vMessages.size(), 3u);
        EXPECT_EQ(sink.m_vMessages[0], "Unable to open " + (dir / "x.txt"));
        EXPECT_NE(sink.m_vMessages[2].find("not changed"), std::string::npos);
        EXPECT_EQ(Keys(db), (std::vector<std::string>{"b", "old"}));
        EXPECT_EQ(ReadBytes(db.StorePath()), savedStore);
    }
}

TEST_F(QueryImport, AMalformedFileStopsWithoutSaving) {
    const std::string one = File("one.txt", Line("n", 1));
    const std::string bad = File("bad.txt", Line("m", 1) + "m::2::3\n");
    const std::string three = File("three.txt", Line("z", 1));
    auto outcome = ImportQueryFiles(db, {one, bad, three});
    EXPECT_FALSE(outcome.bCompleted);
    EXPECT_FALSE(outcome.bSaved);
    ASSERT_EQ(sink.m_vMessages.size(), 1u);
    EXPECT_EQ(sink.m_vMessages[0], outcome.sError);
    EXPECT_NE(outcome.sError.find(bad + ", line 2"), std::string::npos) << outcome.sError;
    // Neither the table nor the store changes.
    EXPECT_EQ(Keys(db), (std::vector<std::string>{"b", "old"}));
    EXPECT_EQ(ReadBytes(db.StorePath()), savedStore);

    outcome = InitializeQueryFiles(db, {one, bad, three});
    EXPECT_FALSE(outcome.bCompleted);
    EXPECT_EQ(Keys(db), (std::vector<std::string>{"b", "old"}));
    EXPECT_EQ(ReadBytes(db.StorePath()), savedStore);
}

TEST_F(QueryImport, InitializeRebuildsOnlyFromChosenFiles) {
    // Nothing chosen: table and store untouched.
    EXPECT_FALSE(InitializeQueryFiles(db, {}).bCompleted);
    EXPECT_EQ(Keys(db), (std::vector<std::string>{"b", "old"}));
    EXPECT_EQ(ReadBytes(db.StorePath()), savedStore);

    const std::string one = File("one.txt", Line("q", 1) + Line("b", 1));
    const std::string two = File("two.txt", Line("p", 2) + Line("b", 2));
    const auto outcome = InitializeQueryFiles(db, {one, two});
    EXPECT_TRUE(outcome.bCompleted);
    EXPECT_TRUE(outcome.bSaved);
    const std::vector<ImageRecord> expected{MakeRecord("b", 2), MakeRecord("p", 2),
                                            MakeRecord("q", 1)};
    EXPECT_EQ(std::vector<ImageRecord>(db.begin(), db.end()), expected);
    ImageDatabase reloaded;
    reloaded.SetStorePath(db.StorePath());
    ASSERT_TRUE(reloaded.LoadStore());
    EXPECT_EQ(std::vector<ImageRecord>(reloaded.begin(), reloaded.end()), expected);
}

namespace {

// FNV-1a of a file's bytes.
std::uint64_t Fnv1a(const std::string& bytes) {
    std::uint64_t h = 14695981039346656037ull;
    for (const unsigned char c : bytes) {
        h = (h ^ c) * 1099511628211ull;
    }
    return h;
}

std::vector<ImageRecord> Records(const ImageDatabase& db) {
    return {db.begin(), db.end()};
}

} // namespace

TEST(QueryImportBytes, AKnownImportSavesTheStoreItAlwaysSaved) {
    // Upper-case names, a folder, a CRLF line, a key past the store's width,
    // a name given twice (the later wins) and a last line without its end,
    // imported into a store of two records: the bytes this program has
    // always saved for them.
    TempDir dir;
    ImageDatabase db;
    db.SetStorePath(dir / "ImgBinDat");
    db.InsertRecord(MakeRecord("2n130012345eff0300p1800l0m1", 12.5));
    db.InsertRecord(MakeRecord("zz_kept", 0, -3.25));
    ASSERT_TRUE(db.SaveStore());
    const std::string e = "::::::::::::::"; // fields 4 to 9, empty
    WriteBytes(
        dir / "q.txt",
        "2N130012345EFF0300P1800L0M1.IMG::1.5::-2.25::x::x::x::x::x::x::0.5::0.5::-0.5::0.5\n"
        "1N128287142EFF0300P1800R0M1.IMG::-179.999999999::89.5" +
            e + "0.9::0.1::-0.2::0.3\r\n/data/sol/0300/1N128287142EFF0300P1800L0M1.img::3e-7::1e2" +
            e + "1::0::0::0\nA_PRODUCT_NAME_LONGER_THAN_THE_STORE_KEEPS_0123456789.IMG::7::8" + e +
            "1::0::0::0\n1N128287142EFF0300P1800R0M1::4::5" + e + "0.5::0.5::0.5::0.5");
    ASSERT_TRUE(ImportQueryFiles(db, {dir / "q.txt"}).bSaved);
    const std::string bytes = ReadBytes(dir / "ImgBinDat");
    EXPECT_EQ(bytes.size(), 401u);
    EXPECT_EQ(Fnv1a(bytes), 0x5e880607af953381u);
}

TEST(QueryImportBytes, MergingGivesTheTableOfInsertingOneByOne) {
    // Lists that only replace records, that only add after the last key,
    // and that mix both with names sharing long prefixes: the same table
    // and the same bytes as records inserted one at a time.
    std::vector<std::string> names;
    for (int i = 0; i < 24; ++i) {
        names.push_back("1n128287142eff0300p1800" + std::to_string(i % 4) + "m" +
                        std::to_string(i) + (i % 3 == 0 ? "_long_name_beyond_sixteen" : ""));
    }
    for (int i = 0; i < 4; ++i) {
        names.push_back("zz" + std::to_string(i)); // after every other name
    }
    std::mt19937 rng(11);
    const auto list = [&](std::size_t n, std::size_t from, std::size_t to) {
        std::vector<ImageRecord> v;
        for (std::size_t k = 0; k < n; ++k) {
            v.push_back(MakeRecord(names[from + rng() % (to - from)],
                                   static_cast<double>(rng() % 1000), static_cast<double>(k)));
        }
        return v;
    };
    TempDir dir;
    ImageDatabase merged;
    ImageDatabase inserted;
    const std::vector<ImageRecord> first = list(10, 0, 12);
    for (const auto& round : {first, first, list(6, 24, 28), list(40, 0, 28), list(1, 0, 28),
                              list(0, 0, 1), list(30, 0, 28)}) {
        merged.MergeRecords(std::vector<ImageRecord>(round));
        for (const ImageRecord& r : round) {
            inserted.InsertRecord(r);
        }
        ASSERT_EQ(Records(merged), Records(inserted));
        for (const ImageRecord& r : merged) {
            EXPECT_EQ(merged.FindRecord(r.m_sProductId),
                      &*std::find(merged.begin(), merged.end(), r));
        }
    }
    merged.SetStorePath(dir / "merged");
    inserted.SetStorePath(dir / "inserted");
    ASSERT_TRUE(merged.SaveStore() && inserted.SaveStore());
    EXPECT_EQ(ReadBytes(dir / "merged"), ReadBytes(dir / "inserted"));
}
