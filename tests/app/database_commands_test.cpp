// Import and Initialize Image Database File from the view's menu.
#include "app/DatabaseCommands.h"
#include "imagedb/ImageDatabase.h"
#include "tests/support/FakeUi.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

namespace {

class QueryCommandsTest : public ::testing::Test {
protected:
    QueryCommandsTest() {
        db.SetStorePath(dir / "ImgBinDat");
        ImageRecord old;
        old.m_sProductId = "old";
        old.m_dAzimuth = 7;
        db.InsertRecord(old);
        WriteBytes(dir / "a.txt", "x1::1::2::::::::::::::1::0::0::0\n"
                                  "x2::3::4::::::::::::::1::0::0::0\n");
        WriteBytes(dir / "b.dat", "/imgs/X1.IMG::9::9::::::::::::::0::1::0::0\r\n");
        // The second line ends inside its third field.
        WriteBytes(dir / "bad.txt", "y1::1::2::::::::::::::1::0::0::0\ny2::1::2\n");
    }
    std::function<void()> Refresh() {
        return [this] { ++refreshes; };
    }
    bool StoreSaved() const { return fs::exists(dir / "ImgBinDat"); }

    TempDir dir;
    ImageDatabase db;
    FakeUi ui;
    int refreshes = 0;
};

} // namespace

TEST_F(QueryCommandsTest, ImportMergesRefreshesSavesAndSignals) {
    ui.AnswerOpen({dir / "a.txt", dir / "b.dat"});
    ImportImageDatabase(ui, db, false, Refresh());
    ASSERT_EQ(ui.requests.size(), 1u);
    EXPECT_EQ(ui.requests[0].title, "Select MySQL Query files");
    EXPECT_EQ(ui.requests[0].filter, "MySQL Query Database (*.txt,*.dat)|*.txt;*.dat||");
    EXPECT_TRUE(ui.requests[0].multiSelect);
    EXPECT_EQ(db.Count(), 3u);
    ASSERT_NE(db.FindRecord("x1"), nullptr);
    EXPECT_EQ(db.FindRecord("x1")->m_dAzimuth, 9.0); // the later file wins
    EXPECT_NE(db.FindRecord("old"), nullptr);
    EXPECT_EQ(refreshes, 1);
    EXPECT_TRUE(StoreSaved());
    EXPECT_EQ(ui.events,
              (std::vector<std::string>{"open:Select MySQL Query files", "wait+", "wait-",
                                        "beep:3000", "beep:3100", "message:Done"}));
}

TEST_F(QueryCommandsTest, CancelledChooserChangesNothing) {
    ImportImageDatabase(ui, db, false, Refresh());
    InitializeImageDatabase(ui, db, false, Refresh());
    EXPECT_EQ(db.Count(), 1u); // Initialize empties nothing before files are chosen
    EXPECT_NE(db.FindRecord("old"), nullptr);
    EXPECT_EQ(refreshes, 0);
    EXPECT_FALSE(StoreSaved());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(QueryCommandsTest, MalformedFileNamesFileAndLineAndSavesNothing) {
    ui.AnswerOpen({dir / "a.txt", dir / "bad.txt"});
    ImportImageDatabase(ui, db, false, Refresh());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find(dir / "bad.txt"), std::string::npos);
    EXPECT_NE(ui.messages[0].find("line 2"), std::string::npos);
    EXPECT_NE(db.FindRecord("x1"), nullptr); // the earlier file stays in memory
    EXPECT_EQ(db.FindRecord("y1"), nullptr);
    EXPECT_EQ(refreshes, 0);
    EXPECT_FALSE(StoreSaved());
    EXPECT_TRUE(ui.beeps.empty());
    EXPECT_EQ(ui.waitDepth, 0);
}

TEST_F(QueryCommandsTest, InitializeRebuildsAndMissingFilesStillComplete) {
    ui.AnswerOpen({dir / "a.txt"});
    InitializeImageDatabase(ui, db, true, Refresh());
    EXPECT_EQ(db.Count(), 2u);
    EXPECT_EQ(db.FindRecord("old"), nullptr);
    EXPECT_TRUE(StoreSaved());
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Done"});
    EXPECT_TRUE(ui.beeps.empty());

    // Every chosen file missing: each is reported, the store is saved anyway.
    ui.messages.clear();
    ui.AnswerOpen({dir / "gone.txt"});
    ImportImageDatabase(ui, db, true, Refresh());
    EXPECT_EQ(ui.messages,
              (std::vector<std::string>{"Unable to open " + (dir / "gone.txt"), "Done"}));
    EXPECT_EQ(db.Count(), 2u);
    EXPECT_EQ(refreshes, 2);
}
