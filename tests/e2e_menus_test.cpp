// The shipped Vitrea.exe's menus opened and pressed with the real mouse, read back from the screen. Another
// program cannot read the menus' rows, so rows are found from the menu window and the known row heights.
// The menu windows are reported to the program the way the hook library reports them.
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>
#include "support/e2e_support.h"
#include "support/menu_rows.h"

namespace {

// Row kinds of a tree, top to bottom: i an item, - a separator.
constexpr char trayRows[] = "ii-ii";
constexpr char shortcutRows[] = "iii-iii-ii";
constexpr char taskbarRows[] = "i-iiiii";
constexpr char optionsRows[] = "iii-ii-iii";
static_assert(RowsAre(trayRows, MenuTree::tray, '-') && RowsAre(shortcutRows, MenuTree::shortcut, '-') &&
              RowsAre(taskbarRows, MenuTree::taskbar, '-') && RowsAre(optionsRows, MenuTree::options, '-'));

int RowsHeight(const char* rows, size_t count) {
    int height = 0;
    for (size_t i = 0; i < count && rows[i]; ++i) height += RowHeightOf(rows, i, '-');
    return height;
}

// A row's rectangle on screen. The frame around the rows is whatever is left of the client area: under this
// runtime the border lies inside it, on Windows outside.
RECT RowOnScreen(HWND menu, const char* rows, int index) {
    RECT client = {};
    GetClientRect(menu, &client);
    POINT origin = {0, 0};
    ClientToScreen(menu, &origin);
    int inset = (client.bottom - RowsHeight(rows, strlen(rows))) / 2;
    int top = origin.y + inset + RowsHeight(rows, index);
    return {origin.x + inset, top, origin.x + client.right - inset, top + RowHeightOf(rows, index, '-')};
}

RECT MarkOnScreen(HWND menu, const char* rows, int index) {
    RECT row = RowOnScreen(menu, rows, index);
    return {row.left + 2, row.top + 2, row.left + 2 + GetSystemMetrics(SM_CXMENUCHECK),
            row.top + 2 + GetSystemMetrics(SM_CYMENUCHECK)};
}

POINT RowCentre(HWND menu, const char* rows, int index) { return CentreOf(RowOnScreen(menu, rows, index)); }

// Grey and menu-text pixels of a row's caption: an inactive caption is embossed in grey without menu text.
std::pair<int, int> CaptionInk(HWND menu, const char* rows, int index) {
    RECT row = RowOnScreen(menu, rows, index);
    row.left += GetSystemMetrics(SM_CXMENUCHECK) + 6;
    int grey = 0, text = 0;
    for (COLORREF c : ScreenBlock(row)) {
        grey += c == RGB(128, 128, 128);
        text += c == GetSysColor(COLOR_MENUTEXT);
    }
    return {grey, text};
}

LONG CaptionWidth(const WCHAR* caption) {
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HFONT font = CreateFontIndirectW(&metrics.lfMenuFont);
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE extent = {};
    GetTextExtentPoint32W(dc, caption, lstrlenW(caption), &extent);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
    return extent.cx;
}

LONG Widest(std::initializer_list<const WCHAR*> captions) {
    LONG widest = 0;
    for (const WCHAR* caption : captions) widest = std::max(widest, CaptionWidth(caption));
    return widest;
}

LONG Width(const RECT& r) { return r.right - r.left; }
LONG Height(const RECT& r) { return r.bottom - r.top; }

class Menus : public ::testing::Test {
protected:
    void SetUp() override {
        EndAllVitreas();
        ParkPointer();
    }
    void TearDown() override {
        Xdotool(L"mouseup 1");
        if (pid) EscapeMenus(pid);
        EndAllVitreas();
        ParkPointer();
    }

    // Alt + Shift with the digits and the shortcut on; taskbar transparency off, fade-in on at a speed that
    // names none of the five durations.
    HWND Start(Process& process, const std::wstring& exe = Built().vitreaExe) {
        WriteByteValue(L"Keyboard Shortcut", 0x85);
        WriteByteValue(L"Taskbar Transparency", 0xA2);
        EXPECT_TRUE(process.Start(exe, L"", FolderOf(exe)));
        HWND window = FindVitreaWindow(process);
        EXPECT_TRUE(window) << "no settings window appeared";
        if (!window) return nullptr;
        GetWindowThreadProcessId(window, &pid);
        EXPECT_TRUE(WaitFor([&] { return TrayIconExists(window); }));
        EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(window) && GetForegroundWindow() == window; }));
        main = window;
        children = Children(window);
        return window;
    }

    std::vector<HWND> OpenMenus() const { return VisibleMenus(pid); }

    LRESULT Event(WPARAM event, HWND window = nullptr) const {
        DWORD_PTR result = 0xDEAD;
        SendMessageTimeoutW(main, APPMSG_MENUTRACK, event, reinterpret_cast<LPARAM>(window), SMTO_NORMAL, 5000,
                            &result);
        return static_cast<LRESULT>(result);
    }

    // Waits for the given number of open menu windows, then reports the ones gone (innermost first) and the
    // new ones, as the hook library does.
    bool Settle(size_t count, HWND unlike = nullptr) {
        std::vector<HWND> open;
        bool ok = WaitFor(
            [&] {
                open = OpenMenus();
                return open.size() == count && std::find(open.begin(), open.end(), unlike) == open.end();
            },
            5000);
        for (size_t i = known.size(); i-- > 0;)
            if (std::find(open.begin(), open.end(), known[i]) == open.end()) {
                Event(menuWindowGone, known[i]);
                known.erase(known.begin() + static_cast<long>(i));
            }
        // A submenu is created after its parent: the one not known yet is the innermost.
        for (HWND w : open)
            if (std::find(known.begin(), known.end(), w) == known.end()) {
                known.push_back(w);
                Event(menuWindowShown, w);
            }
        return ok;
    }

    static bool MoveTo(POINT at) {
        Xdotool(L"mousemove " + std::to_wstring(at.x) + L" " + std::to_wstring(at.y));
        return WaitFor(
            [&] {
                POINT now = {};
                GetCursorPos(&now);
                return now.x == at.x && now.y == at.y;
            },
            5000);
    }

    // A press with the real button at the cursor, reported as the library reports it; the button goes up again.
    LRESULT PressHere(const std::function<bool()>& seen = [] { return true; }) {
        Xdotool(L"mousedown 1");
        EXPECT_TRUE(WaitFor([] { return (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0; }, 5000));
        LRESULT result = Event(menuButtonPressed);
        EXPECT_TRUE(WaitFor(seen, 5000)) << "the pressed look did not appear";
        Xdotool(L"mouseup 1");
        EXPECT_TRUE(WaitFor([] { return (GetAsyncKeyState(VK_LBUTTON) & 0x8000) == 0; }, 5000));
        return result;
    }

    static bool MarkIs(HWND menu, const char* rows, int index, UINT state, int background = COLOR_MENU) {
        return ScreenBlock(MarkOnScreen(menu, rows, index)) == ReferenceMark(state, background);
    }
    static bool ButtonBoxIs(HWND button, UINT state) {
        RECT r = ScreenRect(button);
        return ScreenBlock({r.left + 1, r.top + 1, r.left + 14, r.top + 14}) ==
               ReferenceMark(state, COLOR_BTNFACE, {13, 13});
    }

    HWND main = nullptr;
    DWORD pid = 0;
    std::vector<HWND> children; // combo boxes, the two check buttons, the slider, ...
    std::vector<HWND> known;    // the menu windows reported so far, outermost first
};

constexpr UINT checkBox = DFCS_BUTTONCHECK, radio = DFCS_BUTTONRADIO, on = DFCS_CHECKED;

TEST_F(Menus, TrayMenuShowsTheSettingsAndPressesLookPushedOnlyOnMarkedRows) {
    Process vitrea;
    ASSERT_TRUE(Start(vitrea));
    HWND shortcutButton = children.at(3);

    RECT taskbar = ScreenRect(FindWindowW(L"Shell_TrayWnd", nullptr));
    POINT icon = {taskbar.right - 10, taskbar.top + 10};
    ClickAt(icon, L"click 3");
    ASSERT_TRUE(Settle(1)) << "no tray menu";
    HWND tray = known.at(0);
    RECT trayRect = ScreenRect(tray);
    EXPECT_EQ(trayRect.right, icon.x) << "the menu's right edge is at the cursor";
    EXPECT_LE(trayRect.bottom, icon.y) << "above the cursor, kept clear of the taskbar";
    EXPECT_TRUE(WaitFor([&] { return MarkIs(tray, trayRows, 0, checkBox | on) && MarkIs(tray, trayRows, 1, checkBox); }))
        << "the check boxes follow the two switches";
    // Hovering "Keyboard Shortcut" opens its submenu with the key byte's marks.
    ASSERT_TRUE(MoveTo(RowCentre(tray, trayRows, 0)));
    ASSERT_TRUE(Settle(2)) << "the Keyboard Shortcut submenu did not open";
    HWND keys = known.at(1);
    const UINT keyMarks[] = {radio | on, radio, radio, 0, radio | DFCS_INACTIVE, radio, radio | on, 0, radio | on, radio};
    EXPECT_TRUE(WaitFor([&] {
        for (int i = 0; i < 10; ++i)
            if (shortcutRows[i] == 'i' && !MarkIs(keys, shortcutRows, i, keyMarks[i])) return false;
        return true;
    })) << "marks of Alt + Shift with the digits";
    auto [inactiveGrey, inactiveText] = CaptionInk(keys, shortcutRows, 4);
    auto [activeGrey, activeText] = CaptionInk(keys, shortcutRows, 5);
    EXPECT_GT(inactiveGrey, 0);
    EXPECT_EQ(inactiveText, 0) << "the second key's Alt is embossed while Alt is the first key";
    EXPECT_GT(activeText, 0);
    EXPECT_EQ(activeGrey, 0);
    RECT keysRect = ScreenRect(keys);
    // The separator and "Options" rows as they look unpressed, once the icon's tooltip is gone.
    auto unmarkedArea = [&] {
        RECT r = ScreenRect(tray);
        return ScreenBlock({r.left, RowOnScreen(tray, trayRows, 2).top, r.right, RowOnScreen(tray, trayRows, 3).bottom});
    };
    Pixels unmarkedRows;
    EXPECT_TRUE(WaitFor([&] {
        Pixels now = unmarkedArea();
        bool settled = now == unmarkedRows;
        unmarkedRows = now;
        return settled;
    })) << "the menu keeps changing";
    // A separator's grey and white lines run 3 and 4 pixels below its top, one pixel short of either edge.
    RECT separator = RowOnScreen(tray, trayRows, 2);
    Pixels line = ScreenBlock({separator.left, separator.top + 3, separator.right, separator.top + 5});
    size_t width = static_cast<size_t>(Width(separator));
    Pixels grey(width - 2, RGB(128, 128, 128)), white(width - 2, RGB(255, 255, 255));
    EXPECT_TRUE(std::equal(grey.begin(), grey.end(), line.begin() + 1));
    EXPECT_TRUE(std::equal(white.begin(), white.end(), line.begin() + static_cast<long>(width) + 1));
    EXPECT_NE(line.front(), RGB(128, 128, 128));
    EXPECT_NE(line[width - 1], RGB(128, 128, 128));

    // "Taskbar Transparency": fade-in checked, no speed for a duration that is none of the five.
    ASSERT_TRUE(MoveTo(RowCentre(tray, trayRows, 1)));
    ASSERT_TRUE(Settle(2, keys)) << "the Taskbar Transparency submenu did not replace the other";
    HWND speeds = known.at(1);
    EXPECT_TRUE(WaitFor([&] {
        if (!MarkIs(speeds, taskbarRows, 0, checkBox | on)) return false;
        for (int i = 2; i < 7; ++i)
            if (!MarkIs(speeds, taskbarRows, i, radio)) return false;
        return true;
    }));
    // Both submenus share their frame and mark column: their widths differ by their widest captions.
    EXPECT_EQ(Width(keysRect) - Width(ScreenRect(speeds)),
              Widest({L"Alt", L"Ctrl", L"Shift", L"0-9", L"F1-F12"}) -
                  Widest({L"Fade In", L"Fastest", L"Fast", L"Medium", L"Slow", L"Slowest"}));

    // Closing the submenu keeps the tray menu tracked; a press on the border next to a marked row paints nothing.
    ASSERT_TRUE(MoveTo(RowCentre(tray, trayRows, 4)));
    ASSERT_TRUE(Settle(1));
    ASSERT_TRUE(MoveTo(RowCentre(tray, trayRows, 1)));
    ASSERT_TRUE(Settle(2));
    ASSERT_TRUE(MoveTo({ScreenRect(tray).left + 1, RowCentre(tray, trayRows, 1).y}));
    EXPECT_EQ(PressHere(), 0);
    // Neither the separator nor "Options" has a mark to press.
    ASSERT_TRUE(MoveTo(RowCentre(tray, trayRows, 2)));
    EXPECT_EQ(PressHere(), 0);
    ASSERT_TRUE(MoveTo(RowCentre(tray, trayRows, 3)));
    ASSERT_TRUE(Settle(2, speeds));
    EXPECT_EQ(PressHere(), 0);

    // A press on "Keyboard Shortcut" pushes its check box in the menu and on the settings window at once.
    ASSERT_TRUE(MoveTo(RowCentre(tray, trayRows, 0)));
    ASSERT_TRUE(Settle(2));
    EXPECT_EQ(PressHere([&] {
                  return MarkIs(tray, trayRows, 0, checkBox | on | DFCS_PUSHED, COLOR_HIGHLIGHT) &&
                         ButtonBoxIs(shortcutButton, checkBox | on | DFCS_PUSHED);
              }),
              0);
    // Painted in order: what the earlier presses would have painted is on the screen by now.
    EXPECT_TRUE(MarkIs(tray, trayRows, 1, checkBox)) << "the border press pushed the row beside it";
    EXPECT_TRUE(unmarkedArea() == unmarkedRows)
        << "the separator or \"Options\" press painted something";
}

TEST_F(Menus, OptionsButtonAndCheckButtonsOpenTheirMenusAlone) {
    Process vitrea;
    ASSERT_TRUE(Start(vitrea));
    struct Road {
        HWND control;
        const WCHAR* clicks;
        const char* rows;
        int markedRow; // a row whose mark tells the menus apart
        UINT mark;
    } roads[] = {{children.at(6), L"click 1", optionsRows, 7, radio | on}, // "Skinless"
                 {children.at(3), L"click 3", shortcutRows, 0, radio | on},
                 {children.at(4), L"click 3", taskbarRows, 0, checkBox | on}};
    LONG frame = -1;
    for (const Road& road : roads) {
        SCOPED_TRACE(road.rows);
        POINT at = CentreOf(ScreenRect(road.control));
        ClickAt(at, road.clicks);
        ASSERT_TRUE(Settle(1)) << "no menu opened";
        HWND menu = known.at(0);
        RECT r = ScreenRect(menu);
        EXPECT_EQ(OpenMenus().size(), 1u) << "a menu of its own, not a submenu";
        EXPECT_TRUE(WaitFor([&] { return MarkIs(menu, road.rows, road.markedRow, road.mark); }));
        EXPECT_EQ(r.left, at.x);
        EXPECT_EQ(r.top, at.y);
        // Every menu has the same frame around its rows.
        LONG thisFrame = Height(r) - RowsHeight(road.rows, strlen(road.rows));
        EXPECT_GE(thisFrame, 0);
        if (frame >= 0) EXPECT_EQ(thisFrame, frame);
        frame = thisFrame;
        ASSERT_TRUE(EscapeMenus(pid)) << "the menu did not close";
        ASSERT_TRUE(Settle(0));
    }
}

// A skin chosen in the Options menu opened from the options button, which lies over the settings window:
// the window takes its new face under the open menu, and every row of the menu stays as a freshly opened
// menu in the new state shows it, the clicked row highlighted.
TEST_F(Menus, SkinChosenInTheOpenOptionsMenuLeavesTheMenuWhole) {
    std::wstring folder = CopyProgram(L"vitrea-menu-overlap");
    ASSERT_FALSE(folder.empty());
    Process vitrea;
    ASSERT_TRUE(Start(vitrea, folder + L"\\Vitrea.exe"));
    HWND optionsButton = children.at(6);
    auto open = [&] {
        ClickAt(CentreOf(ScreenRect(optionsButton)));
        return Settle(1) ? known.at(0) : nullptr;
    };
    // The whole menu once two reads in a row agree: hovering and the repaints after a click have settled.
    auto settled = [&](HWND window) {
        Pixels last, now;
        EXPECT_TRUE(WaitFor([&] {
            now = ScreenBlock(ScreenRect(window));
            bool same = now == last;
            last = now;
            return same;
        })) << "the menu keeps changing";
        return now;
    };
    constexpr int skinless = 7;
    struct Switch {
        int row; // 7 Skinless, 8 Eddy Mini, 9 Pewter Mini
        const WCHAR* fileGone;
        const WCHAR* stored;
        int checked; // the row whose radio is checked afterwards
    } switches[] = {
        {8, nullptr, L"EddyMini", 8},
        {9, nullptr, L"PewterMini", 9},
        {skinless, nullptr, L"Skinless", skinless},
        {8, L"EddyMini.dll", L"Skinless", skinless},
    };
    HWND menu = open();
    ASSERT_TRUE(menu) << "the options button opened no menu";
    int current = skinless; // the row whose radio is checked now
    ASSERT_TRUE(WaitFor([&] { return MarkIs(menu, optionsRows, current, radio | on); }));
    for (const Switch& step : switches) {
        SCOPED_TRACE(step.row);
        if (step.fileGone) ASSERT_TRUE(DeleteFileW((folder + L"\\" + step.fileGone).c_str()));
        POINT row = RowCentre(menu, optionsRows, step.row);
        ASSERT_TRUE(MoveTo(row));
        ASSERT_TRUE(WaitFor([&] {
            return MarkIs(menu, optionsRows, step.row, radio | (step.row == current ? on : 0), COLOR_HIGHLIGHT);
        })) << "the row is not selected";
        // Written afresh by every choice, a fallback to the look shown already included.
        SHDeleteValueW(HKEY_CURRENT_USER, settingsKey, L"Skin");
        Xdotool(L"click 1");
        EXPECT_TRUE(WaitFor([&] { return ReadString(L"Skin") == step.stored; }, 5000));
        // The clicked row shows the outcome: its own radio, or Skinless's when the skin could not be used.
        EXPECT_TRUE(WaitFor([&] {
            return MarkIs(menu, optionsRows, step.checked, radio | on,
                          step.checked == step.row ? COLOR_HIGHLIGHT : COLOR_MENU);
        }, 5000));
        Pixels afterSwitch = settled(menu);
        ASSERT_EQ(OpenMenus().size(), 1u) << "the menu closed";

        ASSERT_TRUE(EscapeMenus(pid));
        ASSERT_TRUE(Settle(0));
        menu = open();
        ASSERT_TRUE(menu) << "the options button opened no menu";
        ASSERT_TRUE(MoveTo(row));
        for (int i : {7, 8, 9})
            EXPECT_TRUE(WaitFor([&] {
                return MarkIs(menu, optionsRows, i, radio | (i == step.checked ? on : 0),
                              i == step.row ? COLOR_HIGHLIGHT : COLOR_MENU);
            }, 5000)) << "row " << i << " of the fresh menu";
        EXPECT_TRUE(settled(menu) == afterSwitch) << "the open menu differs from a fresh one in the new state";
        current = step.checked;
    }
    ASSERT_TRUE(EscapeMenus(pid));
    EndAllVitreas();
    DeleteTree(folder);
}
} // namespace
