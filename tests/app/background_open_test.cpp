// Opening a pair whose images are read on worker threads: the window carries
// on meanwhile, the opening ends as it would have in the foreground, a pair
// replaced or a view closed while reading leaves nothing behind.
#include "PairFixture.h"

#include "viewer/PairDecoder.h"

#include <QElapsedTimer>
#include <QFile>

#include <condition_variable>
#include <mutex>
#include <new>

namespace {
// Every pair in the background for the life of the object.
struct EveryPairInBackground {
    EveryPairInBackground() { SetBackgroundDecodePixels(0); }
    ~EveryPairInBackground() { SetBackgroundDecodePixels(-1); }
    EveryPairInBackground(const EveryPairInBackground&) = delete;
    EveryPairInBackground& operator=(const EveryPairInBackground&) = delete;
};

// Runs the event loop until the pair is open (or 20 s passed).
bool RunUntilOpened(const CPairController& opener) {
    QElapsedTimer timer;
    timer.start();
    while (opener.IsOpening() && timer.elapsed() < 20000) {
        QTest::qWait(5);
    }
    return !opener.IsOpening();
}

// A gate the decoders of a test wait at until it opens.
struct Gate {
    std::mutex mutex;
    std::condition_variable cv;
    bool open = false;
    int waiting = 0;
    void Pass() {
        std::unique_lock lock(mutex);
        ++waiting;
        cv.notify_all();
        cv.wait(lock, [this] { return open; });
    }
    void WaitForWaiting(int n) {
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return waiting >= n; });
    }
    void Open() {
        std::lock_guard lock(mutex);
        open = true;
        cv.notify_all();
    }
};
} // namespace

class BackgroundOpen : public PairFixture {
protected:
    std::string Left(QColor colour = Qt::red) {
        return Write(QString(kLeftTitle) + ".png", SolidImage(60, 40, colour));
    }
    std::string Right(QColor colour = Qt::blue) {
        return Write(QString(kRightTitle) + ".png", SolidImage(60, 40, colour));
    }
    std::string Junk(const QString& name) {
        QFile junk(QDir(dir.path()).filePath(name));
        EXPECT_TRUE(junk.open(QIODevice::WriteOnly));
        junk.write("not an image at all");
        return junk.fileName().toStdString();
    }
};

TEST_F(BackgroundOpen, TheWindowWorksWhileAPairIsReadAndTheOpeningEndsAsInTheForeground) {
    const EveryPairInBackground background;
    const std::string left = Left();
    const std::string right = Right();
    std::string reported;
    view->SetStatusSink([&](const std::string& text) { reported = text; });
    controller->OpenPairFiles(left, right);

    // Returned at once: the names are set, the images are not there yet.
    EXPECT_TRUE(controller->IsOpening());
    EXPECT_FALSE(view->Image(ViewSide::Left));
    EXPECT_EQ(ui.waitDepth, 1);
    EXPECT_NE(reported.find("Reading"), std::string::npos) << reported;
    EXPECT_NE(reported.find(kLeftTitle), std::string::npos) << reported;
    EXPECT_EQ(dialog.refreshed, 0);
    view->repaint(); // the view paints meanwhile

    ASSERT_TRUE(RunUntilOpened(*controller));
    ASSERT_TRUE(view->Image(ViewSide::Left) && view->Image(ViewSide::Right)) << Messages();
    EXPECT_EQ(view->Image(ViewSide::Left)->Pixels().pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(ui.waitDepth, 0);
    EXPECT_EQ(ui.waitCount, 1);
    EXPECT_EQ(reported, "");
    EXPECT_TRUE(ui.messages.empty()) << Messages();
    EXPECT_EQ(view->windowTitle().toStdString(), "Ranvista V5.0 -- LEFT(" +
                                                     std::string(kLeftTitle) + ")  RIGHT(" +
                                                     std::string(kRightTitle) + ")");
    EXPECT_EQ(dialog.refreshed, 1);
    EXPECT_EQ(ui.beeps.size(), 2u);
    EXPECT_EQ(Render().pixel(5, 5), qRgb(255, 0, 0));
}

TEST_F(BackgroundOpen, AFileThatFailsWhileReadInTheBackgroundIsReportedAsInTheForeground) {
    const std::string left = Left();
    const std::string junk = Junk("broken.png");
    struct Outcome {
        std::vector<std::string> messages;
        bool left = false;
        bool right = false;
        std::string leftFile;
        int beeps = 0;
    };
    const auto open = [&](const std::string& l, const std::string& r, bool inBackground) {
        ui.messages.clear();
        ui.beeps.clear();
        {
            const auto background = inBackground ? std::make_unique<EveryPairInBackground>()
                                                 : std::unique_ptr<EveryPairInBackground>();
            controller->OpenPairFiles(l, r);
            EXPECT_EQ(controller->IsOpening(), inBackground);
            EXPECT_TRUE(RunUntilOpened(*controller));
        }
        return Outcome{ui.messages, view->Image(ViewSide::Left) != nullptr,
                       view->Image(ViewSide::Right) != nullptr, Document().Session().LeftFile(),
                       static_cast<int>(ui.beeps.size())};
    };
    for (const auto& [l, r] :
         {std::pair{left, junk}, std::pair{junk, left}, std::pair{junk, junk}}) {
        const Outcome foreground = open(l, r, false);
        const Outcome background = open(l, r, true);
        ASSERT_FALSE(foreground.messages.empty());
        EXPECT_NE(foreground.messages[0].find("Unable to"), std::string::npos);
        EXPECT_EQ(background.messages, foreground.messages) << l << " + " << r;
        EXPECT_EQ(background.left, foreground.left);
        EXPECT_EQ(background.right, foreground.right);
        EXPECT_EQ(background.leftFile, foreground.leftFile);
        EXPECT_EQ(background.beeps, foreground.beeps);
    }
    EXPECT_EQ(ui.waitDepth, 0);
}

TEST_F(BackgroundOpen, OpeningAnotherPairWhileOneIsReadDropsTheFirstWithoutATrace) {
    const EveryPairInBackground background;
    // The first pair would fail loudly if it were ever finished.
    controller->OpenPairFiles(Junk("first-left.png"), Junk("first-right.png"));
    ASSERT_TRUE(controller->IsOpening());
    const std::string left = Left(Qt::green);
    const std::string right = Right();
    controller->OpenPairFiles(left, right);
    ASSERT_TRUE(RunUntilOpened(*controller));
    QTest::qWait(50); // whatever the first pair's workers queued has been delivered

    EXPECT_TRUE(ui.messages.empty()) << Messages();
    ASSERT_TRUE(view->Image(ViewSide::Left) && view->Image(ViewSide::Right));
    EXPECT_EQ(view->Image(ViewSide::Left)->Pixels().pixel(0, 0), qRgb(0, 255, 0));
    EXPECT_EQ(Document().Session().LeftFile(), left);
    EXPECT_EQ(ui.waitCount, 2);
    EXPECT_EQ(ui.waitDepth, 0); // the dropped opening gave its wait cursor back
    EXPECT_EQ(dialog.refreshed, 1);
    ASSERT_EQ(dialog.refreshedWithLeftFile.size(), 1u);
    EXPECT_EQ(dialog.refreshedWithLeftFile[0], left);
    EXPECT_EQ(ui.beeps.size(), 2u);
}

TEST_F(BackgroundOpen, WaitingFinishesTheOpeningAtOnceAndClosingWhileReadingLeavesNothing) {
    const EveryPairInBackground background;
    controller->OpenPairFiles(Left(), Right());
    ASSERT_TRUE(controller->IsOpening());
    controller->WaitForImages();
    EXPECT_FALSE(controller->IsOpening());
    EXPECT_TRUE(view->Image(ViewSide::Left) && view->Image(ViewSide::Right));
    EXPECT_EQ(ui.waitDepth, 0);
    controller->WaitForImages(); // nothing being read: nothing happens
    EXPECT_EQ(dialog.refreshed, 1);

    // A window closed in the middle of reading: no callback reaches it later.
    controller->OpenPairFiles(Junk("a.png"), Junk("b.png"));
    view.reset();
    controller.reset();
    QTest::qWait(50);
    EXPECT_TRUE(ui.messages.empty()) << Messages();
}

TEST(PairDecoder, OnlyTheLatestPairIsDeliveredHoweverOftenItIsReplaced) {
    Gate gate;
    CPairDecoder decoder([&](const std::string& path) {
        if (path.starts_with("slow")) {
            gate.Pass();
        }
        return std::make_unique<CImage>(SolidImage(4, 4, path.ends_with("L") ? Qt::red : Qt::blue));
    });
    std::vector<std::string> delivered;
    decoder.SetFinished([&](DecodedPair pair) {
        delivered.push_back(pair.left->Pixels().pixel(0, 0) == qRgb(255, 0, 0) ? "red" : "?");
    });
    decoder.Start("slow-L", "slow-R");
    gate.WaitForWaiting(2); // both workers are inside the decoder
    decoder.Start("fast-L", "fast-R");
    decoder.Start("never-L", "never-R");
    decoder.Start("fast-L", "fast-R");
    gate.Open();
    QElapsedTimer timer;
    timer.start();
    while (delivered.empty() && timer.elapsed() < 20000) {
        QTest::qWait(5);
    }
    QTest::qWait(50);
    EXPECT_EQ(delivered, (std::vector<std::string>{"red"}));
    EXPECT_FALSE(decoder.Busy());
}

TEST(PairDecoder, ADecoderThatRunsOutOfMemoryGivesAnImageThatSaysSo) {
    CPairDecoder decoder([](const std::string& path) -> std::unique_ptr<CImage> {
        if (path == "huge") {
            throw std::bad_alloc();
        }
        if (path == "null") {
            return nullptr;
        }
        return std::make_unique<CImage>(SolidImage(2, 2, Qt::red));
    });
    decoder.Start("huge", "null");
    std::optional<DecodedPair> pair = decoder.Wait();
    ASSERT_TRUE(pair && pair->left && pair->right);
    EXPECT_FALSE(pair->left->IsValid());
    EXPECT_STREQ(pair->left->GetLastError(), "Not enough memory for image huge");
    EXPECT_FALSE(pair->right->IsValid());
    EXPECT_STREQ(pair->right->GetLastError(), "Unable to read image null");
    EXPECT_FALSE(decoder.Wait());
}

TEST(PairDecoder, OnlyPairsDeclaringManyPixelsAreReadInTheBackground) {
    QTemporaryDir dir;
    // A header alone declares the size: a full Navcam frame of 16-bit grey.
    const QString big = QDir(dir.path()).filePath("big.pgm");
    QFile file(big);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("P5\n5120 3840\n65535\n");
    file.close();
    const std::string small = WriteImage(dir, "small.png", SolidImage(640, 480, Qt::red));
    EXPECT_EQ(DeclaredPixels(big.toStdString()), 5120 * 3840);
    EXPECT_EQ(DeclaredPixels(small), 640 * 480);
    EXPECT_FALSE(DeclaredPixels(dir.path().toStdString() + "/missing.png"));
    EXPECT_TRUE(DecodeInBackground(big.toStdString(), small));
    EXPECT_FALSE(DecodeInBackground(small, small));
    SetBackgroundDecodePixels(0);
    EXPECT_TRUE(DecodeInBackground(small, small));
    SetBackgroundDecodePixels(-1);
    EXPECT_EQ(BackgroundDecodePixels(), kDefaultBackgroundDecodePixels);
}
