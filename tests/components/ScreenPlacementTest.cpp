// A window's frame moved and shrunk to lie wholly in its screen's usable area.
#include "components/ScreenPlacement.h"

#include <gtest/gtest.h>

namespace {

TEST(ScreenPlacement, FramesAreMovedAndShrunkIntoTheArea)
{
    const QRect area(0, 24, 1280, 1000); // below a 24 px panel
    const struct {
        QRect frame, placed;
    } rows[] = {
        {{100, 100, 400, 300}, {100, 100, 400, 300}},   // inside: as it is
        {{200, 415, 900, 628}, {200, 396, 900, 628}},   // bottom off the edge: moved up
        {{1000, 300, 400, 300}, {880, 300, 400, 300}},  // right edge
        {{-50, 0, 400, 300}, {0, 24, 400, 300}},        // left and under the panel
        {{200, 100, 1400, 1200}, {0, 24, 1280, 1000}},  // larger than the area: shrunk
        {{3000, 2000, 300, 200}, {980, 824, 300, 200}}, // on a screen that is gone
    };
    for (const auto &r : rows) {
        EXPECT_EQ(qv::placedWhollyInside(r.frame, area), r.placed)
            << r.frame.x() << "," << r.frame.y() << " " << r.frame.width() << "x" << r.frame.height();
    }
}

} // namespace
