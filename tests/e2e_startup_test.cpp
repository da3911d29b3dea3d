// The shipped Vitrea.exe, started and driven from this second process as the hook library would drive it.
#include <gtest/gtest.h>
#include <functional>
#include "support/e2e_support.h"
#include <commctrl.h>
#include <shlwapi.h>

namespace {

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        EndAllVitreas();
        SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Tarnwick Software\\Planted");
    }
    void TearDown() override {
        EndAllVitreas();
        SetProgramWindowsVersion(L"Vitrea.exe", nullptr);
    }
    HWND StartVitrea(Process& process) {
        EXPECT_TRUE(process.Start(Built().vitreaExe, L"", FolderOf(Built().vitreaExe)));
        HWND window = FindVitreaWindow(process);
        EXPECT_NE(window, nullptr) << "no settings window appeared";
        // The window exists before its controls and settings do; the tray icon comes after both.
        if (window) EXPECT_TRUE(WaitFor([&] { return TrayIconExists(window); }));
        return window;
    }
    static BYTE Stored(const WCHAR* name) {
        RegValue value = ReadValue(name);
        EXPECT_TRUE(value.present && value.type == REG_BINARY && value.data.size() == 1);
        return value.data.empty() ? 0 : value.data[0];
    }
    static bool MutexExists() {
        HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, L"Vitrea Mutex");
        if (mutex) CloseHandle(mutex);
        return mutex != nullptr;
    }
};

TEST_F(Startup, FirstRunCreatesSettingsWindowAndTrayIcon) {
    Process vitrea;
    HWND window = StartVitrea(vitrea);
    ASSERT_TRUE(window);
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(window) != FALSE; }));
    RegValue skin = ReadValue(L"Skin");
    EXPECT_EQ(skin.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(skin.data.size(), 16u);
    EXPECT_EQ(Stored(L"Keyboard Shortcut"), 0x45);
    EXPECT_EQ(Stored(L"Taskbar Transparency"), 0x22);
    EXPECT_EQ(Stored(L"Taskbar Transparency Alpha"), 0x90);
    EXPECT_EQ(Stored(L"Options"), 0x00);

    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 363);
    EXPECT_EQ(client.bottom, 134);
    std::vector<HWND> children = Children(window);
    ASSERT_EQ(children.size(), 7u);
    auto selected = [](HWND combo) {
        std::vector<std::wstring> items = ComboItems(combo);
        LRESULT at = SendMessageW(combo, CB_GETCURSEL, 0, 0);
        return at >= 0 && at < static_cast<LRESULT>(items.size()) ? items[at] : std::wstring(L"(none)");
    };
    EXPECT_EQ(selected(children[0]), L"Ctrl");
    EXPECT_EQ(selected(children[1]), L"Shift");
    EXPECT_EQ(selected(children[2]), L"0-9");
    HWND slider = children[5];
    EXPECT_EQ(ClassName(slider), L"msctls_trackbar32");
    EXPECT_FALSE(IsWindowEnabled(slider));
    EXPECT_EQ(SendMessageW(slider, TBM_GETPOS, 0, 0), 111);
    EXPECT_EQ(SendMessageW(slider, TBM_GETRANGEMIN, 0, 0), 0);
    EXPECT_EQ(SendMessageW(slider, TBM_GETRANGEMAX, 0, 0), 254);
    EXPECT_TRUE(WaitFor([&] { return TrayIconExists(window); }));
    EXPECT_TRUE(MutexExists());
    EXPECT_EQ(SendMessageW(window, 0x8006, 5, 6), 0);
}

TEST_F(Startup, RefusesWindowsVersionsOtherThan2000AndXP) {
    SetProgramWindowsVersion(L"Vitrea.exe", L"win7");
    Process vitrea;
    ASSERT_TRUE(vitrea.Start(Built().vitreaExe, L"", FolderOf(Built().vitreaExe)));
    HWND box = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (box = FindWindowW(L"#32770", L"Vitrea")) != nullptr; }, 20000));
    // The dialog's text control may appear a moment after the dialog itself.
    EXPECT_TRUE(WaitFor([&] {
        for (HWND child : Children(box))
            if (WindowText(child) == L"Vitrea is only supported on Windows 2000 and Windows XP") return true;
        return false;
    }));
    EXPECT_EQ(FindWindowW(L"VitreaClass", nullptr), nullptr);
    EXPECT_FALSE(MutexExists());
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(vitrea.Wait(), 0u);
    EXPECT_EQ(FindWindowW(L"VitreaClass", nullptr), nullptr);
    EXPECT_FALSE(ReadValue(L"Options").present) << "nothing ran past the version check";
}

TEST_F(Startup, SecondStartRestoresTheFirstInstanceAndExits) {
    WriteByteValue(L"Options", 0x01);
    Process first;
    HWND window = StartVitrea(first);
    ASSERT_TRUE(window);
    ASSERT_TRUE(WaitFor([&] { return TrayIconExists(window); }));
    EXPECT_FALSE(IsWindowVisible(window)) << "start minimized shows only the tray icon";

    Process second;
    ASSERT_TRUE(second.Start(Built().vitreaExe, L"", FolderOf(Built().vitreaExe)));
    EXPECT_EQ(second.Wait(), 0u);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(window) && !IsIconic(window); }));
    // The first instance brings itself to the front after the second one has already gone.
    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == window; }));

    // Minimised, the window hides and only the icon stays; a second start brings it back again.
    ShowWindowAsync(window, SW_MINIMIZE);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(window); }));
    EXPECT_TRUE(TrayIconExists(window));
    Process third;
    ASSERT_TRUE(third.Start(Built().vitreaExe, L"", FolderOf(Built().vitreaExe)));
    EXPECT_EQ(third.Wait(), 0u);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(window) && !IsIconic(window); }));
    EXPECT_TRUE(first.Running());
}

TEST_F(Startup, CloseRemovesTheIconAndExitsWithZero) {
    Process vitrea;
    HWND window = StartVitrea(vitrea);
    ASSERT_TRUE(window);
    ASSERT_TRUE(WaitFor([&] { return TrayIconExists(window); }));
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(vitrea.Wait(), 0u);
    EXPECT_FALSE(TrayIconExists(window));
    EXPECT_FALSE(MutexExists());
}

TEST_F(Startup, TaskbarCreatedAddsTheIconAgain) {
    Process vitrea;
    HWND window = StartVitrea(vitrea);
    ASSERT_TRUE(window);
    ASSERT_TRUE(WaitFor([&] { return TrayIconExists(window); }));
    // What a shell restart looks like to the program: its icon is gone, then the broadcast arrives.
    NOTIFYICONDATAW gone = {};
    gone.cbSize = NOTIFYICONDATAW_V2_SIZE;
    gone.hWnd = window;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &gone));
    ASSERT_FALSE(TrayIconExists(window));
    SendMessageW(window, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(TrayIconExists(window));
}

TEST_F(Startup, SettingsSentFromAnotherProcessAreWrittenAtOnce) {
    Process vitrea;
    HWND window = StartVitrea(vitrea);
    ASSERT_TRUE(window);
    struct Step {
        WPARAM code;
        LPARAM value;
        const WCHAR* name;
        BYTE stored;
    };
    const Step steps[] = {
        {1, 0, L"Keyboard Shortcut", 0x44},        {1, 1, L"Keyboard Shortcut", 0x45},
        {3, 0x0289, L"Keyboard Shortcut", 0x89},   {4, 0x0100 | 77, L"Taskbar Transparency Alpha", 77},
        {19, 0, L"Taskbar Transparency", 0x20},    {20, 100, L"Taskbar Transparency", 0x80},
        {20, 250, L"Taskbar Transparency", 0x00},  {19, 1, L"Taskbar Transparency", 0x02},
        {23, 0x01000002, L"Options", 0x02},        {23, 0x01000001, L"Options", 0x03},
        {23, 0x00000002, L"Options", 0x01},        {23, 0x00000001, L"Options", 0x00},
        {2, 1, L"Taskbar Transparency", 0x03},     {2, 0, L"Taskbar Transparency", 0x02},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "code " << step.code << " value 0x" << std::hex << step.value);
        EXPECT_EQ(SendMessageW(window, APPMSG_SETTING, step.code, step.value), 0);
        EXPECT_EQ(Stored(step.name), step.stored);
    }
    HWND slider = Children(window)[5];
    EXPECT_EQ(SendMessageW(slider, TBM_GETPOS, 0, 0), 255 - 77);
}

// Stored values at the edges: each start reads them, fills the window and leaves a readable registry.
TEST_F(Startup, StoredValuesAtTheEdgesAreReadSafely) {
    struct Case {
        const char* what;
        std::function<void()> store;
        std::function<void(HWND)> check;
    };
    auto selection = [](HWND combo) { return SendMessageW(combo, CB_GETCURSEL, 0, 0); };
    std::wstring longSkin = FolderOf(Built().vitreaExe) + L"\\" + std::wstring(128, L'q') + L".dll";
    const Case cases[] = {
        {"shortcut 0x00", [] { WriteByteValue(L"Keyboard Shortcut", 0x00); },
         [&](HWND w) {
             std::vector<HWND> c = Children(w);
             for (int i = 0; i < 3; ++i) EXPECT_FALSE(IsWindowEnabled(c[i]));
             EXPECT_EQ(selection(c[0]), CB_ERR);
             EXPECT_EQ(SendMessageW(c[1], CB_GETCOUNT, 0, 0), 0);
             EXPECT_EQ(selection(c[2]), 0);
         }},
        {"shortcut 0x91", [] { WriteByteValue(L"Keyboard Shortcut", 0x91); },
         [&](HWND w) {
             std::vector<HWND> c = Children(w);
             EXPECT_EQ(ComboItems(c[0])[selection(c[0])], L"Alt");
             EXPECT_EQ(ComboItems(c[1])[selection(c[1])], L"Ctrl");
         }},
        {"taskbar 0xA3 and a two-byte alpha",
         [] {
             WriteByteValue(L"Taskbar Transparency", 0xA3);
             const BYTE two[] = {1, 2};
             WriteValue(L"Taskbar Transparency Alpha", REG_BINARY, two, 2);
         },
         [&](HWND w) {
             EXPECT_TRUE(IsWindowEnabled(Children(w)[5]));
             EXPECT_EQ(Stored(L"Taskbar Transparency Alpha"), 144);
             EXPECT_EQ(Stored(L"Taskbar Transparency"), 0xA3) << "a readable value is not rewritten";
         }},
        {"skin of 256 bytes naming a library beside the program",
         [&] {
             std::wstring name(128, L'q');
             CopyFileW((FolderOf(Built().vitreaExe) + L"\\EddyMini.dll").c_str(), longSkin.c_str(), FALSE);
             WriteValue(L"Skin", REG_SZ, name.data(), 256);
         },
         [&](HWND) { EXPECT_EQ(ReadValue(L"Skin").data.size(), 256u) << "read whole and kept"; }},
        {"skin of 1000 bytes",
         [] {
             std::wstring name(500, L'q');
             WriteValue(L"Skin", REG_SZ, name.data(), 1000);
         },
         [&](HWND) { EXPECT_EQ(ReadValue(L"Skin").data.size(), 16u) << "replaced by Skinless"; }},
        {"skin of odd length", [] { WriteValue(L"Skin", REG_SZ, "A\0B\0C", 5); },
         [&](HWND) { EXPECT_EQ(ReadValue(L"Skin").data.size(), 16u) << "no library AB: Skinless instead"; }},
        {"skin as a DWORD",
         [] {
             DWORD number = 0x12345678;
             WriteValue(L"Skin", REG_DWORD, &number, 4);
         },
         [&](HWND) { EXPECT_EQ(ReadValue(L"Skin").type, static_cast<DWORD>(REG_SZ)) << "replaced by Skinless"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteSettingsKey();
        c.store();
        Process vitrea;
        HWND window = StartVitrea(vitrea);
        ASSERT_TRUE(window);
        ASSERT_TRUE(WaitFor([&] { return TrayIconExists(window); }));
        c.check(window);
        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(vitrea.Wait(), 0u) << "the program must end cleanly";
    }
    DeleteFileW(longSkin.c_str());
}

// Whatever another program sends with the application messages, Vitrea answers and keeps running.
TEST_F(Startup, NonsenseFromOtherProgramsDoesNotBringItDown) {
    Process vitrea;
    HWND window = StartVitrea(vitrea);
    ASSERT_TRUE(window);
    HWND desktopWindow = GetDesktopWindow();
    const WPARAM targets[] = {0, 1, 0xFFFF, 0xFFFFFFFF, 0x12345678, reinterpret_cast<WPARAM>(desktopWindow),
                              reinterpret_cast<WPARAM>(window), reinterpret_cast<WPARAM>(Children(window)[0])};
    const LPARAM values[] = {0, 1, 3, 4, 5, 6, 8, 16, 32, 0x10000, 0x1FFFF, -1, 0x7FFFFFFF, 0x202, 0x205};
    for (UINT message = APPMSG_TRAY; message <= APPMSG_TASKBARHOVER; ++message) {
        for (WPARAM target : targets) {
            for (LPARAM value : values) {
                if (message == APPMSG_TRAY && value == WM_RBUTTONUP) {
                    // A right-button release on the icon opens the tray menu: it shows and is closed again.
                    DWORD pid = 0;
                    GetWindowThreadProcessId(window, &pid);
                    ASSERT_TRUE(SendNotifyMessageW(window, message, target, value));
                    ASSERT_TRUE(WaitFor([&] { return !VisibleMenus(pid).empty(); }, 5000)) << "no tray menu";
                    ASSERT_TRUE(EscapeMenus(pid)) << "the menu stayed open";
                    continue;
                }
                DWORD_PTR result = 0;
                ASSERT_TRUE(SendMessageTimeoutW(window, message, target, value, SMTO_NORMAL, 10000, &result))
                    << std::hex << "message 0x" << message << " wParam 0x" << target << " lParam 0x" << value;
            }
        }
    }
    EXPECT_TRUE(vitrea.Running());
    EXPECT_EQ(SendMessageW(window, APPMSG_GETALPHA, 0x12345678, 0), -1) << "still answering";
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(vitrea.Wait(30000), 0u);
}

// The hook library is found beside the program only; without it the program runs on.
TEST_F(Startup, HookLibraryIsLoadedByFullPathOnly) {
    std::wstring folder = FolderOf(Built().plantedDll) + L"\\..\\nodll";
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring copy = folder + L"\\Vitrea.exe";
    ASSERT_TRUE(CopyFileW(Built().vitreaExe.c_str(), copy.c_str(), FALSE));
    DeleteFileW((folder + L"\\Vitrea.dll").c_str());

    Process vitrea;
    ASSERT_TRUE(vitrea.Start(copy, L"", FolderOf(Built().plantedDll)));
    HWND window = FindVitreaWindow(vitrea);
    ASSERT_TRUE(window) << "a missing hook library must not stop the program";
    ASSERT_TRUE(WaitFor([&] { return TrayIconExists(window); }));
    EXPECT_FALSE(ReadValue(L"LoadedBy", L"Software\\Tarnwick Software\\Planted").present)
        << "the Vitrea.dll in the current directory was loaded";
    EXPECT_TRUE(vitrea.Running());
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(vitrea.Wait(), 0u);
}

// With the library beside it, the program's layered-style message is carried out inside another
// program's process before SendMessage returns.
TEST_F(Startup, HookLibrarySetsTheLayeredStyleInsideOtherPrograms) {
    Process vitrea;
    HWND window = StartVitrea(vitrea);
    ASSERT_TRUE(window);
    Process target;
    ASSERT_TRUE(target.Start(Built().probeExe, L"target HookTarget 100 100 300 200"));
    HWND other = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (other = FindWindowW(nullptr, L"HookTarget")) != nullptr; }, 20000));
    UINT setLayered = RegisterWindowMessageW(setLayeredStyleMessage);
    ASSERT_EQ(GetWindowLongW(other, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
    SendMessageW(other, setLayered, 1, 0);
    EXPECT_NE(GetWindowLongW(other, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
    SendMessageW(other, setLayered, 0, 0);
    EXPECT_EQ(GetWindowLongW(other, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
    PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_EQ(vitrea.Wait(), 0u);
    SendMessageW(other, setLayered, 1, 0);
    EXPECT_EQ(GetWindowLongW(other, GWL_EXSTYLE) & WS_EX_LAYERED, 0) << "the hook outlived UninitializeDll";
    PostMessageW(other, WM_CLOSE, 0, 0);
    target.Wait();
}
} // namespace
