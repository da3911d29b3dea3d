// The commands of the menus, clicked with the real mouse on the shipped Vitrea.exe while its hook library
// reports the presses and releases: checked through the registry, the open menu's pixels, the settings
// window's controls and the windows the commands open.
#include <gtest/gtest.h>
#include "support/e2e_support.h"
#include "support/menu_rows.h"
#include "support/skin_files.h"
#include "support/probe_target.h"
#include <psapi.h>
#include <shlwapi.h>
#include <algorithm>
#include <sstream>
#include <string>

namespace {
using Items = std::vector<std::wstring>;
constexpr WCHAR runKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Rows ('r') and separators ('s') of each menu, top to bottom.
constexpr char trayRows[] = "rrsrr", shortcutRows[] = "rrrsrrrsrr", taskbarRows[] = "rsrrrrr",
               optionsRows[] = "rrrsrrsrrr";
static_assert(RowsAre(trayRows, MenuTree::tray, 's') && RowsAre(shortcutRows, MenuTree::shortcut, 's') &&
              RowsAre(taskbarRows, MenuTree::taskbar, 's') && RowsAre(optionsRows, MenuTree::options, 's'));
// The runtime draws a menu's border inside its client area: rows start this far in.
constexpr int menuInset = 3;

enum Child { firstKey, secondKey, keySet, shortcutButton, taskbarButton, slider, optionsButton };

// A row of an open menu, found on the screen from the menu window and the row layout.
struct MenuRow {
    HWND menu;
    const char* rows;
    int position;

    RECT OnScreen() const {
        POINT origin = {menuInset, menuInset};
        ClientToScreen(menu, &origin);
        RECT client = {};
        GetClientRect(menu, &client);
        int top = origin.y;
        for (int i = 0; i < position; ++i) top += RowHeightOf(rows, i, 's');
        return {origin.x, top, origin.x + client.right - 2 * menuInset, top + MenuRowHeight()};
    }
    // The middle of the row's check box or radio, where the mark shows.
    BoxInside Mark() const {
        RECT row = OnScreen();
        int left = row.left + 2, top = row.top + 2;
        int width = GetSystemMetrics(SM_CXMENUCHECK), height = GetSystemMetrics(SM_CYMENUCHECK);
        return InsideOnScreen({left + width / 2 - 2, top + height / 2 - 2, left + width / 2 + 3, top + height / 2 + 3});
    }
    // The tray icon's tooltip can lie over the menu's lower rows for a while: the click waits until the row
    // itself is under the pointer.
    void Click() const {
        RECT row = OnScreen();
        POINT at = {row.left + 30, (row.top + row.bottom) / 2};
        EXPECT_TRUE(WaitFor([&] { return WindowFromPoint(at) == menu; }, 10000)) << "row " << position << " covered";
        ClickAt(at);
    }
    void Hover() const {
        RECT row = OnScreen();
        Xdotool(L"mousemove " + std::to_wstring(row.left + 30) + L" " + std::to_wstring((row.top + row.bottom) / 2));
    }
};

enum class Shown { checked, empty, inactive };
const char* Name(Shown shown) {
    return shown == Shown::checked ? "checked" : shown == Shown::empty ? "empty" : "inactive";
}
bool Shows(const MenuRow& row, Shown shown) {
    BoxInside inside = row.Mark();
    switch (shown) {
    case Shown::checked: return inside.dark >= 4;
    case Shown::empty: return inside.Empty();
    case Shown::inactive: return inside.white == 0 && inside.dark == 0;
    }
    return false;
}

class InMenuCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        EndAllVitreas();
        ParkPointer();
    }
    void TearDown() override {
        Xdotool(L"key Escape key Escape key Escape");
        EndAllVitreas();
        ParkPointer();
    }

    HWND Start(Process& process, const std::wstring& folder = L"") {
        EXPECT_TRUE(process.Start(Built().vitreaExe, L"", folder.empty() ? FolderOf(Built().vitreaExe) : folder));
        HWND window = FindVitreaWindow(process);
        EXPECT_NE(window, nullptr) << "no settings window appeared";
        if (!window) return nullptr;
        pid = process.info.dwProcessId;
        EXPECT_TRUE(WaitFor([&] { return TrayIconExists(window); }));
        EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(window) && GetForegroundWindow() == window; }));
        children = Children(window);
        return window;
    }
    HWND child(Child which) const { return children.at(which); }

    std::vector<HWND> OpenMenus() const { return VisibleMenus(pid); }
    // Waits until exactly `count` menus are open and returns one that is none of the `known` ones.
    HWND WaitForMenus(size_t count, std::initializer_list<HWND> known = {}) const {
        HWND other = nullptr;
        WaitFor(
            [&] {
                std::vector<HWND> menus = OpenMenus();
                if (menus.size() != count) return false;
                for (HWND menu : menus)
                    if (std::find(known.begin(), known.end(), menu) == known.end()) other = menu;
                return other != nullptr;
            },
            5000);
        return other;
    }
    HWND OpenTrayMenu() {
        RECT taskbar = ScreenRect(FindWindowW(L"Shell_TrayWnd", nullptr));
        return OpenMenuBy({taskbar.right - 10, taskbar.top + 10}, L"click 3", "tray");
    }
    HWND OpenOptionsMenu() { return OpenMenuBy(CentreOf(ScreenRect(child(optionsButton))), L"click 1", "options"); }
    // What was in front and under the pointer, and whether the program still answers, tell a click that went
    // astray from a menu that closed at once.
    HWND OpenMenuBy(POINT at, const WCHAR* clicks, const char* which) {
        ClickAt(at, clicks);
        HWND menu = WaitForMenus(1);
        if (!menu)
            ADD_FAILURE() << "no " << which << " menu; in front: " << ClassOf(GetForegroundWindow())
                          << ", under the pointer: " << ClassOf(WindowFromPoint(at))
                          << ", the settings window answers: " << Answers(FindWindowW(L"VitreaClass", nullptr));
        return menu;
    }
    static std::string ClassOf(HWND window) {
        WCHAR name[64] = {};
        GetClassNameW(window, name, 64);
        return std::string(name, name + lstrlenW(name));
    }
    HWND OpenSubmenu(HWND tray, int position) {
        MenuRow{tray, trayRows, position}.Hover();
        return WaitForMenus(2, {tray});
    }
    void ExpectMarks(std::initializer_list<std::pair<MenuRow, Shown>> marks) {
        for (const auto& [row, shown] : marks)
            EXPECT_TRUE(WaitFor([&] { return Shows(row, shown); }, 5000))
                << "row " << row.position << " is not " << Name(shown);
    }

    DWORD pid = 0;
    std::vector<HWND> children;
};

// One visit of the tray menu: every click changes its setting at once, shows it in the still open menu and
// in the settings window, and the menu stays open for the next one.
TEST_F(InMenuCommands, SettingsFlippedInOneVisitOfTheTrayMenu) {
    Process vitrea;
    ASSERT_TRUE(Start(vitrea));
    HWND tray = OpenTrayMenu();
    ASSERT_TRUE(tray) << "the tray menu did not open";
    HWND keys = OpenSubmenu(tray, 0);
    ASSERT_TRUE(keys) << "the Keyboard Shortcut submenu did not open";
    auto row = [&](int position) { return MenuRow{keys, shortcutRows, position}; };

    // Clicked row, then the stored byte, the three radios of the first key, of the second key (an inactive
    // one where it is the first key too), and what the combo boxes show.
    struct Case {
        int position;
        int stored;
        Shown first[3], second[3];
        int firstEntry;
        Items secondItems;
        int secondEntry, keySetEntry;
    };
    using S = Shown;
    const Case cases[] = {
        // Ctrl + Shift, 0-9 at the start (0x45). Alt first: Shift stays the second key.
        {0, 0x85, {S::checked, S::empty, S::empty}, {S::inactive, S::empty, S::checked}, 0, {L"Ctrl", L"Shift"}, 1, 0},
        {5, 0x89, {S::checked, S::empty, S::empty}, {S::inactive, S::checked, S::empty}, 0, {L"Ctrl", L"Shift"}, 0, 0},
        // Ctrl first while Ctrl is the second key: Ctrl + Alt.
        {1, 0x51, {S::empty, S::checked, S::empty}, {S::checked, S::inactive, S::empty}, 1, {L"Alt", L"Shift"}, 0, 0},
        // Alt first while Alt is the second key: Alt + Ctrl.
        {0, 0x89, {S::checked, S::empty, S::empty}, {S::inactive, S::checked, S::empty}, 0, {L"Ctrl", L"Shift"}, 0, 0},
        {9, 0x8B, {S::checked, S::empty, S::empty}, {S::inactive, S::checked, S::empty}, 0, {L"Ctrl", L"Shift"}, 0, 1},
        {6, 0x87, {S::checked, S::empty, S::empty}, {S::inactive, S::empty, S::checked}, 0, {L"Ctrl", L"Shift"}, 1, 1},
        // Shift first while Shift is the second key: Shift + Alt; the key set stays F1-F12.
        {2, 0x33, {S::empty, S::empty, S::checked}, {S::checked, S::empty, S::inactive}, 2, {L"Alt", L"Ctrl"}, 0, 1},
        {8, 0x31, {S::empty, S::empty, S::checked}, {S::checked, S::empty, S::inactive}, 2, {L"Alt", L"Ctrl"}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("click on row " + std::to_string(c.position) + ", expecting 0x" +
                     (std::stringstream() << std::hex << c.stored).str());
        row(c.position).Click();
        ASSERT_TRUE(WaitFor([&] { return StoredByte(L"Keyboard Shortcut") == c.stored; }, 5000))
            << "stored 0x" << std::hex << StoredByte(L"Keyboard Shortcut");
        ExpectMarks({{row(0), c.first[0]}, {row(1), c.first[1]}, {row(2), c.first[2]}, {row(4), c.second[0]},
                     {row(5), c.second[1]}, {row(6), c.second[2]}});
        ExpectMarks({{row(8), c.keySetEntry ? S::empty : S::checked}, {row(9), c.keySetEntry ? S::checked : S::empty}});
        EXPECT_EQ(Selection(child(firstKey)), c.firstEntry);
        EXPECT_EQ(ComboItems(child(secondKey)), c.secondItems);
        EXPECT_EQ(Selection(child(secondKey)), c.secondEntry);
        EXPECT_EQ(Selection(child(keySet)), c.keySetEntry);
        ASSERT_EQ(OpenMenus().size(), 2u) << "the menu closed";
    }

    // The first key chosen again writes nothing: the value, deleted first, stays away while the taskbar
    // switch clicked after it is written.
    SHDeleteValueW(HKEY_CURRENT_USER, settingsKey, L"Keyboard Shortcut");
    SendMessageW(child(firstKey), CB_SETCURSEL, 0, 0);
    row(2).Click();
    ExpectMarks({{row(2), S::checked}});
    MenuRow taskbarRow{tray, trayRows, 1};
    taskbarRow.Click();
    ASSERT_TRUE(WaitFor([&] { return StoredByte(L"Taskbar Transparency") == 0x23; }, 5000));
    EXPECT_EQ(StoredByte(L"Keyboard Shortcut"), -1) << "choosing the current first key wrote the shortcut";
    EXPECT_EQ(Selection(child(firstKey)), 0) << "choosing the current first key changed the combo box";
    ExpectMarks({{taskbarRow, S::checked}});
    EXPECT_TRUE(WaitFor([&] { return BoxOnScreen(child(taskbarButton)).Checked(); }, 5000));
    EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(child(slider)) != FALSE; }, 5000));

    // Fade In twice returns to where it was; a speed moves the radio.
    HWND fade = WaitForMenus(2, {tray, keys});
    ASSERT_TRUE(fade) << "the Taskbar Transparency submenu did not open";
    MenuRow fadeIn{fade, taskbarRows, 0}, fastest{fade, taskbarRows, 2}, slow{fade, taskbarRows, 5};
    ExpectMarks({{fadeIn, S::checked}, {slow, S::checked}, {fastest, S::empty}});
    fadeIn.Click();
    EXPECT_TRUE(WaitFor([&] { return StoredByte(L"Taskbar Transparency") == 0x21; }, 5000));
    ExpectMarks({{fadeIn, S::empty}});
    fadeIn.Click();
    EXPECT_TRUE(WaitFor([&] { return StoredByte(L"Taskbar Transparency") == 0x23; }, 5000));
    ExpectMarks({{fadeIn, S::checked}});
    fastest.Click();
    EXPECT_TRUE(WaitFor([&] { return StoredByte(L"Taskbar Transparency") == 0x83; }, 5000));
    ExpectMarks({{fastest, S::checked}, {slow, S::empty}});

    // The tray row of the keyboard shortcut switches it off, with its check button and the combo boxes.
    MenuRow shortcutRow{tray, trayRows, 0};
    shortcutRow.Click();
    EXPECT_TRUE(WaitFor([&] { return StoredByte(L"Keyboard Shortcut") == 0x30; }, 5000));
    ExpectMarks({{shortcutRow, S::empty}});
    EXPECT_TRUE(WaitFor([&] { return BoxOnScreen(child(shortcutButton)).Empty(); }, 5000));
    EXPECT_TRUE(WaitFor([&] { return !IsWindowEnabled(child(firstKey)); }, 5000));
    EXPECT_FALSE(OpenMenus().empty()) << "the menu closed";
}

// Start With Windows writes the quoted path of the program under the Run key and removes it again; the mark
// follows the stored option even when someone else removed the Run value.
TEST_F(InMenuCommands, StartWithWindowsWritesAndRemovesTheRunValue) {
    SHDeleteValueW(HKEY_CURRENT_USER, runKey, L"Vitrea");
    Process vitrea;
    ASSERT_TRUE(Start(vitrea));
    HWND options = OpenOptionsMenu();
    ASSERT_TRUE(options) << "the Options menu did not open";
    MenuRow startWithWindows{options, optionsRows, 5}, startMinimized{options, optionsRows, 4};
    std::wstring quoted = L"\"" + Built().vitreaExe + L"\"";
    auto runValue = [] { return ReadString(L"Vitrea", runKey); };

    startWithWindows.Click();
    EXPECT_TRUE(WaitFor([&] { return StoredByte(L"Options") == 0x02; }, 5000));
    // The stored text carries its terminating NUL.
    EXPECT_TRUE(WaitFor([&] { return runValue().size() == quoted.size() + 1 && runValue().back() == L'\0'; }, 5000));
    EXPECT_EQ(lstrcmpiW(runValue().c_str(), quoted.c_str()), 0)
        << "Run value: " << std::string(runValue().begin(), runValue().end());
    ExpectMarks({{startWithWindows, Shown::checked}, {startMinimized, Shown::empty}});

    startMinimized.Click();
    EXPECT_TRUE(WaitFor([&] { return StoredByte(L"Options") == 0x03; }, 5000));
    startWithWindows.Click();
    EXPECT_TRUE(WaitFor([&] { return StoredByte(L"Options") == 0x01; }, 5000));
    EXPECT_TRUE(WaitFor([&] { return runValue() == L"(none)"; }, 5000));
    ExpectMarks({{startWithWindows, Shown::empty}, {startMinimized, Shown::checked}});

    startWithWindows.Click();
    EXPECT_TRUE(WaitFor([&] { return runValue() != L"(none)"; }, 5000));
    SHDeleteValueW(HKEY_CURRENT_USER, runKey, L"Vitrea");
    Xdotool(L"key Escape");
    ASSERT_TRUE(WaitFor([&] { return OpenMenus().empty(); }, 5000));
    options = OpenOptionsMenu();
    ASSERT_TRUE(options);
    ExpectMarks({{MenuRow{options, optionsRows, 5}, Shown::checked}});
    SHDeleteValueW(HKEY_CURRENT_USER, runKey, L"Vitrea");
}

// About opens one window, centred and showing the picture; choosing it again brings that window to the
// front; minimising closes it, and About then opens a new one. The window covers the options button, so
// About is chosen from the tray menu.
TEST_F(InMenuCommands, AboutOpensOneWindowThatClosesWhenMinimised) {
    Process vitrea;
    ASSERT_TRUE(Start(vitrea));
    auto aboutWindows = [&] {
        std::vector<HWND> found;
        for (HWND w = FindWindowW(L"VitreaAboutClass", nullptr); w; w = FindWindowExW(nullptr, w, L"VitreaAboutClass", nullptr))
            found.push_back(w);
        return found;
    };
    auto chooseAbout = [&] {
        HWND tray = OpenTrayMenu();
        ASSERT_TRUE(tray);
        HWND options = OpenSubmenu(tray, 3);
        ASSERT_TRUE(options);
        MenuRow{options, optionsRows, 1}.Click();
        ASSERT_TRUE(WaitFor([&] { return OpenMenus().empty(); }, 5000)) << "the menu stayed open";
    };

    chooseAbout();
    ASSERT_TRUE(WaitFor([&] { return aboutWindows().size() == 1 && IsWindowVisible(aboutWindows()[0]); }, 5000));
    HWND about = aboutWindows()[0];
    EXPECT_EQ(WindowText(about), L"About Vitrea v1.1");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(about, GWL_STYLE)) & ~WS_CLIPSIBLINGS, 0x90C80004u);
    RECT client = {}, frame = ScreenRect(about);
    GetClientRect(about, &client);
    EXPECT_EQ(client.right, 404);
    EXPECT_EQ(client.bottom, 152);
    EXPECT_EQ(frame.left, (GetSystemMetrics(SM_CXSCREEN) - 410) / 2);
    POINT inside = {200, 5};
    ClientToScreen(about, &inside);
    HDC screen = GetDC(nullptr);
    EXPECT_TRUE(WaitFor([&] {
        COLORREF c = GetPixel(screen, inside.x, inside.y);
        return GetBValue(c) > GetRValue(c) + 40; // the picture's dark blue, not an unpainted window
    }, 5000));
    ReleaseDC(nullptr, screen);

    // Another program's window in front; About again brings the open one back instead of a second.
    Target other;
    ASSERT_TRUE(other.Launch(L"AboutCover", 10, 10, 200, 150));
    ASSERT_TRUE(other.Ready());
    ClickAt({60, 80});
    ASSERT_TRUE(WaitFor([&] { return GetForegroundWindow() == other.window; }, 5000));
    chooseAbout();
    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == about; }, 5000)) << "not brought to the front";
    EXPECT_EQ(aboutWindows(), std::vector<HWND>{about});

    ShowWindowAsync(about, SW_MINIMIZE);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(about); }, 5000)) << "minimising did not close it";
    EXPECT_TRUE(WaitFor([&] { return ProgramThreads(vitrea, FindVitreaWindow(vitrea)).empty(); }));

    // An About window the system refuses to create leaves no thread waiting for ever behind it.
    {
        WindowRefuser refuser;
        ASSERT_TRUE(refuser.refused && refuser.hook);
        chooseAbout();
        EXPECT_EQ(WaitForSingleObject(refuser.refused, 5000), WAIT_OBJECT_0) << "the About window was not refused";
        EXPECT_TRUE(WaitFor([&] { return ProgramThreads(vitrea, FindVitreaWindow(vitrea)).empty(); }))
            << "the About thread stayed";
    }

    chooseAbout();
    EXPECT_TRUE(WaitFor([&] { return aboutWindows().size() == 1 && IsWindowVisible(aboutWindows()[0]); }, 5000));
    PostMessageW(other.window, WM_CLOSE, 0, 0);
}

// Help opens our file from the program's folder although Vitrea runs with another current folder; chosen
// again, it restores the viewer instead of opening a second one.
TEST_F(InMenuCommands, HelpOpensTheViewerFromTheProgramFolderAndRestoresIt) {
    auto viewers = [] {
        std::vector<HWND> found;
        for (HWND w = FindWindowW(L"HH Parent", nullptr); w; w = FindWindowExW(nullptr, w, L"HH Parent", nullptr))
            if (IsWindowVisible(w) || IsIconic(w)) found.push_back(w);
        return found;
    };
    for (HWND w : viewers()) PostMessageW(w, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return viewers().empty(); }, 5000));
    WCHAR elsewhere[MAX_PATH] = {};
    GetWindowsDirectoryW(elsewhere, MAX_PATH);
    Process vitrea;
    ASSERT_TRUE(Start(vitrea, elsewhere));
    auto chooseHelp = [&] {
        HWND options = OpenOptionsMenu();
        ASSERT_TRUE(options);
        MenuRow{options, optionsRows, 0}.Click();
        ASSERT_TRUE(WaitFor([&] { return OpenMenus().empty(); }, 5000)) << "the menu stayed open";
    };

    chooseHelp();
    // The title comes from the window definition inside our help file.
    ASSERT_TRUE(WaitFor([&] { return FindWindowW(L"HH Parent", L"Vitrea Help") != nullptr; }, 20000))
        << "no help viewer titled \"Vitrea Help\"";
    HWND viewer = FindWindowW(L"HH Parent", L"Vitrea Help");
    // A viewer still starting up can take the activation back later, and close the menu clicked open next.
    DWORD viewerProcess = 0;
    GetWindowThreadProcessId(viewer, &viewerProcess);
    if (HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, viewerProcess)) {
        WaitForInputIdle(process, 10000);
        CloseHandle(process);
    }
    ShowWindowAsync(viewer, SW_MINIMIZE);
    ASSERT_TRUE(WaitFor([&] { return IsIconic(viewer) != FALSE; }, 5000));
    chooseHelp();
    EXPECT_TRUE(WaitFor([&] { return !IsIconic(viewer) && IsWindowVisible(viewer); }, 10000)) << "not restored";
    EXPECT_EQ(viewers(), std::vector<HWND>{viewer}) << "a second viewer opened";
    PostMessageW(viewer, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(viewer); }, 5000));
}

// The home page goes to whatever the system opens web addresses with: here a recorder of its argument.
TEST_F(InMenuCommands, HomePageHandsTheAddressToTheShell) {
    constexpr WCHAR handlerKey[] = L"Software\\Classes\\http\\shell\\open\\command";
    WCHAR temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring record = std::wstring(temp) + L"vitrea-homepage.txt";
    DeleteFileW(record.c_str());
    HKEY classes = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, handlerKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &classes, nullptr),
              ERROR_SUCCESS);
    WCHAR previous[1024] = {};
    DWORD previousSize = sizeof previous;
    bool hadPrevious = RegQueryValueExW(classes, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(previous),
                                        &previousSize) == ERROR_SUCCESS;
    std::wstring command = L"\"" + Built().probeExe + L"\" record \"" + record + L"\" \"%1\"";
    RegSetValueExW(classes, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>((command.size() + 1) * sizeof(WCHAR)));

    Process vitrea;
    if (Start(vitrea)) {
        HWND options = OpenOptionsMenu();
        ASSERT_TRUE(options);
        MenuRow{options, optionsRows, 2}.Click();
        EXPECT_TRUE(WaitFor([&] { return OpenMenus().empty(); }, 5000)) << "the menu stayed open";
        std::wstring recorded;
        EXPECT_TRUE(WaitFor(
            [&] {
                HANDLE file = CreateFileW(record.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
                if (file == INVALID_HANDLE_VALUE) return false;
                WCHAR text[256] = {};
                DWORD read = 0;
                ReadFile(file, text, sizeof text - sizeof(WCHAR), &read, nullptr);
                CloseHandle(file);
                recorded = text;
                return !recorded.empty();
            },
            20000));
        EXPECT_EQ(recorded, L"http://www.vitrea.example/");
    }
    if (hadPrevious)
        RegSetValueExW(classes, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(previous), previousSize);
    else
        RegDeleteValueW(classes, nullptr);
    RegCloseKey(classes);
    DeleteFileW(record.c_str());
}

// Whether a process has a view of the named file mapped, a skin library loaded as data included.
bool MapsFile(HANDLE process, const std::wstring& fileName) {
    MEMORY_BASIC_INFORMATION info = {};
    for (const BYTE* at = nullptr; VirtualQueryEx(process, at, &info, sizeof info) == sizeof info;
         at = static_cast<const BYTE*>(info.BaseAddress) + info.RegionSize) {
        if (info.State != MEM_COMMIT || (info.Type != MEM_MAPPED && info.Type != MEM_IMAGE)) continue;
        WCHAR name[MAX_PATH] = {};
        DWORD length = GetMappedFileNameW(process, info.BaseAddress, name, MAX_PATH);
        if (length >= fileName.size() && lstrcmpiW(name + length - fileName.size(), fileName.c_str()) == 0) return true;
        if (static_cast<const BYTE*>(info.BaseAddress) + info.RegionSize < at) break;
    }
    return false;
}

// The colour a skin's background image has at a point of the window.
COLORREF SkinBackground(const std::wstring& library, POINT at) {
    HMODULE module = LoadLibraryExW(library.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return CLR_INVALID;
    HBITMAP image = LoadBitmapW(module, MAKEINTRESOURCEW(103));
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, image);
    COLORREF colour = GetPixel(dc, at.x, at.y);
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(image);
    FreeLibrary(module);
    return colour;
}

// The skins chosen in turn from the tray menu's Options submenu of a program run from its own folder:
// each choice stores the name, repaints the window with the skin's own images and lets go of the library
// left; the skin shown already writes nothing; a skin whose file went away or is damaged falls back to the
// plain look and says why in a balloon at the tray icon, once for the same skin and fault.
TEST_F(InMenuCommands, SkinsSwitchedFromTheMenuRepaintAndLetGo) {
    std::wstring folder = CopyProgram(L"vitrea-menu-skins");
    ASSERT_FALSE(folder.empty());
    ASSERT_TRUE(KeepBalloonTitles());
    Balloon balloon;
    auto toldWhy = [&](const std::wstring& skin, const std::wstring& reason) {
        balloon = WaitForRefusal(skin, reason);
        // It lies over the skin rows: moved to a corner, so that the next row can be clicked.
        SetWindowPos(balloon.window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    };
    constexpr POINT sample = {340, 60}; // background, clear of every control and caption
    const COLORREF plain = GetSysColor(COLOR_BTNFACE), eddy = SkinBackground(folder + L"\\EddyMini.dll", sample),
                   pewter = SkinBackground(folder + L"\\PewterMini.dll", sample);
    ASSERT_TRUE(plain != eddy && eddy != pewter && pewter != plain) << "the sample cannot tell the looks apart";

    Process vitrea;
    EXPECT_TRUE(vitrea.Start(folder + L"\\Vitrea.exe", L"", folder));
    HWND window = FindVitreaWindow(vitrea);
    ASSERT_TRUE(window);
    pid = vitrea.info.dwProcessId;
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(window) && TrayIconExists(window); }));
    auto shown = [&] {
        POINT at = sample;
        ClientToScreen(window, &at);
        HDC screen = GetDC(nullptr);
        COLORREF colour = GetPixel(screen, at.x, at.y);
        ReleaseDC(nullptr, screen);
        return colour;
    };
    auto skinValue = [] { return ReadString(L"Skin"); };
    ASSERT_TRUE(WaitFor([&] { return shown() == plain; }, 5000));

    HWND tray = OpenTrayMenu();
    ASSERT_TRUE(tray);
    HWND options = OpenSubmenu(tray, 3);
    ASSERT_TRUE(options);
    auto row = [&](int position) { return MenuRow{options, optionsRows, position}; };

    // The look shown already: nothing is written, which the start-minimized click after it proves.
    SHDeleteValueW(HKEY_CURRENT_USER, settingsKey, L"Skin");
    row(7).Click();
    row(4).Click();
    ASSERT_TRUE(WaitFor([&] { return StoredByte(L"Options") == 0x01; }, 5000));
    EXPECT_EQ(skinValue(), L"(none)") << "choosing the shown look wrote the skin";
    row(4).Click();
    ASSERT_TRUE(WaitFor([&] { return StoredByte(L"Options") == 0x00; }, 5000));

    struct Step {
        int position;
        const WCHAR* stored;
        COLORREF colour;
        const WCHAR* loaded;  // the library that must be mapped afterwards, or null
        const WCHAR* dropped; // the library that must be gone afterwards, or null
    };
    const Step steps[] = {
        {8, L"EddyMini", eddy, L"EddyMini.dll", nullptr},
        {9, L"PewterMini", pewter, L"PewterMini.dll", L"EddyMini.dll"},
        {7, L"Skinless", plain, nullptr, L"PewterMini.dll"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.stored, step.stored + lstrlenW(step.stored)));
        row(step.position).Click();
        EXPECT_TRUE(WaitFor([&] { return skinValue() == step.stored; }, 5000));
        EXPECT_TRUE(WaitFor([&] { return shown() == step.colour; }, 5000)) << std::hex << "shows " << shown();
        ExpectMarks({{row(7), step.position == 7 ? Shown::checked : Shown::empty},
                     {row(8), step.position == 8 ? Shown::checked : Shown::empty},
                     {row(9), step.position == 9 ? Shown::checked : Shown::empty}});
        if (step.loaded) EXPECT_TRUE(MapsFile(vitrea.info.hProcess, step.loaded));
        if (step.dropped) EXPECT_FALSE(MapsFile(vitrea.info.hProcess, step.dropped)) << "still holds the library left";
        ASSERT_EQ(OpenMenus().size(), 2u) << "the menu closed";
    }

    // The file of a skin deleted before it is chosen: the plain look, with "Skinless" stored.
    ASSERT_TRUE(DeleteFileW((folder + L"\\EddyMini.dll").c_str()));
    row(8).Click();
    EXPECT_TRUE(WaitFor([&] { return StoredByte(L"Options") == 0x00 && skinValue() == L"Skinless"; }, 5000));
    ExpectMarks({{row(7), Shown::checked}, {row(8), Shown::empty}});
    EXPECT_EQ(shown(), plain);
    toldWhy(L"EddyMini", L"the file is missing");

    // Damaged files in the skins' places, one cut short and one with an absurd image: each choice falls
    // back the same way, lets go of the file, says why and leaves the program answering.
    ASSERT_TRUE(CopySkin(folder + L"\\EddyMini.dll") && Truncate(folder + L"\\EddyMini.dll", 0xE80));
    ASSERT_TRUE(CopySkin(folder + L"\\PewterMini.dll",
                         [](HANDLE u) { SetImage(u, 103, BitmapClaiming(30000, 30000)); }));
    const struct {
        int position;
        const WCHAR* skin;
        const WCHAR* reason;
    } damaged[] = {{8, L"EddyMini", L"the record of widths is missing or too short"},
                   {9, L"PewterMini", L"bitmap 103 is missing or damaged"}};
    for (const auto& [position, skin, reason] : damaged) {
        SCOPED_TRACE(position);
        SHDeleteValueW(HKEY_CURRENT_USER, settingsKey, L"Skin");
        row(position).Click();
        EXPECT_TRUE(WaitFor([&] { return skinValue() == L"Skinless"; }, 5000));
        toldWhy(skin, reason);
        DWORD_PTR answer;
        EXPECT_TRUE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &answer));
        EXPECT_EQ(shown(), plain);
        EXPECT_FALSE(MapsFile(vitrea.info.hProcess, position == 8 ? L"EddyMini.dll" : L"PewterMini.dll"));
        ExpectMarks({{row(7), Shown::checked}, {row(position), Shown::empty}});
    }
    // The same skin refused the same way again: the balloon shown stays, since a new one would replace it
    // before the choice is stored.
    SHDeleteValueW(HKEY_CURRENT_USER, settingsKey, L"Skin");
    row(9).Click();
    EXPECT_TRUE(WaitFor([&] { return skinValue() == L"Skinless"; }, 5000));
    Balloon after = ShownBalloon();
    EXPECT_TRUE(after.window == balloon.window && after.text == balloon.text) << "told twice";
    Xdotool(L"key Escape key Escape");
    EndAllVitreas();
    EXPECT_EQ(vitrea.Wait(), 0u);
    DeleteTree(folder);
}

// Exit from the open tray menu ends the program every time, with exit code 0 and the taskbar opaque again.
TEST_F(InMenuCommands, ExitEndsTheProgramEveryTime) {
    HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
    ASSERT_TRUE(taskbar);
    for (int round = 0; round < 15; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        WriteByteValue(L"Taskbar Transparency", 0x23);
        Process vitrea;
        ASSERT_TRUE(Start(vitrea));
        ASSERT_TRUE(WaitFor([&] { return LayeredAlpha(taskbar) == 144; }, 5000));
        HWND tray = OpenTrayMenu();
        ASSERT_TRUE(tray) << "the tray menu did not open";
        MenuRow{tray, trayRows, 4}.Click();
        ASSERT_EQ(vitrea.Wait(15000), 0u) << "Vitrea did not end";
        EXPECT_TRUE(OpenMenus().empty());
        int alpha = LayeredAlpha(taskbar);
        EXPECT_TRUE(alpha == -1 || alpha == 255) << "the taskbar stayed at " << alpha;
    }
}
} // namespace
