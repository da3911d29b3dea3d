// The desktop's real taskbar under the shipped Vitrea.exe: its transparency setting and the hover fade,
// driven from this second process as the hook library would drive them.
#include <gtest/gtest.h>
#include "support/e2e_support.h"
#include <commctrl.h>
#include <tlhelp32.h>
#include <algorithm>
#include <cwctype>

namespace {


// The libraries loaded in a process, names in lower case.
std::vector<std::wstring> LoadedLibraries(DWORD processId) {
    std::vector<std::wstring> names;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE) return names;
    MODULEENTRY32W entry = {sizeof entry};
    for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry)) {
        std::wstring name = entry.szModule;
        std::transform(name.begin(), name.end(), name.begin(), [](wchar_t c) { return std::towlower(c); });
        names.push_back(name);
    }
    CloseHandle(snapshot);
    return names;
}

bool Holds(const std::vector<std::wstring>& names, const wchar_t* name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

class TaskbarEndToEnd : public ::testing::Test {
protected:
    Process vitrea;
    HWND window = nullptr;
    HWND taskbar = nullptr;
    UINT setLayeredStyle = RegisterWindowMessageW(setLayeredStyleMessage);

    void SetUp() override {
        EndAllVitreas();
        taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
        ASSERT_TRUE(taskbar) << "the virtual desktop has no taskbar";
        ASSERT_FALSE(IsLayered(taskbar)) << "an earlier test left the taskbar layered";
    }
    void TearDown() override {
        // Only the hook library, while Vitrea runs, can clear the style inside the taskbar's process.
        if (window && IsWindow(window) && IsLayered(taskbar)) SendMessageW(taskbar, setLayeredStyle, 0, 0);
        EndAllVitreas();
        EXPECT_FALSE(IsLayered(taskbar)) << "the taskbar stays layered after the test";
    }
    void StartWith(BYTE taskbarByte, BYTE alpha) {
        WriteByteValue(L"Taskbar Transparency", taskbarByte);
        WriteByteValue(L"Taskbar Transparency Alpha", alpha);
        ASSERT_TRUE(vitrea.Start(Built().vitreaExe, L"", FolderOf(Built().vitreaExe)));
        window = FindVitreaWindow(vitrea);
        ASSERT_TRUE(window) << "no settings window appeared";
        // Shown last: start-up, the taskbar's alpha included, is over.
        ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(window) != FALSE; }));
    }
    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) {
        return SendMessageW(window, message, wParam, lParam);
    }
    LRESULT Hover(LPARAM lowWord) {
        return Send(APPMSG_TASKBARHOVER, reinterpret_cast<WPARAM>(taskbar), lowWord);
    }
    std::vector<int> Watch(const std::function<bool(int)>& done) { return WatchAlpha(taskbar, done); }
    // A fade's thread ends once its timer has been killed and its last tick is done.
    bool FadeOver() {
        return WaitFor([&] { return ProgramThreads(vitrea, window).empty(); }, 5000);
    }
    static BYTE Stored(const WCHAR* name) {
        RegValue value = ReadValue(name);
        EXPECT_TRUE(value.present && value.type == REG_BINARY && value.data.size() == 1);
        return value.data.empty() ? 0 : value.data[0];
    }
    HWND Slider() {
        std::vector<HWND> children = Children(window);
        return children.size() > 5 ? children[5] : nullptr;
    }
};


TEST_F(TaskbarEndToEnd, HoverFadesTheTaskbarToOpaqueAndBackToTheChosenAlpha) {
    Xdotool(L"mousemove 512 300"); // keep the real mouse off the taskbar
    // The slowest speed: the watcher sees several steps even on a busy machine.
    StartWith(0x03, 120); // on, fade-in on, 400 ms
    ASSERT_TRUE(window);
    ASSERT_TRUE(WaitFor([&] { return IsLayered(taskbar); })) << "start-up applies the chosen alpha";
    // The multimedia timer's library is loaded by the first fade, not by start-up.
    std::vector<std::wstring> atStart = LoadedLibraries(vitrea.info.dwProcessId);
    ASSERT_TRUE(Holds(atStart, L"user32.dll")) << "the library list of Vitrea's process cannot be read";
    EXPECT_FALSE(Holds(atStart, L"winmm.dll"));
    // A first mouse-leave settles the fade's idea of the shown alpha on the chosen one.
    EXPECT_EQ(Hover(5), 0);
    ASSERT_EQ(Watch([](int alpha) { return alpha == 120; }).back(), 120);
    ASSERT_TRUE(FadeOver());
    EXPECT_TRUE(Holds(LoadedLibraries(vitrea.info.dwProcessId), L"winmm.dll"));

    EXPECT_EQ(Hover(4), 0);
    std::vector<int> up = Watch([](int alpha) { return alpha == 255; });
    EXPECT_EQ(up.back(), 255);
    EXPECT_TRUE(Monotonic(up, true));
    EXPECT_GE(up.size(), 4u) << "a fade, not a jump";
    EXPECT_EQ(Hover(5), 0);
    std::vector<int> down = Watch([](int alpha) { return alpha <= 120; });
    EXPECT_EQ(down.back(), 120);
    EXPECT_TRUE(Monotonic(down, false));
    EXPECT_GE(down.size(), 4u);
    ASSERT_TRUE(FadeOver());
    EXPECT_EQ(LayeredAlpha(taskbar), 120) << "the fade overshot or another one went on";
}

TEST_F(TaskbarEndToEnd, StartUpAppliesTheChosenAlphaAndShutdownRestores) {
    StartWith(0x23, 120);
    ASSERT_TRUE(window);
    EXPECT_TRUE(WaitFor([&] { return LayeredAlpha(taskbar) == 120; }));
    EXPECT_EQ(Send(APPMSG_GETALPHA, reinterpret_cast<WPARAM>(taskbar), 0), 120);
    EXPECT_TRUE(IsWindowEnabled(Slider()));
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(vitrea.Wait(), 0u);
    EXPECT_FALSE(IsLayered(taskbar));
}

TEST_F(TaskbarEndToEnd, TaskbarCreatedAppliesTheAlphaAgain) {
    StartWith(0x23, 120);
    ASSERT_TRUE(window);
    ASSERT_TRUE(WaitFor([&] { return LayeredAlpha(taskbar) == 120; }));
    // What a restarted shell's new taskbar looks like: an ordinary window again.
    SendMessageW(taskbar, setLayeredStyle, 0, 0);
    ASSERT_FALSE(IsLayered(taskbar));
    Send(RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_EQ(LayeredAlpha(taskbar), 120);
}

TEST_F(TaskbarEndToEnd, SettingSwitchAppliesAndRemovesWithTheRegistryFollowing) {
    StartWith(0x22, 120);
    ASSERT_TRUE(window);
    EXPECT_FALSE(IsLayered(taskbar)) << "switched off: nothing applied at start-up";
    EXPECT_EQ(Send(APPMSG_SETTING, settingTaskbarOn, 1), 0);
    EXPECT_EQ(LayeredAlpha(taskbar), 120);
    EXPECT_EQ(Stored(L"Taskbar Transparency"), 0x23);
    EXPECT_EQ(Send(APPMSG_SETTING, settingTaskbarOn, 0), 0);
    EXPECT_FALSE(IsLayered(taskbar));
    EXPECT_EQ(Stored(L"Taskbar Transparency"), 0x22);
    EXPECT_EQ(Send(APPMSG_GETALPHA, reinterpret_cast<WPARAM>(taskbar), 0), -1);
}

TEST_F(TaskbarEndToEnd, AlphaRequestForTheTaskbarSwitchesTheSettingOnAndChoosesTheAlpha) {
    StartWith(0x22, 120);
    ASSERT_TRUE(window);
    EXPECT_EQ(Send(APPMSG_SETALPHA, reinterpret_cast<WPARAM>(taskbar), 60), 0);
    EXPECT_EQ(LayeredAlpha(taskbar), 60);
    EXPECT_EQ(Stored(L"Taskbar Transparency"), 0x23);
    EXPECT_EQ(Stored(L"Taskbar Transparency Alpha"), 60);
    EXPECT_EQ(Send(APPMSG_GETALPHA, reinterpret_cast<WPARAM>(taskbar), 0), 60);
    EXPECT_TRUE(IsWindowEnabled(Slider()));
    EXPECT_EQ(SendMessageW(Slider(), TBM_GETPOS, 0, 0), 255 - 60);
}

TEST_F(TaskbarEndToEnd, RemovalRequestForTheTaskbarSwitchesTheSettingOffAndLeavesItOpaque) {
    StartWith(0x23, 120);
    ASSERT_TRUE(window);
    ASSERT_TRUE(WaitFor([&] { return LayeredAlpha(taskbar) == 120; }));
    EXPECT_EQ(Send(APPMSG_SETALPHA, reinterpret_cast<WPARAM>(taskbar), alphaRemoveRequest), 0);
    EXPECT_FALSE(IsLayered(taskbar));
    EXPECT_EQ(Stored(L"Taskbar Transparency"), 0x22);
    EXPECT_EQ(Stored(L"Taskbar Transparency Alpha"), 120);
    EXPECT_EQ(Send(APPMSG_GETALPHA, reinterpret_cast<WPARAM>(taskbar), 0), -1);
    EXPECT_FALSE(IsWindowEnabled(Slider()));
}
} // namespace
