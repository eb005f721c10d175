// The setup window, run for real: texts for the system language, layout,
// focus, keys and the ways it ends. Each suite runs under the locale that
// its CTest entry sets (English, ZhCN, ZhTW, ZhHK).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>

#include "Harness.h"

namespace e2e {
namespace {

// A section of Setup.Ini, encoded in the code page it is written for.
std::string Section(const std::wstring& name, const std::vector<std::pair<std::wstring, std::wstring>>& keys,
                    UINT codePage)
{
    std::wstring text = L"[" + name + L"]\r\n";
    for (const auto& [key, value] : keys) text += key + L"=" + value + L"\r\n";
    return Encode(text, codePage);
}

// The three sections a vendor ships; the Chinese ones in GBK and Big5.
std::string ThreeSectionIni()
{
    return Section(L"Default",
                   {{L"Title", L"Acme USB Driver"},
                    {L"PromptCount", L"2"},
                    {L"Prompt0", L"Welcome to the Acme USB driver setup."},
                    {L"Prompt1", L"Press Install to copy the driver."},
                    {L"Setup", L"&Install"},
                    {L"Cancel", L"&Cancel"},
                    {L"Complete", L"Acme driver installed, please restart."}},
                   1252) +
           Section(L"804",
                   {{L"Title", L"USB驱动程序安装"},
                    {L"PromptCount", L"2"},
                    {L"Prompt0", L"欢迎使用 USB 驱动程序安装。"},
                    {L"Prompt1", L"请按下安装ABC"},
                    {L"Setup", L"安装(&S)"},
                    {L"Cancel", L"取消(&C)"},
                    {L"Complete", L"安装完成，请重新启动。"}},
                   936) +
           Section(L"404",
                   {{L"Title", L"USB驅動程式安裝"},
                    {L"PromptCount", L"1"},
                    {L"Prompt0", L"歡迎使用 USB 驅動程式安裝。"},
                    {L"Setup", L"安裝(&S)"},
                    {L"Cancel", L"取消(&C)"},
                    {L"Complete", L"安裝完成，請重新開機。"}},
                   950);
}

struct Shown {
    std::wstring title, prompt, setup, cancel;
};

Shown Read(HWND window)
{
    return {WindowText(window), WindowText(GetDlgItem(window, 101)), WindowText(GetDlgItem(window, IDOK)),
            WindowText(GetDlgItem(window, IDCANCEL))};
}

void ExpectShown(const Shown& shown, const Shown& expected)
{
    EXPECT_EQ(shown.title, expected.title);
    EXPECT_EQ(shown.prompt, expected.prompt);
    EXPECT_EQ(shown.setup, expected.setup);
    EXPECT_EQ(shown.cancel, expected.cancel);
}

bool operator==(const RECT& a, const RECT& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string Describe(const RECT& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
           std::to_string(r.bottom - r.top);
}

RECT Rect(int left, int top, int width, int height) { return {left, top, left + width, top + height}; }

// The window's inner area and its controls, in pixels.
struct Layout {
    RECT client, banner, prompt, install, cancel;
};

void ExpectLayout(HWND window, const Layout& expected)
{
    const struct {
        const char* name;
        RECT actual;
        RECT expected;
    } items[] = {
        {"client", ClientRect(window), expected.client},
        {"banner", ChildRect(GetDlgItem(window, 100)), expected.banner},
        {"prompt", ChildRect(GetDlgItem(window, 101)), expected.prompt},
        {"install", ChildRect(GetDlgItem(window, IDOK)), expected.install},
        {"cancel", ChildRect(GetDlgItem(window, IDCANCEL)), expected.cancel},
    };
    for (const auto& item : items)
        EXPECT_TRUE(item.actual == item.expected)
            << item.name << " is " << Describe(item.actual) << ", expected " << Describe(item.expected);
}

// The banner as the build stored it, and what the screen must show of it:
// the stored pixels themselves at 192 DPI, each the average of a 2 x 2 block
// of them at 96 DPI.
DWORD StoredBannerPixel(const std::string& bytes, int x, int y, int shrink)
{
    DWORD pixel = 0;
    for (int channel = 0; channel < 3; ++channel) {  // blue, green, red
        int sum = 0;
        for (int dy = 0; dy < shrink; ++dy)
            for (int dx = 0; dx < shrink; ++dx)
                sum += static_cast<unsigned char>(bytes[(std::size_t(y * shrink + dy) * 326 + std::size_t(x * shrink + dx)) * 3 + std::size_t(channel)]);
        const int n = shrink * shrink;
        pixel |= DWORD((sum + n / 2) / n) << (8 * channel);
    }
    return pixel;
}

// The banner inside its sunken edge (edge pixels a side) is the stored
// picture at the size for shrink, pixel for pixel: sharp, not stretched.
void ExpectSharpBanner(HWND window, int edge, int shrink, const std::wstring& pixels = g_bannerPixels)
{
    const std::string stored = ReadFileBytes(pixels);
    ASSERT_EQ(stored.size(), 326u * 568u * 3u) << "the banner's pixels from the build";
    int wrong = 0;
    std::string first;
    // What the window drew may reach the screen a moment later: look again
    // until it is right.
    DrawNow(window);
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(10)) {
        int width = 0, height = 0;
        const auto shown = PixelsOnScreen(GetDlgItem(window, 100), edge, width, height);
        ASSERT_EQ(width, 326 / shrink);
        ASSERT_EQ(height, 568 / shrink);
        wrong = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const DWORD expected = StoredBannerPixel(stored, x, y, shrink);
                const DWORD actual = shown[std::size_t(y * width + x)] & 0xFFFFFF;
                bool same = true;
                for (int shift : {0, 8, 16})
                    same = same && std::abs(int(expected >> shift & 0xFF) - int(actual >> shift & 0xFF)) <= 1;
                if (!same && wrong++ == 0) {
                    char text[64];
                    snprintf(text, sizeof text, "%d,%d: %06lx shown, %06lx stored", x, y, actual, expected);
                    first = text;
                }
            }
        if (wrong == 0) return;
    }
    ADD_FAILURE() << wrong << " pixels unlike the stored banner, the first at " << first;
}

// Esc presses Cancel: the program ends at once with exit code 0.
void EndWithEscape(SetupProcess& setup)
{
    setup.PressKey(VK_ESCAPE);
    EXPECT_EQ(setup.WaitForExit(), 0u);
}

// After Install: the message's text; Enter closes it and the program ends
// with exit code 0.
std::wstring CloseMessage(SetupProcess& setup)
{
    HWND box = setup.MessageBox();
    if (!box) return L"(no message)";
    const std::wstring text = MessageText(box);
    setup.PressKey(VK_RETURN);
    EXPECT_EQ(setup.WaitForExit(), 0u);
    return text;
}

TEST(English, WindowShowsDefaultSectionWithItsLayoutFocusAndFont)
{
    Package package(L"english");
    package.WriteIni(ThreeSectionIni());
    SetupProcess setup(package);
    HWND window = setup.MainWindow();
    ASSERT_TRUE(window);

    ExpectShown(Read(window), {L"Acme USB Driver",
                               L"\r\nWelcome to the Acme USB driver setup.\r\nPress Install to copy the driver.",
                               L"&Install", L"&Cancel"});

    // 96 DPI: 15 twips a pixel.
    ExpectLayout(window, {Rect(0, 0, 530, 333), Rect(0, 0, 167, 288), Rect(167, 0, 363, 288),
                          Rect(351, 300, 73, 22), Rect(450, 300, 73, 22)});

    ExpectSharpBanner(window, 2, 2);

    // The install button is the default button and has the focus.
    EXPECT_EQ(setup.Focus(), GetDlgItem(window, IDOK));
    EXPECT_TRUE(GetWindowLongW(GetDlgItem(window, IDOK), GWL_STYLE) & BS_DEFPUSHBUTTON);

    // Texts use the system's message font, not the legacy system font. A
    // font handle means nothing in another process, so the test compares
    // the width of the caption as drawn on the screen.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    const HFONT messageFont = CreateFontIndirectW(&metrics.lfMessageFont);
    const int shown = InkWidthOnScreen(GetDlgItem(window, IDCANCEL), 4);
    const int expected = InkWidthOfText(L"&Cancel", messageFont);
    const int legacy = InkWidthOfText(L"&Cancel", static_cast<HFONT>(GetStockObject(SYSTEM_FONT)));
    DeleteObject(messageFont);
    ASSERT_NE(expected, legacy);
    EXPECT_NEAR(shown, expected, 1) << "the legacy system font gives " << legacy;

    // Tab moves between the two buttons; the label never takes the focus.
    auto focusOn = [&](int id) { return Until([&] { return setup.Focus() == GetDlgItem(window, id); }); };
    setup.PressKey(VK_TAB);
    EXPECT_TRUE(focusOn(IDCANCEL));
    setup.PressKey(VK_TAB);
    EXPECT_TRUE(focusOn(IDOK));
    setup.PressKey(VK_TAB, VK_SHIFT);
    EXPECT_TRUE(focusOn(IDCANCEL));

    EndWithEscape(setup);
}

TEST(English, AccessKeysPressTheButtons)
{
    Package package(L"access-keys");
    package.WriteIni(ThreeSectionIni());  // &Install and &Cancel
    {
        SetupProcess setup(package);
        ASSERT_TRUE(setup.MainWindow());
        setup.PressKey('C', VK_MENU);
        EXPECT_EQ(setup.WaitForExit(), 0u);
        EXPECT_FALSE(setup.MessageBox(0));
    }
    SetupProcess setup(package);
    ASSERT_TRUE(setup.MainWindow());
    setup.PressKey('I', VK_MENU);
    EXPECT_EQ(CloseMessage(setup), L"Acme driver installed, please restart.");
}

TEST(English, EnterPressesInstallAndShowsTheCompletionMessage)
{
    Package package(L"enter");
    package.WriteIni(ThreeSectionIni());
    SetupProcess setup(package);
    ASSERT_TRUE(setup.MainWindow());
    setup.PressKey(VK_RETURN);
    HWND box = setup.MessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageText(box), L"Acme driver installed, please restart.");
    EXPECT_EQ(WindowText(box), L"Setup");
    setup.PressKey(VK_RETURN);
    EXPECT_EQ(setup.WaitForExit(), 0u);
}

TEST(English, CloseBoxAndCancelEndWithoutAMessage)
{
    for (const char* how : {"close box", "cancel button"}) {
        Package package(L"close");
        SetupProcess setup(package);
        HWND window = setup.MainWindow();
        ASSERT_TRUE(window);
        if (std::strcmp(how, "close box") == 0)
            PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        else
            SendMessageW(GetDlgItem(window, IDCANCEL), BM_CLICK, 0, 0);
        EXPECT_EQ(setup.WaitForExit(), 0u) << how;
        EXPECT_FALSE(setup.MessageBox(0)) << how;
    }
}

TEST(English, MissingSetupIniGivesTheBuiltInTexts)
{
    Package package(L"no-ini");
    SetupProcess setup(package);
    HWND window = setup.MainWindow();
    ASSERT_TRUE(window);
    ExpectShown(Read(window), {L"USB Driver", L"\r\n", L"&Setup", L"&Cancel"});
    setup.PressKey(VK_RETURN);
    EXPECT_EQ(CloseMessage(setup), L"Setup complete,please restart.");
}

TEST(English, BadSetupIniNeverStopsTheWindow)
{
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += char((i * 7919) & 0xFF);
    std::string huge = "[Default]\r\nTitle=Huge\r\n";
    while (huge.size() < (8u << 20)) huge += "Filler" + std::to_string(huge.size()) + "=some value here\r\n";
    const std::string longValue = "[Default]\r\nTitle=" + std::string(5000, 'T') + "\r\n";
    const char nulIni[] = "[Default]\r\nTitle=Before\r\nPrompt0=A\0B\r\nCancel=After\r\n";

    struct Case {
        const char* name;
        std::string ini;
        std::wstring title;
        std::wstring prompt;
    };
    const Case cases[] = {
        {"empty", "", L"USB Driver", L"\r\n"},
        {"binary", binary, L"", L""},
        {"8 MB", huge, L"Huge", L"\r\n"},
        {"lowest count", "[Default]\r\nPromptCount=-2147483648\r\nPrompt0=A\r\n", L"USB Driver", L""},
        {"long value", longValue, std::wstring(254, L'T'), L"\r\n"},
        // The reader ends a value at a NUL byte.
        {"NUL byte", std::string(nulIni, sizeof nulIni - 1), L"Before", L"\r\nA"},
        // Spaces around keys and values go, a pair of quotes goes, the first
        // of two keys counts.
        {"quotes, spaces, a key twice",
         "[Default]\r\n Title = \"  Q  \" \r\nTitle=second\r\nPromptCount= 3\r\nPrompt0=\" A \"\r\nPrompt1=  B  \r\n"
         "Prompt2='C'\r\n",
         L"Q", L"\r\n A \r\nB\r\nC"},
    };
    for (const auto& c : cases) {
        Package package(L"bad-ini");
        package.WriteIni(c.ini);
        SetupProcess setup(package);
        HWND window = setup.MainWindow();
        ASSERT_TRUE(window) << c.name;
        if (!c.title.empty()) {  // whatever a binary file gives, the window must come and go
            EXPECT_EQ(WindowText(window), c.title) << c.name;
            EXPECT_EQ(WindowText(GetDlgItem(window, 101)), c.prompt) << c.name;
        }
        setup.PressKey(VK_ESCAPE);
        EXPECT_EQ(setup.WaitForExit(), 0u) << c.name;
    }
}

TEST(English, RunningOutOfMemoryIsToldInPlainWords)
{
    for (const wchar_t* fault : {L"load", L"install"}) {
        Package package(L"out-of-memory", g_faultyExe);
        package.WriteFile(L"Driver\\e2e.inf", "inf");
        const ScopedEnvironment injected(L"SETUP_FAULT", fault);
        SetupProcess setup(package);
        if (std::wstring(fault) == L"install") {
            ASSERT_TRUE(setup.MainWindow());
            setup.PressKey(VK_RETURN);
        }
        HWND box = setup.MessageBox();
        ASSERT_TRUE(box) << "fault " << std::string(fault, fault + wcslen(fault));
        EXPECT_EQ(MessageText(box), L"Setup cannot continue: there is not enough memory.");
        EXPECT_TRUE(MessageHasIcon(box));
        setup.PressKey(VK_RETURN);
        EXPECT_EQ(setup.WaitForExit(), 2u);
    }
}

// Makes Wine prefer a DLL beside Setup.exe to its own of the same name, as
// Windows would search the program's folder, while it lives. (Wine reads
// WINEDLLOVERRIDES from the environment it started with, not from the one a
// program passes on, so the per-program setting in the registry is used.)
class NativeDllsFirst {
public:
    explicit NativeDllsFirst(const std::vector<std::wstring>& names)
    {
        RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key, nullptr);
        const std::wstring order = L"native,builtin";
        for (const auto& name : names)
            RegSetValueExW(m_key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(order.c_str()),
                           DWORD((order.size() + 1) * sizeof(wchar_t)));
    }
    ~NativeDllsFirst()
    {
        RegCloseKey(m_key);
        RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
    }
    NativeDllsFirst(const NativeDllsFirst&) = delete;
    NativeDllsFirst& operator=(const NativeDllsFirst&) = delete;

private:
    static constexpr wchar_t kKey[] = L"Software\\Wine\\AppDefaults\\Setup.exe\\DllOverrides";
    HKEY m_key = nullptr;
};

// The DLLs that system DLLs load by name after the start. Planted beside the
// program and preferred by Wine (as Windows would search the program's
// folder), none of them may be loaded: not at the start, not when the window
// draws, not while installing. (version.dll is not among them here: Wine's
// own user32 imports it, so Wine loads it before the program's first
// instruction, which no program can change.)
TEST(English, DllsLeftBesideTheProgramAreNotLoaded)
{
    const std::vector<std::wstring> names = {L"uxtheme", L"msimg32", L"dwmapi", L"userenv", L"setupapi", L"propsys",
                                             L"apphelp", L"cryptbase", L"oleacc", L"clbcatq", L"ntmarta"};
    auto plant = [](const Package& package, const std::vector<std::wstring>& planted) {
        for (const auto& name : planted)
            EXPECT_TRUE(CopyFileW(g_plantedDll.c_str(), package.Path(name + L".dll").c_str(), FALSE));
        return std::make_unique<NativeDllsFirst>(planted);
    };
    auto loaded = [](const Package& package, const std::wstring& name) { return Exists(package.Path(name + L".dll.loaded")); };

    // As it ships, where the search is restricted to System32; and as on
    // Windows 7 without the update that allows that, where every DLL of the
    // list is loaded ahead.
    for (const std::wstring fault : {L"", L"no-default-dll-directories"}) {
        Package package(L"planted", fault.empty() ? g_setupExe : g_faultyExe);
        const ScopedEnvironment injected(L"SETUP_FAULT", fault);
        package.WriteFile(L"Driver\\e2e-planted.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
        const auto overrides = plant(package, names);
        SetupProcess setup(package);
        HWND window = setup.MainWindow();
        ASSERT_TRUE(window);
        DrawNow(window);  // the DLLs that drawing loads are loaded by then
        setup.PressKey(VK_RETURN);
        HWND box = setup.MessageBox(30000);
        ASSERT_TRUE(box);
        setup.PressKey(VK_RETURN);
        EXPECT_TRUE(setup.WaitForExit());
        for (const auto& name : names)
            EXPECT_FALSE(loaded(package, name)) << std::string(name.begin(), name.end()) << ".dll was loaded, fault "
                                                << std::string(fault.begin(), fault.end());
        DeleteFileW(L"C:\\windows\\inf\\e2e-planted.inf");
    }
    // Without loading them ahead, msimg32 is loaded from beside the program
    // when the window first draws (uxtheme loads it late, by name).
    for (const std::wstring name : {L"msimg32"}) {
        Package package(L"planted-no-preload", g_faultyExe);
        const ScopedEnvironment fault(L"SETUP_FAULT", L"no-preload");
        const auto overrides = plant(package, {name});
        SetupProcess setup(package);
        HWND window = setup.MainWindow();
        ASSERT_TRUE(window);
        DrawNow(window);
        EXPECT_TRUE(Until([&] { return loaded(package, name); })) << std::string(name.begin(), name.end()) << ".dll was not loaded";
    }
}

// A vendor's build: its picture, converted by the build, is the banner, the
// program with its names in the manifest starts like any other, and its
// product names its message boxes.
TEST(English, BrandedBuildShowsItsOwnBanner)
{
    Package package(L"branded", g_brandedExe);
    package.WriteIni(ThreeSectionIni());
    SetupProcess setup(package);
    HWND window = setup.MainWindow();
    ASSERT_TRUE(window) << "a manifest the system cannot read stops the program";
    EXPECT_EQ(WindowText(window), L"Acme USB Driver");
    ExpectSharpBanner(window, 2, 2, g_brandedBannerPixels);
    setup.PressKey(VK_RETURN);
    HWND box = setup.MessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(WindowText(box), L"Widget \u00DCn\u00EFcode \"Pro\" & Co");
    setup.PressKey(VK_RETURN);
    EXPECT_EQ(setup.WaitForExit(), 0u);
}

TEST(English, HugePromptCountShowsTheWindowAtOnce)
{
    Package package(L"huge-count");
    package.WriteIni("[Default]\r\nPromptCount=2147483647\r\nPrompt0=First\r\nPrompt2=Third\r\n");
    SetupProcess setup(package);
    HWND window = setup.MainWindow();
    ASSERT_TRUE(window);
    EXPECT_LT(setup.MillisecondsToWindow(), 3000.0);  // a generous bound; the benchmark measures
    const std::wstring prompt = WindowText(GetDlgItem(window, 101));
    EXPECT_EQ(prompt.substr(0, 16), L"\r\nFirst\r\n\r\nThird");
    EXPECT_EQ(prompt.find_first_not_of(L"\r\n", 16), std::wstring::npos);
    EndWithEscape(setup);
}

TEST(English, ProgramFolderOutsideTheCodePageIsFound)
{
    Package package(L"Дмитрий\\Downloads\\driver");
    package.WriteIni(ThreeSectionIni());
    SetupProcess setup(package);
    HWND window = setup.MainWindow();
    ASSERT_TRUE(window);
    EXPECT_EQ(WindowText(window), L"Acme USB Driver");
    EndWithEscape(setup);
}

// Runs with the system set to Dpi, and sets it back after.
template <DWORD Dpi>
class SystemDpi : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_ALL_ACCESS, &m_key), ERROR_SUCCESS);
        m_hadValue = RegQueryValueExW(m_key, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&m_old),
                                      &m_size) == ERROR_SUCCESS;
        const DWORD dpi = Dpi;
        RegSetValueExW(m_key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
        // Read the other program's windows in real pixels.
        using SetContext = HANDLE(WINAPI*)(HANDLE);
        if (const auto set = reinterpret_cast<SetContext>(reinterpret_cast<void*>(
                GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext"))))
            set(reinterpret_cast<HANDLE>(-4));  // per-monitor aware, version 2
    }
    void TearDown() override
    {
        if (!m_key) return;
        if (m_hadValue)
            RegSetValueExW(m_key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&m_old), sizeof m_old);
        else
            RegDeleteValueW(m_key, L"LogPixels");
        RegCloseKey(m_key);
    }

private:
    HKEY m_key = nullptr;
    DWORD m_old = 96, m_size = sizeof(DWORD);
    bool m_hadValue = false;
};

class HighDpi : public SystemDpi<144> {};     // 150 %
class DoubleDpi : public SystemDpi<192> {};   // 200 %

// The controls at 192 DPI: 7.5 twips a pixel.
Layout At192Dpi(const RECT& client)
{
    return {client, Rect(0, 0, 334, 576), Rect(334, 0, 726, 576), Rect(702, 600, 146, 44), Rect(900, 600, 146, 44)};
}

TEST_F(HighDpi, LayoutScalesWithTheSystemDpi)
{
    Package package(L"high-dpi");
    SetupProcess setup(package);
    HWND window = setup.MainWindow();
    ASSERT_TRUE(window);
    // 144 DPI: 10 twips a pixel; edges are rounded, so neighbours stay flush.
    ExpectLayout(window, {Rect(0, 0, 795, 500), Rect(0, 0, 251, 432), Rect(251, 0, 544, 432),
                          Rect(527, 450, 109, 33), Rect(675, 450, 110, 33)});
    EndWithEscape(setup);
}

// A window moved to a monitor of 192 DPI takes the size it asked for and
// lays itself out, banner and all, as if it had started there.
TEST(English, MovedToAnotherDpiTheWindowLaysItselfOutAgain)
{
    Package package(L"dpi-change", g_faultyExe);
    const ScopedEnvironment fault(L"SETUP_FAULT", L"dpi-192");
    SetupProcess setup(package);
    HWND window = setup.MainWindow();
    ASSERT_TRUE(window);
    HWND cancel = GetDlgItem(window, IDCANCEL);
    ASSERT_TRUE(Until([&] { return ChildRect(cancel).left == 900; })) << "the window was not laid out again";
    DrawNow(window);  // done with the DPI change, and drawn
    // The inner width is the design's at 192 DPI. (Its height is not: Wine
    // keeps drawing the frame of 96 DPI, which the window cannot know.)
    EXPECT_EQ(ClientRect(window).right, 1060);
    const RECT client = ClientRect(window);
    ExpectLayout(window, At192Dpi(client));
    ExpectSharpBanner(window, 4, 1);
    EndWithEscape(setup);
}

TEST_F(DoubleDpi, LayoutAndBannerAtTwiceTheSize)
{
    Package package(L"double-dpi");
    SetupProcess setup(package);
    HWND window = setup.MainWindow();
    ASSERT_TRUE(window);
    ExpectLayout(window, At192Dpi(Rect(0, 0, 1060, 666)));
    // The edge is twice as wide, and the banner inside it is the stored
    // picture itself.
    ExpectSharpBanner(window, 4, 1);
    EndWithEscape(setup);
}

TEST(ZhCN, GbkSection804IsShownExactly)
{
    ASSERT_EQ(GetSystemDefaultLangID(), 2052) << "run with LC_ALL=zh_CN.UTF-8";
    // The file really is GBK: 安装 is B0 B2 D7 B0.
    ASSERT_EQ(Encode(L"安装", 936), "\xB0\xB2\xD7\xB0");
    Package package(L"zh-cn");
    package.WriteIni(ThreeSectionIni());
    SetupProcess setup(package);
    HWND window = setup.MainWindow();
    ASSERT_TRUE(window);
    // No NUL and no trailing spaces after double-byte texts.
    ExpectShown(Read(window), {L"USB驱动程序安装", L"\r\n欢迎使用 USB 驱动程序安装。\r\n请按下安装ABC",
                               L"安装(&S)", L"取消(&C)"});
    setup.PressKey(VK_RETURN);
    EXPECT_EQ(CloseMessage(setup), L"安装完成，请重新启动。");
}

TEST(ZhCN, OnlyDefaultSectionGivesBuiltInTexts)
{
    Package package(L"zh-cn-default-only");
    package.WriteIni(Section(L"Default", {{L"Title", L"Not this"}, {L"Setup", L"Nor this"}}, 1252));
    SetupProcess setup(package);
    HWND window = setup.MainWindow();
    ASSERT_TRUE(window);
    ExpectShown(Read(window), {L"USB Driver", L"\r\n", L"&Setup", L"&Cancel"});
    EndWithEscape(setup);
}

TEST(ZhCN, LongDoubleByteValueIsCutOnAWholeCharacter)
{
    // 1 + 200 * 2 bytes: 127 characters fit in 254 bytes (1 + 126 * 2 = 253).
    const std::wstring value = L"A" + std::wstring(200, L'中');
    Package package(L"zh-cn-long");
    package.WriteIni(Section(L"804", {{L"Title", value}}, 936));
    SetupProcess setup(package);
    HWND window = setup.MainWindow();
    ASSERT_TRUE(window);
    EXPECT_EQ(WindowText(window), value.substr(0, 127));
    EndWithEscape(setup);
}

TEST(ZhTW, Big5Section404IsShownExactly)
{
    ASSERT_EQ(GetSystemDefaultLangID(), 1028) << "run with LC_ALL=zh_TW.UTF-8";
    Package package(L"zh-tw");
    package.WriteIni(ThreeSectionIni());
    SetupProcess setup(package);
    HWND window = setup.MainWindow();
    ASSERT_TRUE(window);
    ExpectShown(Read(window), {L"USB驅動程式安裝", L"\r\n歡迎使用 USB 驅動程式安裝。", L"安裝(&S)", L"取消(&C)"});
    setup.PressKey(VK_RETURN);
    EXPECT_EQ(CloseMessage(setup), L"安裝完成，請重新開機。");
}

TEST(ZhHK, HongKongReadsTheDefaultSection)
{
    ASSERT_EQ(GetSystemDefaultLangID(), 3076) << "run with LC_ALL=zh_HK.UTF-8";
    Package package(L"zh-hk");
    package.WriteIni(ThreeSectionIni());
    SetupProcess setup(package);
    HWND window = setup.MainWindow();
    ASSERT_TRUE(window);
    EXPECT_EQ(WindowText(window), L"Acme USB Driver");
    EndWithEscape(setup);
}

}  // namespace
}  // namespace e2e

int wmain(int argc, wchar_t** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!e2e::ParseArguments(argc, argv)) {
        fprintf(stderr, "usage: setup_e2e --setup=PATH\\Setup.exe [--faulty=... --planted=... --banner=...] [gtest options]\n");
        return 2;
    }
    const int failed = RUN_ALL_TESTS();
    // A filter that matches nothing is a mistake, not a pass.
    if (testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
        fprintf(stderr, "no test matches the filter\n");
        return 1;
    }
    return failed;
}
