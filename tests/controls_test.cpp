// The subclassed controls inside this process: the focus graph's conditions, the trackbar's keys and
// notifications, watched through what reaches the main window, and the check buttons' hover drawing, watched
// on the buttons.
#include "support/app_fixture.h"
#include <commctrl.h>
#include "support/skin_files.h"
#include "ui/focus_graph.h"
#include "ui/skin.h"

namespace {
// What the controls sent to the main window, in order.
struct Sent {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Sent&) const = default;
};
std::vector<Sent> sent;
WNDPROC mainProc;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == APPMSG_SETTING || message == APPMSG_SETALPHA) sent.push_back({message, wParam, lParam});
    return CallWindowProcW(mainProc, window, message, wParam, lParam);
}

// A width x height block of a DC's pixels, from (x, y).
std::vector<COLORREF> Pixels(HDC dc, int x, int y, int width, int height) {
    std::vector<COLORREF> pixels;
    for (int row = y; row < y + height; ++row)
        for (int column = x; column < x + width; ++column) pixels.push_back(GetPixel(dc, column, row));
    return pixels;
}

// Whether the button shows skin image `id` as its label (from x 15) and the check box drawn with `boxState`.
bool Shows(HWND button, WORD id, UINT boxState) {
    const SkinMetrics& widths = *app.skinMetrics;
    int label = MetricWidth(button == app.shortcutButton ? widths.shortcutLabelWidth
                                                         : widths.taskbarLabelWidth);
    HDC dc = GetDC(button), box = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 15, 15);
    HGDIOBJ old = SelectObject(box, bitmap);
    RECT square = checkSquare;
    DrawFrameControl(box, &square, DFC_BUTTON, boxState);
    auto squareOf = [](HDC of) {
        return Pixels(of, checkSquare.left, checkSquare.top, checkSquare.right - checkSquare.left,
                      checkSquare.bottom - checkSquare.top);
    };
    bool same = Pixels(dc, 15, 0, label, 15) == Pixels(app.imageDCs[ImageSlot(id)], 0, 0, label, 15) &&
                squareOf(dc) == squareOf(box);
    SelectObject(box, old);
    DeleteObject(bitmap);
    DeleteDC(box);
    ReleaseDC(button, dc);
    return same;
}

class Controls : public AppFixture {
protected:
    HWND taskbar = nullptr;

    // The settings window shown with both switches as asked and the taskbar alpha, and a layered stand-in
    // for the taskbar.
    void Open(bool shortcut, bool taskbar_, BYTE alpha) {
        WriteByteValue(L"Keyboard Shortcut", shortcut ? 0x45 : 0x44);
        WriteByteValue(L"Taskbar Transparency", taskbar_ ? 0x23 : 0x22);
        WriteByteValue(L"Taskbar Transparency Alpha", alpha);
        StartEngine();
        taskbar = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW, L"STATIC", L"taskbar", WS_POPUP, 0, 738, 1024,
                                  30, nullptr, nullptr, nullptr, nullptr);
        SetLayeredWindowAttributes(taskbar, 0, alpha, LWA_ALPHA);
        app.taskbarWindow = taskbar;
        ShowWindow(app.mainWindow, SW_SHOW);
        SetForegroundWindow(app.mainWindow);
        mainProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(app.mainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingProc)));
        sent.clear();
    }
    void TearDown() override {
        if (taskbar) DestroyWindow(taskbar);
        taskbar = nullptr;
        AppFixture::TearDown();
    }
    static LRESULT Key(HWND control, UINT message, WPARAM key, int repeats = 0) {
        LPARAM flags = message == WM_KEYUP ? 0xC0000001 : (repeats ? 0x40000001 : 1);
        return SendMessageW(control, message, key, flags);
    }
    static int SliderPos() { return static_cast<int>(SendMessageW(app.alphaSlider, TBM_GETPOS, 0, 0)); }
    static Sent Setting(BYTE alpha) { return {APPMSG_SETTING, settingTaskbarAlpha, alpha}; }
    Sent Apply(BYTE alpha) const { return {APPMSG_SETALPHA, reinterpret_cast<WPARAM>(taskbar), alpha}; }
};

// The cells the graph's conditions are about, and Shift+Tab retracing Tab wherever Tab depends on them.
TEST_F(Controls, GraphFollowsTheSwitchesAndShiftTabRetracesTab) {
    struct Case {
        FocusSwitches switches;
        int from;
        FocusKey key;
        int target;
    };
    const Case cases[] = {
        {{false, false, true}, focusTaskbar, keyTab, focusShortcut},
        {{false, false, true}, focusTaskbar, keyRight, focusStays},
        {{false, false, true}, focusTaskbar, keyUp, focusStays},
        {{true, false, true}, focusTaskbar, keyTab, focusFirstKey},
        {{true, true, true}, focusTaskbar, keyTab, focusSlider},
        {{true, true, true}, focusSlider, keyUp, focusShortcut},
        {{true, true, false}, focusSlider, keyUp, focusTaskbar},
        {{false, true, true}, focusSlider, keyTab, focusShortcut},
        {{true, true, true}, focusSlider, keyDown, focusStays},
        {{false, true, true}, focusShortcut, keyUp, focusStays},
        {{true, false, true}, focusShortcut, keyDown, focusStays},
        {{true, true, true}, focusFirstKey, keyShiftTab, focusSlider},
        {{true, false, true}, focusFirstKey, keyShiftTab, focusTaskbar},
        {{false, true, true}, focusShortcut, keyShiftTab, focusSlider},
        {{false, false, true}, focusShortcut, keyShiftTab, focusTaskbar},
        {{true, false, true}, focusShortcut, keyShiftTab, focusKeySet},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FocusTarget(c.from, c.key, c.switches), c.target) << "from " << c.from << " key " << c.key;

    // Under every setting Tab visits each control that can hold the focus once before it comes back, and
    // Shift+Tab walks the same ring the other way.
    for (int mask = 0; mask < 8; ++mask) {
        FocusSwitches switches = {(mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0};
        int ring = 2 + (switches.shortcut ? 3 : 0) + (switches.taskbar ? 1 : 0);
        int at = focusShortcut, steps = 0;
        do {
            int next = FocusTarget(at, keyTab, switches);
            ASSERT_NE(next, focusStays);
            EXPECT_EQ(FocusTarget(next, keyShiftTab, switches), at) << "setting " << mask << " at " << next;
            at = next;
        } while (at != focusShortcut && ++steps < 10);
        EXPECT_EQ(steps + 1, ring) << "setting " << mask;
    }
}

// Ten repeats and a release in the skinned look: one step a repeat, the thumb in its active look until the
// release, which stores the value once more. At either end a key changes nothing and sends nothing.
TEST_F(Controls, ArrowKeysStepTheAlphaUntilAnEndAndTheReleaseStoresIt) {
    Open(true, true, 144);
    app.skinModule = GetModuleHandleW(nullptr); // the skinned path; no image is needed for what is checked
    SetFocus(app.alphaSlider);
    std::vector<Sent> expected;
    for (int repeat = 0; repeat < 10; ++repeat) {
        Key(app.alphaSlider, WM_KEYDOWN, VK_RIGHT, repeat);
        BYTE alpha = static_cast<BYTE>(143 - repeat);
        expected.insert(expected.end(), {Setting(alpha), Apply(alpha)});
        EXPECT_EQ(app.sliderDragging, app.alphaSlider);
    }
    EXPECT_EQ(sent, expected);
    EXPECT_EQ(app.taskbarAlpha, 134);
    EXPECT_EQ(SliderPos(), 121);
    EXPECT_EQ(LayeredAlpha(taskbar), 134);
    EXPECT_EQ(GetFocus(), app.alphaSlider);

    WriteByteValue(L"Taskbar Transparency Alpha", 7); // the release has to write to bring the value back
    EXPECT_EQ(Key(app.alphaSlider, WM_KEYUP, VK_RIGHT), 0);
    EXPECT_EQ(StoredByte(L"Taskbar Transparency Alpha"), 134);
    EXPECT_EQ(app.sliderDragging, nullptr);
    EXPECT_EQ(GetFocus(), app.alphaSlider);

    struct End {
        BYTE alpha;
        WPARAM key;
    };
    for (End end : {End{255, VK_LEFT}, End{1, VK_RIGHT}, End{0, VK_RIGHT}}) {
        SendMessageW(app.mainWindow, APPMSG_SETTING, settingTaskbarAlpha, end.alpha);
        app.sliderDragging = app.alphaSlider;
        sent.clear();
        EXPECT_EQ(Key(app.alphaSlider, WM_KEYDOWN, end.key), 0);
        EXPECT_TRUE(sent.empty()) << "alpha " << int(end.alpha);
        EXPECT_EQ(app.taskbarAlpha, end.alpha);
        EXPECT_EQ(app.sliderDragging, nullptr) << "the end ends the active look";
        EXPECT_EQ(GetFocus(), app.alphaSlider);
    }
    Key(app.alphaSlider, WM_KEYDOWN, VK_LEFT); // from 0 one step up is allowed
    EXPECT_EQ(app.taskbarAlpha, 1);
}

// A drag moves the taskbar and stores each new position on the way; a repeated position is applied but not
// stored again; the release of a drag stores without applying, a release without a drag applies. Plain look: the thumb never takes its active look.
TEST_F(Controls, ThumbNotificationsDriveTheTaskbarAndTheStoredValue) {
    for (bool skinned : {true, false}) {
        Open(true, true, 144);
        if (skinned) app.skinModule = GetModuleHandleW(nullptr);
        auto scroll = [](WORD code, int position) {
            SendMessageW(app.mainWindow, WM_HSCROLL, MAKEWPARAM(code, position),
                         reinterpret_cast<LPARAM>(app.alphaSlider));
        };
        scroll(TB_THUMBTRACK, 100);
        EXPECT_EQ(app.sliderDragging, skinned ? app.alphaSlider : nullptr);
        EXPECT_EQ(LayeredAlpha(taskbar), 155);
        EXPECT_EQ(StoredByte(L"Taskbar Transparency Alpha"), 155);
        scroll(TB_THUMBTRACK, 100);
        scroll(TB_THUMBTRACK, 254);
        EXPECT_EQ(LayeredAlpha(taskbar), 1);
        SetLayeredWindowAttributes(taskbar, 0, 50, LWA_ALPHA); // a release that applied would undo this
        WriteByteValue(L"Taskbar Transparency Alpha", 7);
        scroll(TB_THUMBPOSITION, 254);
        EXPECT_EQ(app.sliderDragging, nullptr);
        EXPECT_EQ(sent, (std::vector<Sent>{Apply(155), Setting(155), Apply(155), Apply(1), Setting(1),
                                           Setting(1)}));
        EXPECT_EQ(StoredByte(L"Taskbar Transparency Alpha"), 1);
        EXPECT_EQ(LayeredAlpha(taskbar), 50);

        // A press on the track that jumped the thumb and never dragged it has not been applied yet.
        sent.clear();
        scroll(TB_THUMBPOSITION, 200);
        EXPECT_EQ(sent, (std::vector<Sent>{Apply(55), Setting(55)}));
        EXPECT_EQ(StoredByte(L"Taskbar Transparency Alpha"), 55);
        EXPECT_EQ(LayeredAlpha(taskbar), 55);

        sent.clear();
        scroll(TB_LINEDOWN, 10);
        scroll(TB_THUMBTRACK, 255); // past the range: would be alpha 0
        SendMessageW(app.mainWindow, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, 3), 0);
        EXPECT_TRUE(sent.empty());
        TearDown();
    }
}

// Skinned: entering a button draws its lit label (its box pushed too while it is held), leaving draws the
// normal one, once per visit. Plain: nothing is drawn and no leave is asked for.
TEST_F(Controls, HoverLightsTheButtonLabelOnlyInTheSkinnedLook) {
    Open(true, true, 144);
    // The runtime watches for the leave only when the cursor is on the button as the leave is asked for.
    auto move = [](HWND button) {
        RECT r;
        GetWindowRect(button, &r);
        SetCursorPos(r.left + 5, r.top + 5);
        SendMessageW(button, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
        SetCursorPos(1000, 10);
    };
    SetFocus(app.mainWindow);
    HDC dc = GetDC(app.shortcutButton);
    auto face = [dc] { return Pixels(dc, 0, 0, shortcutButtonPlace.width, shortcutButtonPlace.height); };
    std::vector<COLORREF> plain = face();
    move(app.shortcutButton);
    EXPECT_TRUE(face() == plain) << "drawn in the plain look";
    ReleaseDC(app.shortcutButton, dc);
    PumpMessages(200);
    EXPECT_EQ(app.buttonHoverTracking, nullptr);

    ASSERT_TRUE(LoadSkin(BuiltSkin(L"EddyMini").c_str()));
    constexpr UINT redrawAll = RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW;
    RedrawWindow(app.mainWindow, nullptr, nullptr, redrawAll);
    constexpr UINT checked = DFCS_BUTTONCHECK | DFCS_CHECKED;
    ASSERT_TRUE(Shows(app.taskbarButton, 165, checked));
    ASSERT_FALSE(Shows(app.taskbarButton, 166, checked)) << "the two labels cannot be told apart";
    move(app.taskbarButton);
    EXPECT_TRUE(Shows(app.taskbarButton, 166, checked));
    EXPECT_EQ(app.buttonHoverTracking, app.taskbarButton);
    // A second move inside the same visit draws nothing over this mark.
    dc = GetDC(app.taskbarButton);
    SetPixel(dc, 20, 7, RGB(1, 2, 3));
    move(app.taskbarButton);
    EXPECT_EQ(GetPixel(dc, 20, 7), RGB(1, 2, 3)) << "drawn again within one visit";
    ReleaseDC(app.taskbarButton, dc);
    EXPECT_TRUE(WaitFor([] { return !app.buttonHoverTracking; }, 5000)) << "no leave notification";
    EXPECT_TRUE(Shows(app.taskbarButton, 165, checked));

    app.pressedButton = app.shortcutButton;
    move(app.shortcutButton);
    EXPECT_TRUE(Shows(app.shortcutButton, 154, checked | DFCS_PUSHED));
    EXPECT_TRUE(WaitFor([] { return !app.buttonHoverTracking; }, 5000));
    EXPECT_TRUE(Shows(app.shortcutButton, 153, checked | DFCS_PUSHED));
    EXPECT_TRUE(sent.empty()) << "hovering changes no setting";
    UnloadSkin();
}
} // namespace
