// The stereo view with its pair's controller, whose Analyse dialog is a
// recording stand-in.
#pragma once

#include "app/PairController.h"

#include "FakeCalcDialog.h"
#include "tests/viewer/ViewFixture.h"

#include <memory>

class PairFixture : public ViewFixture {
protected:
    void SetUp() override {
        ViewFixture::SetUp();
        controller = std::make_unique<CPairController>(*view, ui);
        controller->SetCalcDialogFactory(FakeCalcDialogFactory(dialog));
    }
    void TearDown() override {
        controller.reset();
        ViewFixture::TearDown();
    }

    CalcDialogLog dialog;
    std::unique_ptr<CPairController> controller;
};
