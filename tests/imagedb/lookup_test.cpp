// Keys, lookup and the table's ordering rules.
#include "tests/support/TestFiles.h"

#include "base/Paths.h"
#include "imagedb/ImageDatabase.h"

#include <gtest/gtest.h>

#include <random>

namespace {
std::vector<std::string> Keys(const ImageDatabase& db) {
    std::vector<std::string> keys;
    for (const auto& r : db) {
        keys.push_back(r.m_sProductId);
    }
    return keys;
}
} // namespace

TEST(Lookup, KeysFromNamesAndPaths) {
    EXPECT_EQ(MakeProductKey("D:\\pairs\\2N130012345EFF0300P1800L0M1.IMG"),
              "2n130012345eff0300p1800l0m1");
    EXPECT_EQ(MakeProductKey("/data/2N130012345EFF0300P1800L0M1.IMG"),
              "2n130012345eff0300p1800l0m1");
    EXPECT_EQ(MakeProductKey("a.b.img"), "a.b");
    EXPECT_EQ(MakeProductKey("/x.y/NoDot"), "nodot");
    // Only A-Z are lowered; nothing is trimmed.
    EXPECT_EQ(MakeProductKey(" A\xC4z.IMG"), " a\xC4z");
}

TEST(Lookup, FindsExactKeysCaseInsensitively) {
    ImageDatabase db;
    EXPECT_EQ(db.FindRecord("x"), nullptr);
    EXPECT_EQ(db.FindRecord(""), nullptr);
    db.InsertRecord(MakeRecord(MakeProductKey("2N130012345EFF0300P1800L0M1.IMG"), 5, 6));
    db.InsertRecord(MakeRecord("abc", 1, 1));
    db.InsertRecord(MakeRecord("a.b", 2, 2));
    db.InsertRecord(MakeRecord("x", 3, 3));

    const ImageRecord* r = db.FindRecord(PathTitle("2n130012345eff0300p1800l0m1.img"));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r, db.FindRecord(PathTitle("/b/2N130012345EFF0300P1800L0M1.IMG")));
    EXPECT_EQ(r->m_dAzimuth, 5.0);
    EXPECT_EQ(db.FindRecord(PathTitle("C:\\a\\X.IMG")), db.FindRecord(PathTitle("/b/X.IMG")));
    EXPECT_NE(db.FindRecord("X"), nullptr);
    EXPECT_EQ(db.FindRecord(PathTitle("abcd.img")), nullptr);
    EXPECT_EQ(db.FindRecord(PathTitle("ab.img")), nullptr);
    ASSERT_NE(db.FindRecord(PathTitle("A.B.IMG")), nullptr);
    EXPECT_EQ(db.FindRecord(PathTitle("A.B.IMG"))->m_dAzimuth, 2.0);
    // The result points into the table: no copy.
    EXPECT_EQ(db.FindRecord("abc"), &*db.begin() + 2); // after 2n... and a.b
}

TEST(Lookup, LongNamesFindTheirRecordAfterSaveAndLoad) {
    TempDir dir;
    ImageDatabase db;
    db.SetStorePath(dir / "ImgBinDat");
    const std::string navcam = "NLB_397586934EDR_F0010008AUT_04096M1";
    db.InsertRecord(MakeRecord(MakeProductKey(navcam + ".IMG"), 10, 20));
    ASSERT_TRUE(db.SaveStore());
    EXPECT_EQ(ReadBytes(db.StorePath()).substr(6, 27), "nlb_397586934edr_f0010008au");
    ASSERT_TRUE(db.LoadStore());
    EXPECT_EQ(Keys(db), std::vector<std::string>{"nlb_397586934edr_f0010008au"});
    const ImageRecord* r = db.FindRecord(navcam);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->m_dElevation, 20.0);

    // An exact key always wins over the shortened one.
    db.InsertRecord(MakeRecord("nlb_397586934edr_f0010008aut_04096m1", 11, 21));
    EXPECT_EQ(db.FindRecord(navcam)->m_dAzimuth, 11.0);
    EXPECT_EQ(db.FindRecord("NLB_397586934EDR_F0010008AUT_04096M2")->m_dAzimuth, 10.0);
    // Names of 27 bytes or fewer never fall back to a shorter key.
    db.InsertRecord(MakeRecord("nlb_397586934edr_f0010008a", 12, 22));
    EXPECT_EQ(db.FindRecord("nlb_397586934edr_f0010008a")->m_dAzimuth, 12.0);
    EXPECT_EQ(db.FindRecord("nlb_397586934edr_f0010008ax"), nullptr);
}

// Merging, appending and deduplicating give what inserting one record at a
// time gives: keys in byte order, one record per key, a later record wins.
TEST(Lookup, WholesaleOperationsMatchInsertingOneByOne) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> pick(0, 60);
    for (int round = 0; round < 50; ++round) {
        ImageDatabase byInsert;
        ImageDatabase byMerge;
        ImageDatabase byAppend;
        for (int batch = 0; batch < 3; ++batch) {
            std::vector<ImageRecord> list;
            const int n = pick(rng);
            for (int i = 0; i < n; ++i) {
                // Keys with high bytes and prefixes of each other.
                std::string key(1 + static_cast<size_t>(pick(rng) % 3), 'a');
                key[0] = static_cast<char>(pick(rng) % 2 ? 'b' : '\xE9');
                key.back() = static_cast<char>('a' + pick(rng) % 5);
                list.push_back(MakeRecord(key, round, batch * 1000 + i));
            }
            for (const auto& r : list) {
                byInsert.InsertRecord(r);
            }
            byAppend.AppendRecords(list);
            byAppend.SortAndDedupe();
            byMerge.MergeRecords(std::move(list));
        }
        const std::vector<ImageRecord> expected(byInsert.begin(), byInsert.end());
        ASSERT_EQ(std::vector<ImageRecord>(byMerge.begin(), byMerge.end()), expected) << round;
        ASSERT_EQ(std::vector<ImageRecord>(byAppend.begin(), byAppend.end()), expected) << round;
        // Every way of filling the table leaves every record findable.
        for (const ImageDatabase* db : {&byInsert, &byMerge, &byAppend}) {
            for (const ImageRecord& r : expected) {
                const ImageRecord* found = db->FindRecord(r.m_sProductId);
                ASSERT_NE(found, nullptr) << r.m_sProductId;
                ASSERT_EQ(*found, r);
            }
            ASSERT_EQ(db->FindRecord("b\xE9"), nullptr);
        }
        // High bytes sort after ASCII: bytes compare unsigned.
        for (size_t i = 1; i < expected.size(); ++i) {
            ASSERT_LE(static_cast<unsigned char>(expected[i - 1].m_sProductId[0]),
                      static_cast<unsigned char>(expected[i].m_sProductId[0]));
        }
    }
}
