// The platform layers under the view: tones, file filters, message routing.
#include "ui/QtUiServices.h"
#include "ui/TonePlayer.h"
#include "ui/UiMessageSink.h"

#include "tests/support/FakeUi.h"

#include <gtest/gtest.h>

#include <atomic>

TEST(TonePlayer, WithoutASoundDeviceEveryToneFallsBackToABeep) {
    std::atomic<int> beeps{0};
    CTonePlayer player("no_such_device_here", [&] { ++beeps; });
    player.Play(3000, 200);
    player.Play(3100, 100);
    player.WaitIdle();
    EXPECT_EQ(beeps.load(), 2);
}

TEST(TonePlayer, PlaysOnADeviceThatOpens) {
    std::atomic<int> beeps{0};
    CTonePlayer player("null", [&] { ++beeps; });
    player.Play(3000, 20);
    player.WaitIdle();
    EXPECT_EQ(beeps.load(), 0);
}

TEST(TonePlayer, StopsWithTonesStillQueued) {
    std::atomic<int> beeps{0};
    {
        CTonePlayer player("null", [&] { ++beeps; });
        for (int i = 0; i < 50; ++i) {
            player.Play(3000, 200);
        }
    } // must not wait for ten seconds of tones, nor crash
    EXPECT_EQ(beeps.load(), 0);
}

TEST(UiServices, FileFiltersInQtForm) {
    EXPECT_EQ(ToQtFileFilter("Image Files|*.bmp;*.gif;*.jp2;||"),
              "Image Files (*.bmp *.gif *.jp2)");
    EXPECT_EQ(ToQtFileFilter("Text|*.txt|Data|*.dat;*.bin||"), "Text (*.txt);;Data (*.dat *.bin)");
    EXPECT_EQ(ToQtFileFilter(""), "");
    // A name that shows its patterns already gets them once.
    EXPECT_EQ(ToQtFileFilter("CSV Files (*.csv)|*.csv||"), "CSV Files (*.csv)");
    EXPECT_EQ(ToQtFileFilter("PLY Files (*.ply)|*.ply|All Files|*||"),
              "PLY Files (*.ply);;All Files (*)");
}

TEST(UiServices, CoreMessagesBecomeMessageBoxes) {
    FakeUi ui;
    CUiMessageSink sink(ui);
    {
        ScopedMessageSink scope(&sink);
        ReportMessage("Unable to open /nowhere/ImgBinDat");
    }
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "Unable to open /nowhere/ImgBinDat");
}
