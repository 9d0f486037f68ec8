// Where a restored window goes: the screen clamp and the monitor rule, case
// by case. Screen 15360 x 11520 twips, one monitor unless a case adds one.
#include <gtest/gtest.h>

#include <ostream>

#include "native/case_names.h"
#include "ui/window.h"

namespace hw::ui {
namespace {

struct PlaceCase {
    const char* what;
    Rect window;
    bool secondMonitorLeft;
    int left, top;
};
void PrintTo(const PlaceCase& c, std::ostream* out) { *out << c.what; }

class PlaceOnScreenTable : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(PlaceOnScreenTable, ClampsAndFindsAMonitor) {
    const PlaceCase& c = GetParam();
    Screen screen;
    if (c.secondMonitorLeft) screen.monitors.push_back({-screen.width, 0, 0, screen.height});
    const Rect placed = PlaceOnScreen(c.window, screen);
    EXPECT_EQ(placed.left, c.left) << c.what;
    EXPECT_EQ(placed.top, c.top) << c.what;
    EXPECT_EQ(placed.Width(), c.window.Width()) << c.what;
    EXPECT_EQ(placed.Height(), c.window.Height()) << c.what;
}

constexpr int kW = 6105, kH = 5055;  // the main window
INSTANTIATE_TEST_SUITE_P(
    Cases, PlaceOnScreenTable,
    ::testing::Values(
        PlaceCase{"inside stays", {1000, 800, 1000 + kW, 800 + kH}, false, 1000, 800},
        PlaceCase{"past the right edge is pulled back", {14000, 300, 14000 + kW, 300 + kH}, false, 15360 - kW, 300},
        PlaceCase{"past the bottom is pulled up", {100, 11000, 100 + kW, 11000 + kH}, false, 100, 11520 - kH},
        PlaceCase{"partly off at the top left is kept", {-100, -100, -100 + kW, -100 + kH}, false, -100, -100},
        PlaceCase{"on a removed monitor comes back", {-9000, 300, -9000 + kW, 300 + kH}, false, 0, 300},
        PlaceCase{"far above comes down", {100, -8000, 100 + kW, -8000 + kH}, false, 100, 0},
        PlaceCase{"beyond both edges", {15360, 11520, 15360 + kW, 11520 + kH}, false, 15360 - kW, 11520 - kH},
        PlaceCase{"on the second monitor stays", {-9000, 300, -9000 + kW, 300 + kH}, true, -9000, 300}),
    [](const auto& info) { return testing::CaseName(info.param.what); });

struct ScaleCase {
    int dpi;
    double twipsPerPixel;
    int pixels, twips;
};
void PrintTo(const ScaleCase& c, std::ostream* out) {
    *out << c.pixels << " pixels at " << c.dpi << " dpi are " << c.twips << " twips";
}

class TwipsAtEveryScale : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(TwipsAtEveryScale, ConvertUnroundedBothWays) {
    const ScaleCase& c = GetParam();
    EXPECT_DOUBLE_EQ(TwipsPerPixelAt(c.dpi), c.twipsPerPixel);
    EXPECT_EQ(PixelsToTwips(c.pixels, c.dpi), c.twips);
    EXPECT_EQ(TwipsToPixels(c.twips, c.dpi), c.pixels);
}

// A window 700 pixels wide: 8.57 twips a pixel at 168 dpi, not 8.
INSTANTIATE_TEST_SUITE_P(Scales, TwipsAtEveryScale,
                         ::testing::Values(ScaleCase{96, 15.0, 700, 10500}, ScaleCase{120, 12.0, 700, 8400},
                                           ScaleCase{144, 10.0, 700, 7000}, ScaleCase{168, 1440.0 / 168, 700, 6000},
                                           ScaleCase{192, 7.5, 700, 5250}, ScaleCase{168, 1440.0 / 168, -35, -300}),
                         [](const auto& info) {
                             const ScaleCase& c = info.param;
                             return testing::CaseName(std::to_string(c.pixels) + " pixels at " + std::to_string(c.dpi) +
                                                      " dpi" + (c.pixels < 0 ? " left of the origin" : ""));
                         });

}  // namespace
}  // namespace hw::ui
