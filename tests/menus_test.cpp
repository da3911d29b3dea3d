// The menus inside the test process: the trees as the system holds them, the marks the settings select, the
// record of open menus, and a press on a row of a menu really tracked on this thread.
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <vector>
#include <objbase.h>
#include "menus/about_help.h"
#include "menus/build.h"
#include "menus/draw.h"
#include "menus/handlers.h"
#include "menus/track.h"
#include "support/app_fixture.h"

namespace {
enum Kind { item, opens, separator };
struct ExpectedRow {
    UINT id;
    const WCHAR* caption;
    Kind kind;
};
using Tree = std::vector<ExpectedRow>;
const Tree shortcutTree = {{121, L"Alt", item}, {122, L"Ctrl", item},  {123, L"Shift", item},
                           {100, nullptr, separator}, {124, L"Alt", item}, {125, L"Ctrl", item},
                           {126, L"Shift", item}, {100, nullptr, separator}, {127, L"0-9", item},
                           {128, L"F1-F12", item}};
const Tree taskbarTree = {{181, L"Fade In", item}, {100, nullptr, separator}, {182, L"Fastest", item},
                          {183, L"Fast", item},    {184, L"Medium", item},    {185, L"Slow", item},
                          {186, L"Slowest", item}};
const Tree optionsTree = {{301, L"Help", item},
                          {302, L"About Vitrea...", item},
                          {303, L"www.vitrea.example", item},
                          {100, nullptr, separator},
                          {304, L"Start Minimized", item},
                          {305, L"Start With Windows", item},
                          {100, nullptr, separator},
                          {306, L"Skinless", item},
                          {307, L"Eddy Mini", item},
                          {308, L"Pewter Mini", item}};
const Tree trayTree = {{101, L"Keyboard Shortcut", opens}, {102, L"Taskbar Transparency", opens},
                       {100, nullptr, separator}, {103, L"Options", opens}, {104, L"Exit", item}};

// Reads every row of a menu back from the system and compares it, and its submenus, with the tree.
void ExpectMenu(HMENU menu, const Tree& tree, const std::vector<const Tree*>& submenus = {}) {
    ASSERT_TRUE(menu);
    ASSERT_EQ(GetMenuItemCount(menu), static_cast<int>(tree.size()));
    size_t nextSubmenu = 0;
    for (size_t position = 0; position < tree.size(); ++position) {
        SCOPED_TRACE(testing::Message() << "position " << position);
        const ExpectedRow& row = tree[position];
        MENUITEMINFOW info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_SUBMENU | MIIM_DATA;
        ASSERT_TRUE(GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info));
        EXPECT_EQ(info.wID, row.id);
        EXPECT_TRUE(info.fType & MFT_OWNERDRAW);
        EXPECT_FALSE(info.fType & MFT_SEPARATOR);
        EXPECT_EQ((info.fState & MFS_GRAYED) != 0, row.kind == separator);
        EXPECT_EQ(info.hSubMenu != nullptr, row.kind == opens);
        if (row.caption) EXPECT_STREQ(reinterpret_cast<const WCHAR*>(info.dwItemData), row.caption);
        if (row.kind == opens && nextSubmenu < submenus.size())
            ExpectMenu(info.hSubMenu, *submenus[nextSubmenu++]);
    }
}

TEST(MenuTrees, EveryRowAtItsPositionWithItsIdKindAndCaption) {
    struct Case {
        MenuTree tree;
        const Tree* rows;
        std::vector<const Tree*> submenus;
    } cases[] = {{MenuTree::tray, &trayTree, {&shortcutTree, &taskbarTree, &optionsTree}},
                 {MenuTree::shortcut, &shortcutTree, {}},
                 {MenuTree::taskbar, &taskbarTree, {}},
                 {MenuTree::options, &optionsTree, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "tree " << static_cast<int>(c.tree));
        HMENU menu = BuildMenu(c.tree);
        ExpectMenu(menu, *c.rows, c.submenus);
        DestroyMenu(menu);
    }
}

class Marks : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        Start();
    }
    // One character per row: x checked, o unchecked, - inactive, . no mark.
    static std::string MarksOf(std::initializer_list<UINT> ids) {
        std::string marks;
        for (UINT id : ids) {
            std::optional<UINT> state = MarkState(id);
            marks += !state ? '.' : (*state & DFCS_INACTIVE) ? '-' : (*state & DFCS_CHECKED) ? 'x' : 'o';
        }
        return marks;
    }
    static UINT KindOf(UINT id) { return MarkState(id).value_or(0xFFFF) & (DFCS_BUTTONRADIO | DFCS_PUSHED); }
};

TEST_F(Marks, KeyByteSelectsTheShortcutRows) {
    struct Case {
        BYTE byte;
        const char* rows121To128;
    } cases[] = {
        {0x80, "xoo-ooxo"}, {0x40, "oxoo-oxo"}, {0x20, "ooxoo-xo"}, {0x10, "oooxooxo"}, {0x08, "ooooxoxo"},
        {0x04, "oooooxxo"}, {0x02, "ooooooox"}, {0x01, "ooooooxo"}, {0x90, "xoo-ooxo"}, {0x45, "oxoo-xxo"},
        {0xFF, "xxx---ox"},
    };
    for (const Case& c : cases) {
        app.shortcutByte = c.byte;
        EXPECT_EQ(MarksOf({121, 122, 123, 124, 125, 126, 127, 128}), c.rows121To128) << std::hex << int(c.byte);
    }
    for (UINT id = 121; id <= 128; ++id) EXPECT_EQ(KindOf(id), static_cast<UINT>(DFCS_BUTTONRADIO)) << id;
}

TEST_F(Marks, DurationsSkinsSwitchesAndRowsWithoutMarks) {
    for (auto [duration, rows] : std::initializer_list<std::pair<LONG, const char*>>{
             {100, "xoooo"}, {150, "oxooo"}, {200, "ooxoo"}, {300, "oooxo"}, {400, "oooox"}, {250, "ooooo"}}) {
        app.fadeDuration = duration;
        EXPECT_EQ(MarksOf({182, 183, 184, 185, 186}), rows) << duration;
    }
    WCHAR name[16];
    app.skinName = name;
    for (auto [skin, rows] : std::initializer_list<std::pair<const WCHAR*, const char*>>{
             {L"Skinless", "xoo"}, {L"EddyMini", "oxo"}, {L"PewterMini", "oox"}, {L"eddymini", "ooo"},
             {L"Eddy Mini", "ooo"}, {L"", "ooo"}}) {
        lstrcpyW(name, skin);
        EXPECT_EQ(MarksOf({306, 307, 308}), rows);
    }
    app.shortcutEnabled = true, app.taskbarEnabled = false, app.fadeInEnabled = true, app.options = 0x01;
    EXPECT_EQ(MarksOf({101, 102, 181, 304, 305}), "xoxxo");
    app.shortcutEnabled = false, app.taskbarEnabled = true, app.fadeInEnabled = false, app.options = 0x02;
    EXPECT_EQ(MarksOf({101, 102, 181, 304, 305}), "oxoox");
    for (UINT id : {101u, 102u, 181u, 304u, 305u}) EXPECT_EQ(KindOf(id), static_cast<UINT>(DFCS_BUTTONCHECK)) << id;
    EXPECT_EQ(MarksOf({100, 103, 104, 301, 302, 303, 0, 999}), "........");
}

// The record as a test sees it after each step.
struct Levels {
    HWND w[3];
    HMENU m[3];
    bool operator==(const Levels&) const = default;
};
Levels LevelsOf(const MenuTrackState& t) {
    return {{t.levels[0].window, t.levels[1].window, t.levels[2].window},
            {t.levels[0].menu, t.levels[1].menu, t.levels[2].menu}};
}

class Tracking : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        Start();
        for (HWND& w : windows) w = CreateWindowExW(0, L"STATIC", nullptr, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                                    nullptr, nullptr);
        tray = BuildMenu(MenuTree::tray);
    }
    void TearDown() override {
        for (HWND w : windows) DestroyWindow(w);
        DestroyMenu(tray);
        AppFixture::TearDown();
    }
    static LRESULT Event(WPARAM event, HWND window = nullptr) {
        return SendMessageW(app.mainWindow, APPMSG_MENUTRACK, event, reinterpret_cast<LPARAM>(window));
    }
    static void Select(WORD item, HMENU menu, WORD flags = 0) {
        SendMessageW(app.mainWindow, WM_MENUSELECT, MAKEWPARAM(item, flags), reinterpret_cast<LPARAM>(menu));
    }
    HWND windows[4];
    HMENU tray;
};

TEST_F(Tracking, WindowsFillAndEmptyTheLevelsInAndOutOfOrder) {
    // Nothing happens without a record, whatever arrives.
    for (WPARAM event : {2u, 4u, 8u, 16u, 32u, 64u, 0u}) EXPECT_EQ(Event(event, windows[0]), 0) << event;
    Select(0, tray, MF_POPUP);
    EXPECT_EQ(app.menuTrack, nullptr);

    EXPECT_EQ(Event(menuTrackCreate), 0);
    ASSERT_TRUE(app.menuTrack);
    MenuTrackState& t = *app.menuTrack;
    EXPECT_EQ(t.selectedItem, -1);
    EXPECT_EQ(t.pressedItem, -1);
    EXPECT_EQ(t.rowHeight, GetSystemMetrics(SM_CYMENUCHECK) + 4);

    HMENU shortcut = GetSubMenu(tray, 0), options = GetSubMenu(tray, 3);
    Event(menuWindowShown, windows[0]);
    Select(0, tray, MF_POPUP);
    Event(menuWindowShown, windows[1]);
    EXPECT_EQ(LevelsOf(t), (Levels{{windows[0], windows[1], nullptr}, {tray, shortcut, nullptr}}));
    Event(menuWindowShown, windows[1]); // reported twice: still one level
    Select(122, shortcut);
    EXPECT_EQ(t.selectedItem, 122);
    EXPECT_EQ(t.levels[0].menu, tray) << "the outermost menu is the first to report";
    Event(menuWindowShown, windows[2]);
    Event(menuWindowShown, windows[3]); // a fourth level is not recorded
    EXPECT_EQ(LevelsOf(t), (Levels{{windows[0], windows[1], windows[2]}, {tray, shortcut, nullptr}}));

    // Out of order: the second level goes first and takes the third with it.
    Event(menuWindowGone, windows[1]);
    EXPECT_EQ(LevelsOf(t), (Levels{{windows[0], nullptr, nullptr}, {tray, nullptr, nullptr}}));
    Event(menuWindowGone, windows[2]);
    Event(menuWindowGone, nullptr);
    ASSERT_EQ(app.menuTrack, &t) << "an unknown or null window frees nothing";
    Select(3, tray, MF_POPUP);
    Event(menuWindowShown, windows[1]);
    EXPECT_EQ(LevelsOf(t), (Levels{{windows[0], windows[1], nullptr}, {tray, options, nullptr}}));
    Event(menuWindowGone, windows[0]);
    EXPECT_EQ(app.menuTrack, nullptr);
    EXPECT_EQ(Event(menuButtonPressed), 0);
}

TEST_F(Tracking, EverySelectionNamesItsLevelAndPosition) {
    struct Case {
        LONG selected;
        int alone, asSubmenu, withThird; // level * 100 + position; -1 for no row
    } cases[] = {
        {0, 0, 0, 100},     {1, 1, 1, 1},       {2, 2, 2, 2},       {3, -1, -1, -1},    {100, -1, -1, -1},
        {104, 4, 4, 4},     {101, 101, 101, 101}, {121, 0, 100, 100}, {123, 2, 102, 102}, {124, 4, 104, 104},
        {126, 6, 106, 106}, {127, 8, 108, 108}, {128, 9, 109, 109}, {181, 0, 100, 100}, {182, 2, 102, 102},
        {186, 6, 106, 106}, {301, 0, 100, 100}, {303, 2, 102, 102}, {304, 4, 104, 104}, {305, 5, 105, 105},
        {306, 7, 107, 107}, {308, 9, 109, 109},
    };
    MenuTrackState t = {};
    for (const Case& c : cases) {
        int expected[] = {c.alone, c.asSubmenu, c.withThird};
        for (int open = 0; open < 3; ++open) {
            t.levels = {};
            for (int level = 0; level <= open; ++level) t.levels[level].window = windows[level];
            t.selectedItem = c.selected;
            int level = -1, position = -1;
            int got = SelectedRowPlace(t, level, position) ? level * 100 + position : -1;
            EXPECT_EQ(got, expected[open]) << "selected " << c.selected << " with " << open + 1 << " levels";
        }
    }
}

// A menu tracked on this thread, driven by a timer while TrackPopupMenu runs its loop.
struct MenuDriver {
    std::function<bool()> step;
    static MenuDriver* current;
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        if (current->step()) EndMenu();
    }
};
MenuDriver* MenuDriver::current = nullptr;

HWND OwnMenuWindow() {
    for (HWND w = FindWindowExW(nullptr, nullptr, L"#32768", nullptr); w; w = FindWindowExW(nullptr, w, L"#32768", nullptr)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == GetCurrentProcessId() && IsWindowVisible(w)) return w;
    }
    return nullptr;
}

COLORREF ScreenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    COLORREF c = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return c;
}

struct Press {
    LRESULT result = -1;
    LONG pressedAfter = 0;
    COLORREF before = 0, after = 0; // inside the row's mark, on the screen
    Pixels markBefore, markAfter;   // the whole mark square
};

// Opens the Keyboard Shortcut menu alone, points at one row once (as a person would, after the menu shows),
// waits for the system to select it and presses there; the mark is read until it looks pushed or time runs out.
Press PressRow(int position) {
    HMENU menu = BuildMenu(MenuTree::shortcut);
    UINT id = GetMenuItemID(menu, position);
    Press press;
    POINT mark = {};
    int stage = 0;
    DWORD start = GetTickCount();
    MenuDriver driver{[&] {
        if (GetTickCount() - start > 10000) return true;
        RECT row = {};
        GetMenuItemRect(nullptr, menu, position, &row);
        // The square sits two pixels into the row, wherever the system puts the row.
        RECT box = {row.left + 2, row.top + 2, row.left + 2 + GetSystemMetrics(SM_CXMENUCHECK),
                    row.top + 2 + GetSystemMetrics(SM_CYMENUCHECK)};
        switch (stage) {
        case 0: {
            HWND menuWindow = OwnMenuWindow();
            // The last row's mark on screen says the menu has been painted.
            RECT last = {};
            GetMenuItemRect(nullptr, menu, 9, &last);
            if (!menuWindow || ScreenPixel(last.left + 6, last.top + 6) != RGB(255, 255, 255)) return false;
            SendMessageW(app.mainWindow, APPMSG_MENUTRACK, menuWindowShown, reinterpret_cast<LPARAM>(menuWindow));
            mark = {box.left + 4, box.top + 4}; // inside the ring, off the radio's dot
            press.before = ScreenPixel(mark.x, mark.y);
            press.markBefore = ScreenBlock(box);
            SetCursorPos(row.left + 30, (row.top + row.bottom) / 2);
            ++stage;
            return false;
        }
        case 1:
            if (!app.menuTrack || app.menuTrack->selectedItem != static_cast<LONG>(id)) return false;
            press.result = SendMessageW(app.mainWindow, APPMSG_MENUTRACK, menuButtonPressed, 0);
            press.pressedAfter = app.menuTrack->pressedItem;
            ++stage;
            return false;
        default: // the screen shows the pushed mark a little later than it is drawn
            press.after = ScreenPixel(mark.x, mark.y);
            press.markAfter = ScreenBlock(box);
            return press.after == GetSysColor(COLOR_BTNFACE);
        }
    }};
    MenuDriver::current = &driver;
    UINT_PTR timer = SetTimer(nullptr, 0, 30, MenuDriver::Tick);
    SendMessageW(app.mainWindow, APPMSG_MENUTRACK, menuTrackCreate, 0);
    TrackPopupMenu(menu, 0, 200, 200, 0, app.mainWindow, nullptr);
    KillTimer(nullptr, timer);
    DestroyMenu(menu);
    SendMessageW(app.mainWindow, APPMSG_MENUTRACK, menuTrackFree, 0);
    return press;
}

TEST_F(Tracking, PressOnAnInactiveRowIsRefusedAndAPressOnAnActiveRowLooksPushed) {
    app.shortcutByte = 0x85; // Alt + Shift: the second group's "Alt" is inactive
    Press inactive = PressRow(4);
    EXPECT_EQ(inactive.result, 1);
    EXPECT_EQ(inactive.pressedAfter, -1) << "an inactive row keeps no press, so its release runs nothing";
    EXPECT_EQ(inactive.after, GetSysColor(COLOR_BTNFACE)) << "its inactive look stays";
    Press active = PressRow(5);
    EXPECT_EQ(active.result, 0);
    EXPECT_EQ(active.pressedAfter, 125);
    EXPECT_EQ(active.before, RGB(255, 255, 255)) << "the radio's inside is white before the press";
    EXPECT_EQ(active.after, GetSysColor(COLOR_BTNFACE)) << "and pushed after it";
    // The rows' own marks and the pressed one land on the same square, taken from the row's place.
    EXPECT_EQ(active.markBefore, ReferenceMark(DFCS_BUTTONRADIO, COLOR_MENU));
    EXPECT_EQ(active.markAfter, ReferenceMark(DFCS_BUTTONRADIO | DFCS_PUSHED, COLOR_HIGHLIGHT));
}
} // namespace

// Help and the home page hand their file to the shell from worker threads of their own: the shell is called
// with COM set up apartment-threaded, and the thread has released it again when the command ends. The
// program's import of the shell's function is pointed at a recorder for the test.
namespace shell_callers {
// Asking this thread for the other COM model fails with RPC_E_CHANGED_MODE exactly when an apartment-threaded
// one is set up, and succeeds when none is.
HRESULT OtherModelAnswer() {
    HRESULT answer = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(answer)) CoUninitialize();
    return answer;
}
HRESULT modeSeen;
HINSTANCE WINAPI RecordingShellExecute(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT) {
    modeSeen = OtherModelAnswer();
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33));
}
void** ImportSlot(const char* dll, const char* name) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    FARPROC real = GetProcAddress(GetModuleHandleA(dll), name);
    auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(
        base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    for (; import->Name; ++import)
        for (auto** slot = reinterpret_cast<void**>(base + import->FirstThunk); *slot; ++slot)
            if (*slot == reinterpret_cast<void*>(real)) return slot;
    return nullptr;
}
} // namespace shell_callers

// Each command runs here on the test's thread, which has no COM of its own.
TEST(ShellCallers, HelpAndHomePageCallTheShellWithComSetUpAndReleaseIt) {
    using namespace shell_callers;
    void** slot = ImportSlot("shell32.dll", "ShellExecuteW");
    ASSERT_TRUE(slot);
    void* real = *slot;
    DWORD protection;
    ASSERT_TRUE(VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection));
    *slot = reinterpret_cast<void*>(RecordingShellExecute);
    for (LPTHREAD_START_ROUTINE command : {HelpThreadProc, HomePageThreadProc}) {
        modeSeen = S_OK;
        command(nullptr);
        EXPECT_EQ(modeSeen, RPC_E_CHANGED_MODE) << "the shell was called without an apartment-threaded COM";
        EXPECT_EQ(OtherModelAnswer(), S_OK) << "COM was left set up on the thread";
    }
    *slot = real;
    VirtualProtect(slot, sizeof *slot, protection, &protection);
}
