// The stereo view with its pair's controller, which owns the document the
// view draws and whose Analyse dialog is a recording stand-in.
#pragma once

#include "app/PairController.h"

#include "FakeCalcDialog.h"
#include "tests/viewer/ViewFixture.h"

#include <memory>

class PairFixture : public ViewFixture {
protected:
    void SetUp() override {
        ViewFixture::SetUp();
        controller->SetCalcDialogFactory(FakeCalcDialogFactory(dialog));
    }
    void TearDown() override {
        view.reset(); // the view draws the controller's document
        controller.reset();
        ViewFixture::TearDown();
    }
    // Made with the first view, after the settings were cleared.
    PairDocument& Document() override {
        if (!controller) {
            controller = std::make_unique<CPairController>(ui, db);
        }
        return controller->Document();
    }
    void ViewMade(CChildView& v) override {
        Document();
        controller->SetView(v);
    }

    // Opens a pair through File > Open Stereo Pair's chooser: a red 100 x 80
    // left image and a blue 160 x 120 right image unless given.
    void OpenPair(QImage left = SolidImage(100, 80, Qt::red),
                  QImage right = SolidImage(160, 120, Qt::blue)) {
        const std::string l = Write(QString(kLeftTitle) + ".png", left);
        const std::string r = Write(QString(kRightTitle) + ".png", right);
        ui.AnswerOpen({r, l});
        controller->OnOpenStereoPair();
        ASSERT_TRUE(view->Image(ViewSide::Left) && view->Image(ViewSide::Right)) << Messages();
        ui.messages.clear();
        ui.beeps.clear();
    }

    CalcDialogLog dialog;
    std::unique_ptr<CPairController> controller;
};
