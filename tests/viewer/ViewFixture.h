// A stereo view on screen (offscreen) with a recording user interface and a
// scratch folder for images and settings.
#pragma once

#include "ui/UiMessageSink.h"
#include "viewer/ChildView.h"

#include "tests/support/FakeUi.h"
#include "tests/support/TestImages.h"

#include "imagedb/ImageDatabase.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

class ViewFixture : public ::testing::Test {
protected:
    // A 420 x 300 client: panels of side 200 at x 0 and x 220.
    static constexpr int kWidth = 420;
    static constexpr int kHeight = 300;
    // Titles that identify as a correct left / right MER pair.
    static constexpr const char* kLeftTitle = "1N128287142EFF0300P1800L0M1";
    static constexpr const char* kRightTitle = "1N128287142EFF0300P1800R0M1";

    void SetUp() override {
        ClearSettings();
        db.SetStorePath(dir.path().toStdString() + "/no/such/ImgBinDat");
        view = MakeView();
    }

    void TearDown() override { view.reset(); }

    // The document the view draws: the fixture's own here.
    virtual PairDocument& Document() {
        if (!document) {
            document = std::make_unique<PairDocument>(db);
        }
        return *document;
    }
    // A view was made.
    virtual void ViewMade(CChildView&) {}

    // A measurement of the open pair, as a calculation appends it.
    void AppendMeasurement(const ImagePoint& left, const ImagePoint& right,
                           const VertexRecord& vertex, const std::string& logEntry) {
        PairDocument& doc = Document();
        doc.Session().Append(left, right, vertex, logEntry, vertex.m_ptPosition);
        doc.Touch(PairDocument::Change::Measurements);
        view->Repaint();
    }

    std::unique_ptr<CChildView> MakeView() {
        auto v = std::make_unique<CChildView>(ui, Document());
        ViewMade(*v);
        v->resize(kWidth, kHeight);
        v->installEventFilter(&paintCounter);
        v->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(v.get()));
        return v;
    }

    static void ClearSettings() {
        QSettings s(CChildView::kSettingsName, CChildView::kSettingsName);
        s.clear();
        s.sync();
    }

    std::string Write(const QString& name, const QImage& img, const char* format = nullptr) {
        return WriteImage(dir, name, img, format);
    }

    // Shows a pair read from files: a red 100 x 80 left image and a blue
    // 160 x 120 right image unless given.
    void OpenPair(QImage left = SolidImage(100, 80, Qt::red),
                  QImage right = SolidImage(160, 120, Qt::blue)) {
        const std::string l = Write(QString(kLeftTitle) + ".png", left);
        const std::string r = Write(QString(kRightTitle) + ".png", right);
        DecodedPair images{LoadImageFile(l), LoadImageFile(r)};
        ASSERT_TRUE(images.left->IsValid() && images.right->IsValid());
        Document().Open({l, r, images.Sizes(), Document().Setup().options});
        view->ShowPair(std::move(images));
        ASSERT_TRUE(view->Image(ViewSide::Left) && view->Image(ViewSide::Right)) << Messages();
        ui.messages.clear();
        ui.beeps.clear();
    }

    std::string Messages() const {
        std::string all;
        for (const auto& m : ui.messages) {
            all += m + "; ";
        }
        return all;
    }

    void Click(int x, int y, Qt::MouseButton b = Qt::LeftButton) {
        QTest::mouseClick(view.get(), b, Qt::NoModifier, QPoint(x, y));
    }
    void Move(int x, int y, Qt::MouseButtons buttons = Qt::NoButton) {
        QMouseEvent e(QEvent::MouseMove, QPointF(x, y), view->mapToGlobal(QPointF(x, y)),
                      Qt::NoButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(view.get(), &e);
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier, int count = 1) {
        QKeyEvent e(QEvent::KeyPress, key, mods, QString(), count > 1, static_cast<quint16>(count));
        QApplication::sendEvent(view.get(), &e);
    }
    QImage Render() {
        QImage buffer(view->size(), QImage::Format_RGB32);
        buffer.fill(Qt::green); // anything left unpainted shows
        view->RenderTo(buffer);
        return buffer;
    }

    // Counts the paints the view receives.
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            paints += e->type() == QEvent::Paint;
            return false;
        }
    };
    int Paints() const { return paintCounter.paints; }

    QTemporaryDir dir;
    ImageDatabase db;
    PaintCounter paintCounter;
    FakeUi ui;
    CUiMessageSink sink{ui};
    ScopedMessageSink sinkScope{&sink};
    std::unique_ptr<PairDocument> document; // without a controller to own it
    std::unique_ptr<CChildView> view;
};
