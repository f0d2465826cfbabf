// The whole application started with a recording user interface, its store
// and images in a scratch folder.
#pragma once

#include "app/HelpOpener.h"
#include "app/PairController.h"
#include "app/RanvistaApp.h"
#include "viewer/CommandIds.h"

#include "tests/support/FakeUi.h"
#include "tests/support/TestImages.h"

#include "imagedb/ImageDatabase.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

#include <QUrl>

#include <memory>
#include <vector>

// Records the addresses Help opens instead of opening them.
class FakeHelpOpener : public IHelpOpener {
public:
    explicit FakeHelpOpener(std::vector<QUrl>& opened) : m_opened(opened) {}
    bool OpenUrl(const QUrl& url) override {
        m_opened.push_back(url);
        return true;
    }

private:
    std::vector<QUrl>& m_opened;
};

class AppFixture : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings s("Ranvista", "Ranvista");
        s.clear();
        s.sync();
    }
    void TearDown() override { Stop(); }

    void Start(StartupOptions options = {}) {
        if (options.sStorePath.empty()) {
            options.sStorePath = StorePath();
        }
        app = std::make_unique<CRanvistaApp>(&ui);
        ASSERT_TRUE(app->InitInstance(options));
        frame = app->MainFrame();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
    }
    void Stop() {
        if (app) {
            app->ExitInstance(0);
            app.reset();
            frame = nullptr;
        }
    }
    std::string StorePath() const { return dir.path().toStdString() + "/ImgBinDat"; }
    CChildView& View() { return frame->View(); }
    CPairController& Controller() { return frame->Controller(); }
    QAction* Action(int id) {
        QAction* a = frame->Action(id);
        EXPECT_NE(a, nullptr) << id;
        return a;
    }
    // Opening a menu brings its check marks and enabled states up to date.
    void OpenMenus() {
        for (QMenu* m : frame->menuBar()->findChildren<QMenu*>()) {
            emit m->aboutToShow();
        }
    }

    QTemporaryDir dir;
    FakeUi ui;
    std::unique_ptr<CRanvistaApp> app;
    CMainFrame* frame = nullptr;
};
