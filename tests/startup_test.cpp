// The settings window as start-up builds it: classes, geometry, children, fonts, slider set-up and tooltips.
#include "support/app_fixture.h"
#include <commctrl.h>

namespace {
using SettingsWindow = AppFixture;

TEST_F(SettingsWindow, MainWindowHasItsClassStyleAndClientSize) {
    Start();
    ASSERT_TRUE(IsWindow(app.mainWindow));
    EXPECT_EQ(ClassName(app.mainWindow), L"VitreaClass");
    EXPECT_EQ(WindowText(app.mainWindow), L"Vitrea");
    // The system adds WS_CLIPSIBLINGS to every top-level window.
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(app.mainWindow, GWL_STYLE)) & ~(WS_VISIBLE | WS_CLIPSIBLINGS), 0x80CA0004u);
    EXPECT_EQ(GetWindowLongW(app.mainWindow, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);
    EXPECT_FALSE(IsWindowVisible(app.mainWindow)) << "created hidden";
    RECT client;
    GetClientRect(app.mainWindow, &client);
    EXPECT_EQ(client.right, 363);
    EXPECT_EQ(client.bottom, 134);
    RECT frame;
    GetWindowRect(app.mainWindow, &frame);
    int caption = GetSystemMetrics(SM_CYDLGFRAME) + GetSystemMetrics(SM_CYCAPTION);
    EXPECT_EQ(frame.left, (GetSystemMetrics(SM_CXSCREEN) - 369) / 2);
    EXPECT_EQ(frame.top, (GetSystemMetrics(SM_CYSCREEN) - caption - 137) / 2);

    WNDCLASSEXW cls = {sizeof cls};
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"VitreaClass", &cls));
    EXPECT_EQ(cls.style, 0u);
    EXPECT_EQ(cls.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    EXPECT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"VitreaAboutClass", &cls));
    EXPECT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"VitreaFakeClass", &cls));
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"VitreaButton", &cls));
    EXPECT_EQ(cls.style & CS_DBLCLKS, 0u) << "a quick second click must stay a click";
}

TEST_F(SettingsWindow, ChildrenAreCreatedInOrderWithTheirStylesAndPlaces) {
    Start();
    struct Expected {
        HWND AppState::*field;
        const WCHAR* cls;
        const WCHAR* text;
        DWORD style;
        RECT place;
    };
    const Expected expected[] = {
        {&AppState::firstKeyCombo, L"ComboBox", L"", 0x50000003, {10, 18, 85, 0}},
        {&AppState::secondKeyCombo, L"ComboBox", L"", 0x50000003, {100, 18, 175, 0}},
        {&AppState::keySetCombo, L"ComboBox", L"", 0x50000003, {190, 18, 265, 0}},
        {&AppState::shortcutButton, L"VitreaButton", L"Keyboard Shortcut", 0x5000000B, {5, 66, 115, 81}},
        {&AppState::taskbarButton, L"VitreaButton", L"Taskbar Transparency", 0x5000000B, {194, 66, 321, 81}},
        {&AppState::alphaSlider, L"msctls_trackbar32", L"Taskbar Transparency Alpha", 0x50000458, {7, 102, 356, 127}},
        {&AppState::optionsButton, L"VitreaButton", L"Vitrea", 0x5000000B, {277, 4, 361, 50}},
    };
    std::vector<HWND> children = Children(app.mainWindow);
    ASSERT_EQ(children.size(), std::size(expected)) << "the tooltip is a top-level window, the rest are children";
    for (size_t i = 0; i < children.size(); ++i) {
        const Expected& e = expected[i];
        SCOPED_TRACE(testing::Message() << "child " << i);
        EXPECT_EQ(children[i], app.*e.field);
        EXPECT_EQ(ClassName(children[i]), e.cls);
        if (e.cls != std::wstring(L"ComboBox")) EXPECT_EQ(WindowText(children[i]), e.text);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(children[i], GWL_STYLE)) & ~WS_DISABLED & 0xFFFF0FFF, e.style & 0xFFFF0FFF);
        EXPECT_EQ(GetDlgCtrlID(children[i]), 0);
        RECT r;
        GetWindowRect(children[i], &r);
        MapWindowPoints(nullptr, app.mainWindow, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, e.place.left);
        EXPECT_EQ(r.top, e.place.top);
        EXPECT_EQ(r.right, e.place.right);
        if (e.place.bottom) EXPECT_EQ(r.bottom, e.place.bottom);
    }
    HFONT font = app.uiFont;
    ASSERT_NE(font, nullptr);
    for (HWND control : {app.firstKeyCombo, app.keySetCombo, app.shortcutButton, app.taskbarButton})
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), font);
    EXPECT_NE(reinterpret_cast<HFONT>(SendMessageW(app.optionsButton, WM_GETFONT, 0, 0)), font);
    LOGFONTW face = {};
    GetObjectW(font, sizeof face, &face);
    EXPECT_STREQ(face.lfFaceName, L"Tahoma");
    EXPECT_EQ(face.lfWeight, 400);
}

TEST_F(SettingsWindow, SliderOffersAlphaOneTo255) {
    Start();
    EXPECT_EQ(SendMessageW(app.alphaSlider, TBM_GETRANGEMIN, 0, 0), 0);
    EXPECT_EQ(SendMessageW(app.alphaSlider, TBM_GETRANGEMAX, 0, 0), 254);
    EXPECT_EQ(SendMessageW(app.alphaSlider, TBM_GETTHUMBLENGTH, 0, 0), 19);
    EXPECT_EQ(SendMessageW(app.alphaSlider, TBM_GETPAGESIZE, 0, 0), 0);
}

TEST_F(SettingsWindow, ControlsAreSubclassedAndTheirOldProceduresKept) {
    Start();
    ASSERT_NE(app.comboProc, nullptr);
    ASSERT_NE(app.buttonProc, nullptr);
    ASSERT_NE(app.sliderProc, nullptr);
    for (HWND combo : {app.firstKeyCombo, app.secondKeyCombo, app.keySetCombo})
        EXPECT_NE(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(combo, GWLP_WNDPROC)), app.comboProc);
    EXPECT_NE(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(app.alphaSlider, GWLP_WNDPROC)), app.sliderProc);
    // The tooltips' TTF_SUBCLASS wraps every tool window again, so only the change itself is visible.
    EXPECT_NE(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(app.shortcutButton, GWLP_WNDPROC)), app.buttonProc);
    // Subclassed controls still work as controls.
    EXPECT_EQ(SendMessageW(app.keySetCombo, CB_GETCOUNT, 0, 0), 2);
}

TEST_F(SettingsWindow, TooltipsCarryTheirTextsVerbatim) {
    Start();
    ASSERT_TRUE(IsWindow(app.tooltip));
    EXPECT_EQ(ClassName(app.tooltip), L"tooltips_class32");
    ASSERT_EQ(SendMessageW(app.tooltip, TTM_GETTOOLCOUNT, 0, 0), 3);
    struct Tip {
        HWND control;
        const WCHAR* starts;
        const WCHAR* ends;
        int lines;
    };
    const Tip tips[] = {
        {app.shortcutButton, L"Keyboard Shortcut (Right-Click to Customize)\r\nAdds the ability",
         L"\r\n      \u00B7 Toggle Always On Top with Tab or Space or Numberpad Decimal\r\n 3. Release both Prefix Keys",
         11},
        {app.taskbarButton, L"Taskbar Transparency (Right-Click to Customize)\r\n",
         L"enable/disable or customize the speed of the Fade-In effect.", 5},
        {app.optionsButton, L"Click here for more options", L"Click here for more options", 1},
    };
    for (const Tip& tip : tips) {
        WCHAR text[2048] = {};
        TOOLINFOW info = {};
        info.cbSize = 44;
        info.hwnd = app.mainWindow;
        info.uId = reinterpret_cast<UINT_PTR>(tip.control);
        info.lpszText = text;
        SendMessageW(app.tooltip, TTM_GETTEXTW, 2048, reinterpret_cast<LPARAM>(&info));
        std::wstring s = text;
        EXPECT_EQ(s.rfind(tip.starts, 0), 0u) << std::string(s.begin(), s.end());
        EXPECT_TRUE(s.size() >= wcslen(tip.ends) && s.compare(s.size() - wcslen(tip.ends), std::wstring::npos, tip.ends) == 0);
        int lines = 1;
        for (size_t at = s.find(L"\r\n"); at != std::wstring::npos; at = s.find(L"\r\n", at + 2)) ++lines;
        EXPECT_EQ(lines, tip.lines);
    }
}

TEST_F(SettingsWindow, MinimisingHidesAndUnknownMessagesGetDefaultProcessing) {
    Start();
    ShowWindow(app.mainWindow, SW_RESTORE);
    ASSERT_TRUE(IsWindowVisible(app.mainWindow));
    ShowWindow(app.mainWindow, SW_MINIMIZE);
    EXPECT_FALSE(IsWindowVisible(app.mainWindow));
    EXPECT_EQ(SendMessageW(app.mainWindow, 0x8006, 1, 2), 0);
}
} // namespace
