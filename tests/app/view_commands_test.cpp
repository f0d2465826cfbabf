// The view's result-file, database-information and close commands.
#include "app/DatabaseCommands.h"
#include "imagedb/ImageDatabase.h"
#include "tests/support/FakeUi.h"
#include "ui/QtUiServices.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

std::string Slurp(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string("<missing>");
}

const std::vector<std::string> kDoneEvents = {"wait+", "wait-", "beep:3000", "beep:3100",
                                              "message:Done"};

} // namespace

TEST(SaveResults, LogIsWrittenWithCrLfAfterTheChooser) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/log.txt";
    FakeUi ui;
    ui.AnswerSave(path.toStdString());
    const std::string log = "\nImage Pair a b\nRange=1.0000\n\nImage Pair c d\nRange=2.0000\n";
    EXPECT_TRUE(SaveCalculationResults(ui, log, false));
    ASSERT_EQ(ui.requests.size(), 1u);
    EXPECT_EQ(ui.requests[0].title, "Save Calculation Results");
    EXPECT_EQ(ui.requests[0].filter, "Text Files (*.txt)|*.txt||");
    EXPECT_TRUE(ui.requests[0].confirmOverwrite);
    EXPECT_EQ(ui.requests[0].defaultSuffix, "txt");
    EXPECT_EQ(Slurp(path),
              "\r\nImage Pair a b\r\nRange=1.0000\r\n\r\nImage Pair c d\r\nRange=2.0000\r\n");
    std::vector<std::string> expected = {"save:Save Calculation Results"};
    expected.insert(expected.end(), kDoneEvents.begin(), kDoneEvents.end());
    EXPECT_EQ(ui.events, expected);
    EXPECT_EQ(ui.beeps, (std::vector<std::pair<int, int>>{{3000, 200}, {3100, 100}}));

    // Beeps disabled: straight to "Done".
    FakeUi quiet;
    quiet.AnswerSave(path.toStdString());
    EXPECT_TRUE(SaveCalculationResults(quiet, "\nx\n", true));
    EXPECT_TRUE(quiet.beeps.empty());
    EXPECT_EQ(quiet.messages, std::vector<std::string>{"Done"});
    EXPECT_EQ(Slurp(path), "\r\nx\r\n");
}

TEST(SaveResults, NothingCancelAndFailure) {
    FakeUi ui;
    EXPECT_FALSE(SaveCalculationResults(ui, "", false));
    EXPECT_FALSE(SaveVertexResults(ui, {}, false));
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Nothing to save", "Nothing to save"}));
    EXPECT_TRUE(ui.requests.empty()); // no chooser when there is nothing

    FakeUi cancel; // the chooser answers nothing
    EXPECT_FALSE(SaveVertexResults(cancel, {VertexRecord{}}, false));
    EXPECT_EQ(cancel.events, std::vector<std::string>{"save:Save Vertex Results"});

    QTemporaryDir dir;
    const std::string bad = (dir.path() + "/no/such/folder/out.txt").toStdString();
    FakeUi failing;
    failing.AnswerSave(bad);
    EXPECT_FALSE(SaveCalculationResults(failing, "\nx\n", false));
    const std::string why = "Unable to save " + bad + ": cannot create " + bad +
                            ": No such file or directory"; // the reason said
    EXPECT_EQ(failing.messages, std::vector<std::string>{why});
    EXPECT_TRUE(failing.beeps.empty());
    EXPECT_EQ(failing.waitDepth, 0);
    EXPECT_EQ(failing.events.back(), "message:" + why); // after the cursor
}

TEST(SaveResults, VertexFileKeepsOnlyPlausibleVerticesAndReplacesTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/v.txt";
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old contents that are longer than the new ones\r\n");
    old.close();
    const std::vector<VertexRecord> vertices = {
        {{1.5, -2, 0.25}, {0.1, 0.1, 0.1}},
        {{100, 100, 50}, {0, 0, 0}},    // 150 m away: dropped
        {{100, 100, 49.99}, {0, 0, 0}}, // kept
        {{1, 1, 1}, {0, 10, 0}},        // error too large: dropped
    };
    FakeUi ui;
    ui.AnswerSave(path.toStdString());
    EXPECT_TRUE(SaveVertexResults(ui, vertices, false));
    EXPECT_EQ(Slurp(path), "1.500000\t-2.000000\t0.250000\r\n"
                           "100.000000\t100.000000\t49.990000\r\n");
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Done"});

    // Every vertex filtered out: an empty file, still "Done".
    ui.AnswerSave(path.toStdString());
    EXPECT_TRUE(SaveVertexResults(ui, {vertices[1]}, true));
    EXPECT_EQ(Slurp(path), "");
    EXPECT_EQ(ui.messages.back(), "Done");
}

TEST(ImageDatabaseInfo, ShowsTheRecordCount) {
    ImageDatabase db;
    FakeUi ui;
    ShowImageDatabaseInfo(ui, db);
    for (const char* key : {"a", "b", "c"}) {
        ImageRecord r;
        r.m_sProductId = key;
        db.InsertRecord(r);
    }
    ShowImageDatabaseInfo(ui, db);
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Image Database Size= 0 Entries",
                                                     "Image Database Size= 3 Entries"}));
}

TEST(CloseWithUnsavedResults, SaveDiscardCancel) {
    FakeUi ui;
    int saves = 0;
    auto save = [&](bool ok) {
        return [&saves, ok] {
            ++saves;
            return ok;
        };
    };
    ui.saveChoices = {IUiServices::SaveChoice::Save, IUiServices::SaveChoice::Save,
                      IUiServices::SaveChoice::Discard, IUiServices::SaveChoice::Cancel};
    EXPECT_TRUE(ConfirmCloseWithUnsavedResults(ui, save(true)));
    EXPECT_FALSE(ConfirmCloseWithUnsavedResults(ui, save(false))); // saving failed: stay open
    EXPECT_TRUE(ConfirmCloseWithUnsavedResults(ui, save(true)));
    EXPECT_FALSE(ConfirmCloseWithUnsavedResults(ui, save(true)));
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(ui.questions,
              std::vector<std::string>(4, "Save calculation results before closing?"));
}

TEST(QtSaveChooser, TypedNameWithoutExtensionGetsTheDefaultSuffix) {
    QTemporaryDir dir;
    CQtUiServices ui;
    FileChooserRequest request;
    request.title = "Save Vertex Results";
    request.filter = "Text Files (*.txt)|*.txt||";
    request.startFolder = dir.path().toStdString();
    request.defaultSuffix = "txt";
    QTimer::singleShot(0, [] {
        auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(chooser, nullptr);
        EXPECT_EQ(chooser->windowTitle(), "Save Vertex Results");
        chooser->selectFile("vertices");
        QMetaObject::invokeMethod(chooser, "accept");
    });
    EXPECT_EQ(ui.ChooseSaveFile(request), (dir.path() + "/vertices.txt").toStdString());
}
