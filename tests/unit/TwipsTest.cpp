#include <gtest/gtest.h>

#include "FakeForm.h"
#include "FakeMachine.h"
#include "app/frmMain.h"

namespace setup {
namespace {

TEST(Twips, PromptStaysFlushWithTheBannerAtEveryDpi)
{
    // The rectangles as the window's load event leaves them.
    test::FakeSetup fakes;
    test::FakeForm form(frmMainDesign());
    frmMain window(fakes.Get(), form);
    window.Form_Load();
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
