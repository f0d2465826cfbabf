// The view turns input into signals and leaves what they mean to whoever
// listens: a click sets no mark by itself, Space calculates nothing.
#include "ViewFixture.h"

#include <optional>
#include <utility>

namespace {

using ViewSignals = ViewFixture;

TEST_F(ViewSignals, AClickAndSpaceAreSaidNotActedOn) {
    OpenPair(SolidImage(200, 200, Qt::red), SolidImage(200, 200, Qt::blue));
    std::optional<std::pair<Eye, ImagePoint>> clicked;
    int spaces = 0;
    QObject::connect(view.get(), &CChildView::PixelClicked, [&](Eye eye, const ImagePoint& pixel) {
        clicked = {eye, pixel};
    });
    QObject::connect(view.get(), &CChildView::SpacePressed, [&] { ++spaces; });
    Click(320, 60); // the right image starts at x 220
    ASSERT_TRUE(clicked);
    EXPECT_EQ(clicked->first, Eye::Right);
    EXPECT_EQ(clicked->second, (ImagePoint{100, 60}));
    EXPECT_FALSE(view->Session().Mark(Eye::Right));
    Click(210, 10); // the gap between the panels: nothing
    EXPECT_EQ(clicked->second, (ImagePoint{100, 60}));
    Key(Qt::Key_Space);
    EXPECT_EQ(spaces, 1);
    EXPECT_TRUE(view->Session().Measurements().empty());
    EXPECT_TRUE(ui.messages.empty());
}

} // namespace
