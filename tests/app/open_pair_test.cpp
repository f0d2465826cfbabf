#include "PairFixture.h"
#include "tests/products/CatalogueProducts.h"
#include "tests/products/ProductFixtures.h"

#include <QMimeData>
#include <QUrl>

namespace {
// A 27-character MER title with eye letter e at index 23.
std::string Title(char e) {
    std::string t = "1N128287142EFF0300P1800L0M1";
    t[23] = e;
    return t;
}
} // namespace

class OpenPair : public PairFixture {
protected:
    std::string File(const std::string& title, QColor colour = Qt::gray, int w = 40) {
        return Write(QString::fromStdString(title) + ".png", SolidImage(w, 30, colour));
    }
    // The chooser returns first, second: first becomes the right image.
    void Choose(std::vector<std::string> paths) {
        ui.AnswerOpen(std::move(paths));
        controller->OnOpenStereoPair();
    }
    // Drags the files over the view and drops them there; whether the view
    // took the drag.
    bool Drop(const std::vector<std::string>& files) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const std::string& f : files) {
            urls.push_back(QUrl::fromLocalFile(QString::fromStdString(f)));
        }
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view.get(), &enter);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view.get(), &drop);
        return enter.isAccepted();
    }
};

TEST_F(OpenPair, ChooserAndACorrectPair) {
    view->SetFilePath("/start/here/");
    const std::string left = File(Title('L'), Qt::red);
    const std::string right = File(Title('R'), Qt::blue);
    Choose({right, left});
    ASSERT_EQ(ui.openRequests.size(), 1u);
    const FileChooserRequest& req = ui.openRequests[0];
    EXPECT_EQ(req.title, "Select stereo pair of images");
    // The image entry as it always was, then rover products and every file.
    EXPECT_EQ(
        req.filter.rfind(
            "Image Files|*.bmp;*.gif;*.jpeg;*.jp2;*.jpg;*.exif;*.exf;*.png;*.tif;*.tiff;|", 0),
        0u)
        << req.filter;
    EXPECT_NE(req.filter.find("|Rover Products|*.img;*.lbl;*.xml;*.json;"), std::string::npos);
    EXPECT_EQ(req.filter.substr(req.filter.size() - 14), "|All Files|*||");
    EXPECT_EQ(req.startFolder, "/start/here/");
    EXPECT_TRUE(req.multiSelect);

    EXPECT_EQ(Document().Session().LeftFile(), left);
    EXPECT_EQ(Document().Session().RightFile(), right);
    EXPECT_EQ(view->Image(ViewSide::Left)->Pixels().pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_TRUE(ui.messages.empty()) << Messages();
    EXPECT_EQ(view->FilePath(), dir.path().toStdString() + "/");
    EXPECT_EQ(view->windowTitle().toStdString(),
              "Ranvista V5.0 -- LEFT(" + Title('L') + ")  RIGHT(" + Title('R') + ")");
    // The dialog is opened and refreshed once the pair is in place.
    EXPECT_EQ(dialog.created, 1);
    EXPECT_EQ(dialog.shown, 1);
    ASSERT_EQ(dialog.refreshedWithLeftFile.size(), 1u);
    EXPECT_EQ(dialog.refreshedWithLeftFile[0], left);
    EXPECT_EQ(ui.beeps, (std::vector<std::pair<int, int>>{{3000, 200}, {3100, 100}}));
    EXPECT_EQ(ui.waitDepth, 0);
    EXPECT_EQ(ui.waitCount, 1);
}

TEST_F(OpenPair, NamesTheWrongWayRoundAreSwappedSilently) {
    const std::string left = File(Title('R'));
    const std::string right = File(Title('L'));
    Choose({right, left});
    EXPECT_EQ(Document().Session().LeftFile(), right);
    EXPECT_EQ(Document().Session().RightFile(), left);
    EXPECT_TRUE(ui.messages.empty()) << Messages();
    EXPECT_EQ(dialog.refreshedWithLeftFile.back(), right);
}

TEST_F(OpenPair, DoubtfulPairsAskTheUserToVerify) {
    Choose({File(Title('L') + "x"), File(Title('L'))}); // titles of 28: still both 'L'
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Verify Correct Left/Right Images"}));
    ui.messages.clear();
    Choose({File("right"), File("left")});
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Verify Rover and Camera Selection"}));
    EXPECT_TRUE(view->Image(ViewSide::Left) && view->Image(ViewSide::Right)); // loaded all the same
}

TEST_F(OpenPair, AMissingFileIsSaidOnceAndChangesNothing) {
    PairFixture::OpenPair();
    AppendMeasurement({1, 2}, {3, 4}, {}, "log\n");
    const std::string leftBefore = Document().Session().LeftFile();
    const std::string title = view->windowTitle().toStdString();
    ui.messages.clear();
    ui.beeps.clear();
    const std::string right = File(Title('R'));
    const std::string left = dir.path().toStdString() + "/" + Title('L') + ".jpg"; // missing
    Choose({right, left});
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find(left), std::string::npos);
    EXPECT_NE(ui.messages[0].find("does not exist"), std::string::npos);
    // The open pair, its title and its measurements stay as they were.
    EXPECT_TRUE(view->Image(ViewSide::Left) && view->Image(ViewSide::Right));
    EXPECT_EQ(Document().Session().LeftFile(), leftBefore);
    EXPECT_EQ(Document().Session().Vertices().size(), 1u);
    EXPECT_EQ(view->windowTitle().toStdString(), title);
    EXPECT_TRUE(ui.beeps.empty());
}

TEST_F(OpenPair, AnImageThatCannotBeReadIsSaidOnceAndNoHalfPairIsLeft) {
    const std::string right = dir.path().toStdString() + "/broken.png";
    QFile junk(QString::fromStdString(right));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a png");
    junk.close();
    Choose({right, File(Title('L'))});
    ASSERT_EQ(ui.messages.size(), 1u) << "no second box about the cameras of a pair not opened";
    EXPECT_NE(ui.messages[0].find("broken.png"), std::string::npos);
    EXPECT_FALSE(view->Image(ViewSide::Left));
    EXPECT_FALSE(view->Image(ViewSide::Right));
    EXPECT_EQ(Document().Session().LeftFile(), "");
    EXPECT_EQ(Document().Session().RightFile(), "");
    EXPECT_EQ(dialog.created, 0);
}

TEST_F(OpenPair, CancellingKeepsThePairAndItsMeasurements) {
    PairFixture::OpenPair();
    AppendMeasurement({1, 2}, {3, 4}, {}, "log\n");
    Key(Qt::Key_PageUp);
    Choose({}); // cancelled
    EXPECT_TRUE(view->Image(ViewSide::Left) && view->Image(ViewSide::Right));
    EXPECT_EQ(Document().Session().Vertices().size(), 1u);
    EXPECT_EQ(Document().Session().Marks(Eye::Left).size(), 1u);
    EXPECT_EQ(view->ZoomStep(), -1);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(ui.beeps.empty());
}

TEST_F(OpenPair, ANewPairResetsListsZoomAndPanButKeepsMarksAndLog) {
    PairFixture::OpenPair();
    Click(10, 10);
    AppendMeasurement({1, 2}, {3, 4}, {}, "log\n");
    Click(12, 12);
    view->SetOffset(ViewSide::Right, {4, 4});
    Key(Qt::Key_PageUp);
    PairFixture::OpenPair();
    EXPECT_TRUE(Document().Session().Marks(Eye::Left).empty() &&
                Document().Session().Marks(Eye::Right).empty());
    EXPECT_TRUE(Document().Session().Vertices().empty());
    EXPECT_EQ(view->ZoomStep(), 0);
    EXPECT_EQ(view->Zoom(), 1.0);
    EXPECT_DOUBLE_EQ(view->Offset(ViewSide::Right).x, 0);
    EXPECT_TRUE(Document().Session().Mark(Eye::Left).has_value());
    EXPECT_EQ(Document().Session().Mark(Eye::Left), (ImagePoint{12, 12}));
    EXPECT_EQ(Document().Session().ResultsLog(), "log\n");
    EXPECT_EQ(dialog.created, 1); // the open dialog is reused
}

TEST_F(OpenPair, OneFileOrThreeFiles) {
    const std::string left = File(Title('L'), Qt::red);
    Choose({File(Title('R')), left});
    // One file: it becomes the right image; the left one is loaded again.
    const std::string other = File(Title('R') + "2", Qt::yellow);
    Choose({other});
    EXPECT_EQ(Document().Session().RightFile(), other);
    EXPECT_EQ(Document().Session().LeftFile(), left);
    EXPECT_TRUE(view->Image(ViewSide::Left) && view->Image(ViewSide::Right));
    // Three files: the third is not read.
    const std::string a = File("a"), b = File("b");
    Choose({a, b, dir.path().toStdString() + "/does-not-exist.png"});
    EXPECT_EQ(Document().Session().RightFile(), a);
    EXPECT_EQ(Document().Session().LeftFile(), b);
    EXPECT_TRUE(view->Image(ViewSide::Left) && view->Image(ViewSide::Right));
}

TEST_F(OpenPair, BeepsCanBeSwitchedOff) {
    view->SetBeepsDisabled(true);
    Choose({File(Title('R')), File(Title('L'))});
    EXPECT_TRUE(ui.beeps.empty());
}

TEST_F(OpenPair, UpperCaseExtensionsAndFoldersWithDots) {
    QDir(dir.path()).mkdir("a.b");
    const std::string left = Write("a.b/" + QString::fromStdString(Title('L')) + ".JPG",
                                   SolidImage(20, 20, Qt::red), "JPEG");
    const std::string right = Write("a.b/noextension", SolidImage(20, 20, Qt::blue), "PNG");
    Choose({right, left});
    EXPECT_TRUE(view->Image(ViewSide::Left) && view->Image(ViewSide::Right)) << Messages();
    EXPECT_EQ(view->windowTitle().toStdString(),
              "Ranvista V5.0 -- LEFT(" + Title('L') + ")  RIGHT(noextension)");
}

TEST_F(OpenPair, TwoFilesDroppedOnTheViewOpenAsLeftAndRight) {
    const std::string left = File(Title('L'), Qt::red);
    const std::string right = File(Title('R'), Qt::blue);
    EXPECT_TRUE(Drop({left, right}));
    EXPECT_EQ(Document().Session().LeftFile(), left);
    EXPECT_EQ(Document().Session().RightFile(), right);
    EXPECT_TRUE(view->Image(ViewSide::Left) && view->Image(ViewSide::Right));
    EXPECT_TRUE(ui.openRequests.empty());

    // One file is taken (it opens alone); three, or something that is not a
    // local file, are refused.
    QMimeData one;
    one.setUrls({QUrl::fromLocalFile(QString::fromStdString(left))});
    QDragEnterEvent enterOne(QPoint(10, 10), Qt::CopyAction, &one, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view.get(), &enterOne);
    EXPECT_TRUE(enterOne.isAccepted());
    QMimeData three;
    three.setUrls({QUrl::fromLocalFile(QString::fromStdString(left)),
                   QUrl::fromLocalFile(QString::fromStdString(right)),
                   QUrl::fromLocalFile(QString::fromStdString(right))});
    QDragEnterEvent enterThree(QPoint(10, 10), Qt::CopyAction, &three, Qt::NoButton,
                               Qt::NoModifier);
    QApplication::sendEvent(view.get(), &enterThree);
    EXPECT_FALSE(enterThree.isAccepted());
    QMimeData web;
    web.setUrls({QUrl("http://example.com/a.png"), QUrl("http://example.com/b.png")});
    QDragEnterEvent enterWeb(QPoint(10, 10), Qt::CopyAction, &web, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view.get(), &enterWeb);
    EXPECT_FALSE(enterWeb.isAccepted());

    // One file dropped opens alone in place of the pair.
    ui.saveChoices.push_back(IUiServices::SaveChoice::Discard);
    EXPECT_TRUE(Drop({right}));
    EXPECT_TRUE(view->IsOneImage());
    EXPECT_EQ(Document().Session().LeftFile(), right);
    EXPECT_EQ(Document().Session().RightFile(), "");
    EXPECT_FALSE(view->HasBothImages());
}

namespace {
const std::string kM20Left = "NLF_0670_0726421423_362ECM_N0320604NCAM08111_01_095J01";
const std::string kM20Right = "NRF_0670_0726421423_362ECM_N0320604NCAM08111_01_095J01";
} // namespace

TEST_F(OpenPair, DroppedRecordsOpenTheirImagesAndTheStatusBarSaysWhichModelsMeasure) {
    // Raw images of 40 x 30 beside their records; the right record was made
    // for an image twice the size (the image is a resized rendition).
    const std::string left = File(kM20Left, Qt::red);
    const std::string right = File(kM20Right, Qt::blue);
    const std::string leftJson = dir.path().toStdString() + "/" + kM20Left + "-metadata.json";
    const std::string rightJson = dir.path().toStdString() + "/" + kM20Right + ".json";
    product_test::WriteFile(leftJson, product_test::CatalogueRecord(0, {}, kM20Left, 40, 30));
    product_test::WriteFile(rightJson, product_test::CatalogueRecord(1, {}, kM20Right, 40, 30));
    std::vector<std::string> status;
    view->SetStatusSink([&status](const std::string& text) { status.push_back(text); });

    EXPECT_TRUE(Drop({leftJson, rightJson}));
    EXPECT_EQ(Document().Session().LeftFile(), left);
    EXPECT_EQ(Document().Session().RightFile(), right);
    ASSERT_TRUE(view->Image(ViewSide::Left) && view->Image(ViewSide::Right)) << Messages();
    EXPECT_TRUE(ui.messages.empty()) << Messages();
    EXPECT_EQ(view->StatusText().rfind("Camera models from the products: raw-json: CAHVOR", 0), 0u)
        << view->StatusText();

    product_test::WriteFile(rightJson, product_test::CatalogueRecord(1, {}, kM20Right, 80, 60));
    controller->OpenPairFiles(leftJson, rightJson);
    // A half-size rendition: measured with its model scaled, and said.
    EXPECT_EQ(view->StatusText().rfind("Camera models from the products: ", 0), 0u)
        << view->StatusText();
    EXPECT_NE(view->StatusText().find(kM20Right + ".png is 40 x 30 pixels, a rendition of the "
                                                  "80 x 60 image"),
              std::string::npos)
        << view->StatusText();
    // A plain pair after it: nothing said of the last pair stays.
    PairFixture::OpenPair();
    EXPECT_EQ(view->StatusText(), "");
}

TEST_F(OpenPair, MslPairsAreSwappedByTheEyeLetterOfTheirNames) {
    // MSL names carry a digit at index 23, which must not decide the order.
    const std::string leftTitle = "NLB_486263954EDR_F0481570NCAM00353M1";
    std::string rightTitle = leftTitle;
    rightTitle[1] = 'R';
    const std::string left = File(leftTitle, Qt::red);
    const std::string right = File(rightTitle, Qt::blue);
    controller->OpenPairFiles(left, right);
    EXPECT_EQ(Document().Session().LeftFile(), left);
    EXPECT_TRUE(ui.messages.empty()) << Messages();
    controller->OpenPairFiles(right, left);
    EXPECT_EQ(Document().Session().LeftFile(), left);
    EXPECT_EQ(view->Image(ViewSide::Left)->Pixels().pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_TRUE(ui.messages.empty()) << Messages();
    // Mars 2020 names likewise, by their second letter.
    const std::string m20Left = File(kM20Left, Qt::green);
    const std::string m20Right = File(kM20Right, Qt::blue);
    controller->OpenPairFiles(m20Right, m20Left);
    EXPECT_EQ(Document().Session().LeftFile(), m20Left);
    EXPECT_TRUE(ui.messages.empty()) << Messages();
}
