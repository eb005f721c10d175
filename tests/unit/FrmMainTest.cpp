#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "app/frmMain.h"

namespace setup {
namespace {

using test::FakeForm;
using test::FakeServices;

TEST(frmMain, LoadPlacesThePromptBesideTheBannerAndSetsTheTexts)
{
    FakeServices services;
    services.Set(L"Default", L"Title", L"Acme USB");
    services.Set(L"Default", L"Prompt0", L"Press Install.");
    services.Set(L"Default", L"Setup", L"&Install");
    services.Set(L"Default", L"Cancel", L"E&xit");
    FakeForm form(frmMainDesign());
    frmMain window(services, form);
    window.Form_Load();

    EXPECT_EQ(form.rects[Control::img], (Twips{0, 0, 2505, 4320}));
    EXPECT_EQ(form.rects[Control::lbl], (Twips{2505, 0, 7950 - 2505, 4320}));
    EXPECT_EQ(form.rects[Control::cmdNext], (Twips{5265, 4500, 1095, 330}));
    EXPECT_EQ(form.rects[Control::cmdCancel], (Twips{6750, 4500, 1095, 330}));
    EXPECT_EQ(form.texts[Control::Form], L"Acme USB");
    EXPECT_EQ(form.texts[Control::lbl], L"\r\nPress Install.");
    EXPECT_EQ(form.texts[Control::cmdNext], L"&Install");
    EXPECT_EQ(form.texts[Control::cmdCancel], L"E&xit");
    // Setup.Ini is read from the program folder only.
    for (const auto& path : services.pathsRead) EXPECT_EQ(path, L"C:\\Package\\Setup.Ini");
    EXPECT_FALSE(form.ended);
}

TEST(frmMain, LabelTakesTheBannerSizeRoundedHalfToEven)
{
    struct Case {
        Twips banner;
        double scaleWidth;
        Twips label;
    };
    const Case cases[] = {
        {{0, 0, 2505.5, 4320.5}, 7950, {2506, 0, 5444, 4320}},
        {{0, 0, 2504.5, 4321.5}, 7950, {2504, 0, 5446, 4322}},
        {{30, 45, 2000, 3000}, 9000.25, {2000, 0, 7000.25, 3000}},
    };
    for (const auto& c : cases) {
        FakeServices services;
        FormDesign design = frmMainDesign();
        design.scaleWidth = c.scaleWidth;
        design.controls[0].rect = c.banner;
        FakeForm form(design);
        frmMain window(services, form);
        window.Form_Load();
        EXPECT_EQ(form.rects[Control::lbl], c.label);
        EXPECT_EQ(form.rects[Control::img], (Twips{0, 0, c.banner.width, c.banner.height}));
    }
}

TEST(frmMain, CancelEndsAtOnceWithoutAMessage)
{
    FakeServices services;
    FakeForm form(frmMainDesign());
    frmMain window(services, form);
    window.Form_Load();
    window.cmdCancel_Click();
    EXPECT_TRUE(form.ended);
    EXPECT_EQ(form.exitCode, 0);
    EXPECT_TRUE(form.messages.empty());
}

}  // namespace
}  // namespace setup
