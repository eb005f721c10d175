#include <gtest/gtest.h>

#include "FakeForm.h"
#include "FakeMachine.h"
#include "app/frmMain.h"

namespace setup {
namespace {

TEST(Twips, WindowScalesWithDpiAndControlsStayFlush)
{
    struct Case {
        unsigned dpi;
        PixelRect inner, banner, label, install, cancel;
    };
    const Case cases[] = {
        {96, {0, 0, 530, 333}, {0, 0, 167, 288}, {167, 0, 363, 288}, {351, 300, 73, 22}, {450, 300, 73, 22}},
        {120, {0, 0, 663, 416}, {0, 0, 209, 360}, {209, 0, 454, 360}, {439, 375, 91, 28}, {563, 375, 91, 28}},
        {144, {0, 0, 795, 500}, {0, 0, 251, 432}, {251, 0, 544, 432}, {527, 450, 109, 33}, {675, 450, 110, 33}},
        {192, {0, 0, 1060, 666}, {0, 0, 334, 576}, {334, 0, 726, 576}, {702, 600, 146, 44}, {900, 600, 146, 44}},
    };
    // The rectangles as the window's load event leaves them.
    test::FakeSetup fakes;
    test::FakeForm form(frmMainDesign());
    frmMain window(fakes.Get(), form);
    window.Form_Load();
    for (const auto& c : cases) {
        EXPECT_EQ(ToPixels(form.rects[Control::Form], c.dpi), c.inner) << c.dpi;
        EXPECT_EQ(ToPixels(form.rects[Control::img], c.dpi), c.banner) << c.dpi;
        EXPECT_EQ(ToPixels(form.rects[Control::lbl], c.dpi), c.label) << c.dpi;
        EXPECT_EQ(ToPixels(form.rects[Control::cmdNext], c.dpi), c.install) << c.dpi;
        EXPECT_EQ(ToPixels(form.rects[Control::cmdCancel], c.dpi), c.cancel) << c.dpi;
    }
    // At any DPI the prompt starts where the banner ends and reaches the
    // right edge: rounding opens no gap and makes no overlap.
    for (unsigned dpi = 96; dpi <= 480; ++dpi) {
        const PixelRect inner = ToPixels(form.rects[Control::Form], dpi), banner = ToPixels(form.rects[Control::img], dpi),
                        label = ToPixels(form.rects[Control::lbl], dpi);
        EXPECT_EQ(label.left, banner.left + banner.width) << dpi;
        EXPECT_EQ(label.left + label.width, inner.width) << dpi;
    }
    EXPECT_EQ(TwipsToPixels(-22.5, 96), -2);  // halves round away from zero
    EXPECT_EQ(TwipsToPixels(7.5, 96), 1);
}

}  // namespace
}  // namespace setup
