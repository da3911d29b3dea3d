// The shipped Vitrea.exe under faults of other programs: it keeps answering, loses no setting and leaves no
// window translucent behind.
#include <gtest/gtest.h>
#include "support/e2e_support.h"
#include "support/skin_files.h"
#include "engine/hook_library.h"
#include <shlwapi.h>
#include <algorithm>
#include <memory>
#include <cstdio>

namespace {
constexpr UINT msgHang = WM_APP + 7; // probe target: stop answering until "VitreaProbeWake" is set
constexpr const WCHAR* settingNames[] = {L"Skin", L"Keyboard Shortcut", L"Taskbar Transparency",
                                         L"Taskbar Transparency Alpha", L"Options"};

std::vector<RegValue> StoredSettings() {
    std::vector<RegValue> values;
    for (const WCHAR* name : settingNames) values.push_back(ReadValue(name));
    return values;
}

// The slowest answer of a Vitrea window seen by the running test, -1 while none was asked: a figure for the
// reliability suite's table.
long slowestAnswerMs = -1;

// Answers, keeping the time a Vitrea window took for the table.
bool AnswersTimed(HWND window, UINT waitMs) {
    DWORD asked = GetTickCount();
    bool answered = Answers(window, waitMs);
    WCHAR name[16] = {};
    if (GetClassNameW(window, name, 16) && lstrcmpW(name, L"VitreaClass") == 0)
        slowestAnswerMs = std::max(slowestAnswerMs, static_cast<long>(answered ? GetTickCount() - asked : waitMs));
    return answered;
}

class Faults : public ::testing::Test {
protected:
    void SetUp() override {
        EndAllVitreas();
        slowestAnswerMs = -1;
        wake = CreateEventW(nullptr, TRUE, FALSE, L"VitreaProbeWake");
        ASSERT_TRUE(wake);
    }
    void TearDown() override {
        if (slowestAnswerMs >= 0)
            printf("ROW|faults|%s: Vitrea's slowest answer|%ld ms|< 1000 ms|%s\n",
                   testing::UnitTest::GetInstance()->current_test_info()->name(), slowestAnswerMs,
                   slowestAnswerMs < 1000 ? "ok" : "MISSED");
        SetEvent(wake);
        CloseHandle(wake);
        if (target) PostMessageW(target, WM_CLOSE, 0, 0);
        EndAllVitreas();
    }
    static HWND StartTarget(Process& process, const std::wstring& title, const WCHAR* options = L"") {
        HWND found = nullptr;
        EXPECT_TRUE(process.Start(Built().probeExe, L"target " + title + L" 120 120 400 300 " + options));
        EXPECT_TRUE(WaitFor([&] { return (found = FindWindowW(nullptr, title.c_str())) != nullptr; }, 20000));
        return found;
    }
    void Start(const WCHAR* title, const std::wstring& vitreaExe = Built().vitreaExe) {
        ASSERT_TRUE(target = StartTarget(targetProcess, title));
        WriteByteValue(L"Options", 0x01); // start in the tray, so that a click on it shows the window
        ASSERT_TRUE(vitrea.Start(vitreaExe, L"", FolderOf(vitreaExe)));
        window = FindVitreaWindow(vitrea);
        ASSERT_TRUE(window);
        ASSERT_TRUE(WaitFor([&] { return TrayIconExists(window); })) << "start-up did not finish";
    }
    void Hang() {
        ResetEvent(wake);
        PostMessageW(target, msgHang, 60000, 0);
        ASSERT_TRUE(WaitFor([&] { return !AnswersTimed(target, 100); }, 5000)) << "the target did not stop answering";
    }
    // Once it answers again the target has also carried out every message queued for it before.
    void Wake() {
        SetEvent(wake);
        ASSERT_TRUE(WaitFor([&] { return AnswersTimed(target, 1000); }, 10000));
    }
    // Sends an alpha request from a thread of its own while the target is hung and, once Vitrea is working
    // on it, clicks the tray icon of the hidden Vitrea: the window must show within a second, as it does for
    // a user whose click arrives while Vitrea waits on someone else's program.
    void SetAlphaWhileHung(LPARAM request) {
        pending = request;
        HANDLE sender = CreateThread(nullptr, 0, SendPending, this, 0, nullptr);
        ASSERT_TRUE(sender);
        // An apply raises its curtain before it sends anything to the target; a removal gives no sign.
        if (!(request & alphaRemoveRequest))
            EXPECT_TRUE(WaitFor([] { return FindWindowW(L"VitreaFakeClass", nullptr) != nullptr; }, 5000));
        DWORD clicked = GetTickCount();
        PostMessageW(window, APPMSG_TRAY, 0, WM_LBUTTONUP);
        // The target hangs until the test wakes it: a window shown now was shown while it hung. How quickly
        // is a figure for the suite's table, not a pass mark here.
        EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(window) != FALSE; }, 5000)) << "the tray icon froze";
        DWORD shownMs = GetTickCount() - clicked;
        EXPECT_EQ(WaitForSingleObject(sender, 5000), WAIT_OBJECT_0) << "the request never came back";
        CloseHandle(sender);
        EXPECT_TRUE(pendingAnswered);
        // A figure for the reliability suite's table.
        printf("ROW|faults|hung target, %s: tray click to window shown|%lu ms|< 1000 ms|%s\n",
               request & alphaRemoveRequest ? "removal" : "apply", shownMs, shownMs < 1000 ? "ok" : "MISSED");
        PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(window); }));
    }
    static DWORD WINAPI SendPending(LPVOID self) {
        auto* test = static_cast<Faults*>(self);
        DWORD_PTR result = 0xDEAD;
        WPARAM target = reinterpret_cast<WPARAM>(test->target);
        test->pendingAnswered = SendMessageTimeoutW(test->window, APPMSG_SETALPHA, target, test->pending,
                                                    SMTO_NORMAL, 5000, &result) &&
                                result == 0;
        return 0;
    }
    LRESULT SetAlpha(HWND window, LPARAM request) const {
        DWORD_PTR result = 0xDEAD;
        EXPECT_TRUE(SendMessageTimeoutW(this->window, APPMSG_SETALPHA, reinterpret_cast<WPARAM>(window), request,
                                        SMTO_NORMAL, 5000, &result));
        return static_cast<LRESULT>(result);
    }
    static DWORD WINAPI ApplyToTarget(LPVOID self) {
        auto* test = static_cast<Faults*>(self);
        test->SetAlpha(test->target, 120);
        return 0;
    }
    void CloseVitrea() {
        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(vitrea.Wait(10000), 0u);
        EXPECT_FALSE(FindWindowW(L"VitreaFakeClass", nullptr)) << "a curtain outlived the program";
        if (target && IsWindow(target))
            EXPECT_FALSE(GetWindowLongW(target, GWL_EXSTYLE) & WS_EX_TOPMOST) << "the target was left topmost";
    }
    LRESULT RecordedAlpha(HWND of = nullptr) const {
        return SendMessageW(window, APPMSG_GETALPHA, reinterpret_cast<WPARAM>(of ? of : target), 0);
    }
    // A stand-in shell: its taskbar covers the given place and is the one a search by class finds first.
    static HWND StartShell(Process& shell, const RECT& place) {
        std::wstring where = std::to_wstring(place.left) + L" " + std::to_wstring(place.top) + L" " +
                             std::to_wstring(place.right - place.left) + L" " + std::to_wstring(place.bottom - place.top);
        EXPECT_TRUE(shell.Start(Built().probeExe, L"shell " + where));
        HWND found = nullptr;
        EXPECT_TRUE(WaitFor([&] {
            found = FindWindowW(L"Shell_TrayWnd", nullptr);
            DWORD pid = 0;
            GetWindowThreadProcessId(found, &pid);
            return pid == shell.info.dwProcessId;
        }, 20000));
        return found;
    }

    HANDLE wake = nullptr;
    LPARAM pending = 0;
    bool pendingAnswered = false;
    Process targetProcess, vitrea;
    HWND target = nullptr, window = nullptr;
};

// A program that stops answering must not freeze Vitrea: the apply gives up, nothing half-done stays on
// the window (neither then nor once the program answers again), a removal leaves it opaque at once, and
// closing Vitrea leaves it opaque too; a program only slow at that moment is left unlayered.
TEST_F(Faults, HungTargetNeitherFreezesVitreaNorStaysTranslucent) {
    Start(L"FaultHung");
    std::vector<RegValue> settings = StoredSettings();

    Hang();
    SetAlphaWhileHung(100);
    EXPECT_FALSE(IsLayered(target)) << "its program never took the style";
    EXPECT_EQ(RecordedAlpha(), -1) << "a window that is not translucent is not recorded";
    EXPECT_FALSE(FindWindowW(L"VitreaFakeClass", nullptr)) << "the curtain is closed";
    Wake();
    EXPECT_FALSE(IsLayered(target)) << "the late style change was taken back";

    DWORD_PTR result;
    ASSERT_TRUE(SendMessageTimeoutW(window, APPMSG_SETALPHA, reinterpret_cast<WPARAM>(target), 100, SMTO_NORMAL,
                                    5000, &result));
    EXPECT_EQ(LayeredAlpha(target), 100) << "a program that answers again is served at once";
    Hang();
    SetAlphaWhileHung(alphaRemoveRequest);
    EXPECT_EQ(LayeredAlpha(target), 255) << "opaque while its program cannot clear the style";
    EXPECT_EQ(RecordedAlpha(), -1);
    Wake();
    EXPECT_FALSE(IsLayered(target)) << "the removal is carried out once the program answers";

    ASSERT_TRUE(SendMessageTimeoutW(window, APPMSG_SETALPHA, reinterpret_cast<WPARAM>(target), 60, SMTO_NORMAL,
                                    5000, &result));
    ASSERT_EQ(LayeredAlpha(target), 60);
    Hang();
    DWORD closing = GetTickCount();
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(vitrea.Wait(10000), 0u);
    EXPECT_LT(GetTickCount() - closing, 5000u) << "closing waited on the hung program";
    int alpha = LayeredAlpha(target);
    EXPECT_TRUE(alpha == -1 || alpha == 255) << "left translucent at " << alpha;
    Wake();
    alpha = LayeredAlpha(target);
    EXPECT_TRUE(alpha == -1 || alpha == 255) << "left translucent at " << alpha;

    // A program merely slow at exit (a second and a half) still gets its window's style cleared.
    ASSERT_TRUE(vitrea.Start(Built().vitreaExe, L"", FolderOf(Built().vitreaExe)));
    ASSERT_TRUE(window = FindVitreaWindow(vitrea));
    ASSERT_TRUE(SendMessageTimeoutW(window, APPMSG_SETALPHA, reinterpret_cast<WPARAM>(target), 60, SMTO_NORMAL,
                                    5000, &result));
    ASSERT_EQ(LayeredAlpha(target), 60);
    ResetEvent(wake);
    PostMessageW(target, msgHang, 1500, 0);
    ASSERT_TRUE(WaitFor([&] { return !AnswersTimed(target, 100); }, 5000));
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(vitrea.Wait(10000), 0u);
    EXPECT_TRUE(WaitFor([&] { return !IsLayered(target); }, 5000)) << "left layered after a slow exit";

    std::vector<RegValue> after = StoredSettings();
    for (size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].present, settings[i].present) << i;
        EXPECT_EQ(after[i].data, settings[i].data) << i;
    }
}

// Programs that go away in the middle of Vitrea's work on their windows: one closes its window inside the
// style change, under the curtain; one is killed while hung, with the apply waiting on it; one is killed
// while a fade runs on its window.
TEST_F(Faults, TargetsThatVanishMidApplyOrMidFadeLeaveVitreaWhole) {
    Start(L"FaultKilled");
    std::vector<RegValue> settings = StoredSettings();
    Process closing, fading;
    HWND closes = StartTarget(closing, L"FaultCloses", L"dies");
    HWND faded = StartTarget(fading, L"FaultFaded", L"layered");
    ASSERT_TRUE(closes && faded);

    EXPECT_EQ(SetAlpha(closes, 90), 0);
    EXPECT_EQ(closing.Wait(), 0u) << "the target closed itself mid-apply";
    EXPECT_FALSE(FindWindowW(L"VitreaFakeClass", nullptr)) << "the curtain is closed";

    Hang();
    HANDLE sender = CreateThread(nullptr, 0, ApplyToTarget, this, 0, nullptr);
    TerminateProcess(targetProcess.info.hProcess, 1);
    EXPECT_EQ(WaitForSingleObject(sender, 5000), WAIT_OBJECT_0);
    CloseHandle(sender);

    DWORD_PTR result;
    SendMessageTimeoutW(window, APPMSG_SETTING, settingFadeDuration, 400, SMTO_NORMAL, 5000, &result); // the slowest fade
    SendMessageTimeoutW(window, APPMSG_TASKBARHOVER, reinterpret_cast<WPARAM>(faded), 4, SMTO_NORMAL, 5000, &result);
    TerminateProcess(fading.info.hProcess, 1);
    EXPECT_EQ(fading.Wait(), 1u);
    EXPECT_TRUE(AnswersTimed(window, 1000));
    target = nullptr;
    // The fade duration changed on purpose; everything else stays as it was.
    std::vector<RegValue> after = StoredSettings();
    CloseVitrea();
    for (size_t i = 0; i < after.size(); ++i)
        if (i != 2) EXPECT_EQ(after[i].data, settings[i].data) << i;
}

// A hook library that is missing, or whose exports do nothing: Vitrea still answers and ends cleanly, and
// sets the style of the window itself, which its exit leaves as it was.
TEST_F(Faults, MissingOrDeadHookLibraryLeavesVitreaWhole) {
    std::wstring planted = FolderOf(Built().plantedDll), missing = planted + L"\\..\\nodll";
    CreateDirectoryW(missing.c_str(), nullptr);
    DeleteFileW((missing + L"\\Vitrea.dll").c_str());
    for (const std::wstring& folder : {planted, missing}) {
        SCOPED_TRACE(std::string(folder.begin(), folder.end()));
        std::wstring copy = folder + L"\\Vitrea.exe";
        ASSERT_TRUE(CopyFileW(Built().vitreaExe.c_str(), copy.c_str(), FALSE));
        Process program, started;
        target = StartTarget(program, L"FaultDeadHook");
        ASSERT_TRUE(started.Start(copy, L"", FolderOf(copy)));
        window = FindVitreaWindow(started);
        ASSERT_TRUE(window);
        EXPECT_TRUE(WaitFor([&] { return TrayIconExists(window); }));
        EXPECT_EQ(SetAlpha(target, 100), 0);
        EXPECT_TRUE(WaitFor([&] { return LayeredAlpha(target) == 100; })) << "Vitrea did not set the style itself";
        EXPECT_EQ(SetAlpha(target, alphaRemoveRequest), 0);
        EXPECT_TRUE(WaitFor([&] { return !IsLayered(target); }));
        EXPECT_EQ(SetAlpha(target, 100), 0);
        EXPECT_TRUE(AnswersTimed(window, 1000));
        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(started.Wait(10000), 0u);
        EXPECT_FALSE(IsLayered(target));
        PostMessageW(target, WM_CLOSE, 0, 0);
        EXPECT_EQ(program.Wait(), 0u);
        DeleteFileW(copy.c_str());
    }
    target = nullptr;
    SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Tarnwick Software\\Planted");
}

// An upgrade leaves the older library loaded in the programs that ran through it, under the library's path,
// and the newer Vitrea's hooks run in that copy, whose code lies elsewhere. The programs carry on, and the
// copy serves the newer Vitrea: its requests are carried out and a window closed is reported.
TEST_F(Faults, NewerHooksRunInTheOlderLibraryOfProgramsThatRanThroughAnUpgrade) {
    std::wstring built = FolderOf(Built().plantedDll) + L"\\..", folder = built + L"\\upgrade";
    std::wstring exe = folder + L"\\Vitrea.exe", dll = folder + L"\\Vitrea.dll";
    CreateDirectoryW(folder.c_str(), nullptr);
    // The libraries of an earlier run stay held while the desktop's programs that loaded them live on.
    for (const std::wstring& held : {dll, dll + L".1.old"})
        if (!DeleteFileW(held.c_str())) MoveFileW(held.c_str(), (held + std::to_wstring(GetTickCount())).c_str());
    ASSERT_TRUE(CopyFileW(Built().vitreaExe.c_str(), exe.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((built + L"\\older\\Vitrea.dll").c_str(), dll.c_str(), FALSE));
    Start(L"FaultUpgrade", exe);
    Process closing;
    HWND closed = StartTarget(closing, L"FaultUpgradeClosed");
    for (HWND each : {target, closed}) EXPECT_EQ(SetAlpha(each, 100), 0);
    CloseVitrea();
    // As the installer replaces a library that programs hold.
    ASSERT_TRUE(MoveFileExW(dll.c_str(), (dll + L".1.old").c_str(), MOVEFILE_REPLACE_EXISTING));
    ASSERT_TRUE(CopyFileW(Built().vitreaDll.c_str(), dll.c_str(), FALSE));
    ASSERT_TRUE(vitrea.Start(exe, L"", folder));
    ASSERT_TRUE(window = FindVitreaWindow(vitrea));
    ASSERT_TRUE(WaitFor([&] { return TrayIconExists(window); })) << "start-up did not finish";
    for (HWND each : {target, closed}) {
        EXPECT_EQ(SetAlpha(each, 120), 0);
        EXPECT_TRUE(WaitFor([&] { return LayeredAlpha(each) == 120; }));
    }
    PostMessageW(closed, WM_CLOSE, 0, 0);
    EXPECT_EQ(closing.Wait(), 0u) << "the program holding the older library did not carry on";
    EXPECT_TRUE(WaitFor([&] { return RecordedAlpha(closed) == -1; })) << "the closed window was not reported";
    EXPECT_TRUE(AnswersTimed(target, 1000) && targetProcess.Running());
    CloseVitrea();
    EXPECT_FALSE(IsLayered(target));
    DeleteFileW(exe.c_str());
}

// Fifty more starts in a tight loop while one Vitrea runs: each ends with 0, the first keeps its one
// window and tray icon and goes on answering, and no setting changes.
TEST_F(Faults, FiftySecondStartsInATightLoopLeaveOneInstance) {
    Start(L"FaultStarts");
    ASSERT_TRUE(WaitFor([&] { return TrayIconExists(window); }));
    std::vector<RegValue> settings = StoredSettings();
    std::vector<Process> seconds(50);
    for (Process& second : seconds) ASSERT_TRUE(second.Start(Built().vitreaExe, L"", FolderOf(Built().vitreaExe)));
    for (Process& second : seconds) EXPECT_EQ(second.Wait(30000), 0u);
    int instances = 0;
    for (HWND w = FindWindowW(L"VitreaClass", nullptr); w; w = FindWindowExW(nullptr, w, L"VitreaClass", nullptr))
        ++instances;
    EXPECT_EQ(instances, 1);
    EXPECT_TRUE(vitrea.Running());
    EXPECT_TRUE(TrayIconExists(window));
    EXPECT_TRUE(AnswersTimed(window, 1000));
    std::vector<RegValue> after = StoredSettings();
    for (size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i].data, settings[i].data) << i;
    CloseVitrea();
}

// Starts released at the same moment with no Vitrea running, round after round: one becomes the instance
// and every other leaves at once.
TEST_F(Faults, StartsReleasedTogetherLeaveOneInstance) {
    constexpr int rounds = 40, together = 8;
    for (int round = 0; round < rounds; ++round) {
        std::vector<Process> starts(together);
        for (Process& start : starts)
            ASSERT_TRUE(start.Start(Built().vitreaExe, L"", FolderOf(Built().vitreaExe), CREATE_SUSPENDED));
        for (Process& start : starts) ResumeThread(start.info.hThread);
        auto running = [&] { return std::count_if(starts.begin(), starts.end(), [](auto& p) { return p.Running(); }); };
        ASSERT_TRUE(WaitFor([&] { return running() <= 1; }, 20000))
            << "round " << round << ": " << running() << " instances";
        auto first = std::find_if(starts.begin(), starts.end(), [](auto& p) { return p.Running(); });
        ASSERT_NE(first, starts.end()) << "round " << round << ": no instance stayed";
        HWND window = FindVitreaWindow(*first);
        ASSERT_TRUE(window && WaitFor([&] { return TrayIconExists(window); }));
        EndAllVitreas();
    }
}

// A settings key that cannot be opened (its access list admits nobody): Vitrea starts with its defaults,
// answers, ends cleanly, and the values it could not read are still there afterwards.
TEST_F(Faults, UnreadableSettingsKeyLosesNothing) {
    WriteByteValue(L"Taskbar Transparency Alpha", 77);
    WriteByteValue(L"Keyboard Shortcut", 0x45);
    std::vector<RegValue> settings = StoredSettings();
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Tarnwick Software\\Vitrea", 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    std::vector<BYTE> original(4096);
    DWORD size = static_cast<DWORD>(original.size());
    ASSERT_EQ(RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, original.data(), &size), ERROR_SUCCESS);
    ACL empty;
    SECURITY_DESCRIPTOR denyAll;
    InitializeAcl(&empty, sizeof empty, ACL_REVISION);
    InitializeSecurityDescriptor(&denyAll, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&denyAll, TRUE, &empty, FALSE);
    ASSERT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &denyAll), ERROR_SUCCESS);
    HKEY probe;
    LONG denied = RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Tarnwick Software\\Vitrea", 0, KEY_READ, &probe);
    if (denied == ERROR_SUCCESS) RegCloseKey(probe);

    if (denied == ERROR_ACCESS_DENIED) {
        Start(L"FaultRegistry");
        EXPECT_EQ(SetAlpha(target, 100), 0);
        EXPECT_EQ(SendMessageW(window, APPMSG_SETTING, settingTaskbarAlpha, 50), 0) << "a setting that cannot be written";
        EXPECT_TRUE(AnswersTimed(window, 1000));
        CloseVitrea();
        EXPECT_FALSE(IsLayered(target));
    }
    RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, original.data());
    RegCloseKey(key);
    if (denied != ERROR_ACCESS_DENIED) GTEST_SKIP() << "the runtime does not deny access by a key's access list";
    std::vector<RegValue> after = StoredSettings();
    for (size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i].data, settings[i].data) << i;
}

// The shell ended and started again: its taskbar window goes away and a new one comes. The runtime's own
// taskbar belongs to the process that owns the virtual desktop, which cannot be restarted without taking
// every window with it, so a stand-in shell plays the part, as a real one does: a new "Shell_TrayWnd" with no
// icons and the "TaskbarCreated" broadcast. Vitrea puts its icon back on the new taskbar, the chosen alpha and
// the hover fade reach the new window rather than the old handle, and nothing is left translucent.
TEST_F(Faults, RestartedShellGetsTheIconAndTheAlphaOnItsNewTaskbar) {
    HWND desktopBar = FindWindowW(L"Shell_TrayWnd", nullptr);
    ASSERT_TRUE(desktopBar);
    int desktopBarAlpha = LayeredAlpha(desktopBar); // as the tests before left it
    RECT bar = ScreenRect(desktopBar);
    Xdotool(L"mousemove 512 300"); // off the taskbar
    Process shells[3];
    HWND taskbar = StartShell(shells[0], bar);
    ASSERT_TRUE(taskbar);
    WriteByteValue(L"Taskbar Transparency", 0x23);
    WriteByteValue(L"Taskbar Transparency Alpha", 120);
    Start(L"FaultShell");
    ASSERT_TRUE(WaitFor([&] { return LayeredAlpha(taskbar) == 120; })) << "start-up applies the alpha";
    std::vector<RegValue> settings = StoredSettings();

    // A shell that crashes takes its taskbar with it unannounced; one that is closed destroys it first.
    for (int restart = 1; restart <= 2; ++restart) {
        bool crashed = restart == 1;
        SCOPED_TRACE(crashed ? "the shell crashed" : "the shell was closed");
        HWND old = taskbar;
        if (crashed)
            TerminateProcess(shells[restart - 1].info.hProcess, 1);
        else
            PostMessageW(old, WM_CLOSE, 0, 0);
        ASSERT_NE(shells[restart - 1].Wait(), STILL_ACTIVE);
        EXPECT_TRUE(AnswersTimed(window, 1000)) << "without a taskbar";
        taskbar = StartShell(shells[restart], bar);
        ASSERT_TRUE(taskbar);
        EXPECT_TRUE(WaitFor([&] { return TrayIconExists(window); }, 5000)) << "the icon is back on the new taskbar";
        EXPECT_TRUE(WaitFor([&] { return LayeredAlpha(taskbar) == 120; }, 5000)) << "the new taskbar has the alpha";
        EXPECT_TRUE(WaitFor([&] { return RecordedAlpha(taskbar) == 120 && RecordedAlpha(old) == -1; }, 5000))
            << "the new taskbar is recorded, the old one forgotten";
        EXPECT_TRUE(AnswersTimed(window, 1000));
    }

    // The real mouse over the new taskbar fades it in, and away from it back to the chosen alpha.
    POINT over = CentreOf(ScreenRect(taskbar));
    Xdotool(L"mousemove " + std::to_wstring(over.x) + L" " + std::to_wstring(over.y));
    EXPECT_TRUE(WaitFor([&] { return LayeredAlpha(taskbar) == 255; }, 5000)) << LayeredAlpha(taskbar);
    Xdotool(L"mousemove 512 300");
    EXPECT_TRUE(WaitFor([&] { return LayeredAlpha(taskbar) == 120; }, 5000)) << LayeredAlpha(taskbar);
    EXPECT_EQ(LayeredAlpha(desktopBar), desktopBarAlpha) << "the desktop's own taskbar is not the shell's";

    CloseVitrea();
    int alpha = LayeredAlpha(taskbar);
    EXPECT_TRUE(alpha == -1 || alpha == 255) << "left translucent at " << alpha;
    EXPECT_EQ(LayeredAlpha(desktopBar), desktopBarAlpha);
    std::vector<RegValue> after = StoredSettings();
    for (size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i].data, settings[i].data) << i;
    PostMessageW(taskbar, WM_CLOSE, 0, 0);
    EXPECT_EQ(shells[2].Wait(), 0u);
}

bool Topmost(HWND window) { return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

// Vitrea ended by force: the next one takes over what it changed, steps it from where it is with real chords
// and restores it at exit, while the window another program made translucent and topmost is left as it is.
// The taskbar takes the stored alpha while taskbar transparency is on, and is restored when it is off.
TEST_F(Faults, WhatAKilledVitreaChangedIsTakenOverByTheNextOne) {
    Xdotool(L"mousemove 512 300"); // off the taskbar
    Process shell, programs[3], runs[3];
    HWND taskbar = StartShell(shell, ScreenRect(FindWindowW(L"Shell_TrayWnd", nullptr)));
    HWND one = StartTarget(programs[0], L"TakenOverOne"), two = StartTarget(programs[1], L"TakenOverTwo");
    HWND foreign = StartTarget(programs[2], L"TakenOverForeign");
    // A window of this program, the second one.
    HWND own = CreateWindowExW(0, L"STATIC", L"TakenOverOwn", WS_POPUP | WS_VISIBLE, 600, 400, 200, 150, nullptr,
                               nullptr, nullptr, nullptr);
    ASSERT_TRUE(taskbar && one && two && foreign && own);
    auto startVitrea = [&](Process& run) {
        ASSERT_TRUE(run.Start(Built().vitreaExe, L"", FolderOf(Built().vitreaExe)));
        window = FindVitreaWindow(run);
        ASSERT_TRUE(window && WaitFor([&] { return TrayIconExists(window); })) << "start-up did not finish";
    };
    auto inFront = [&](HWND w) {
        ASSERT_TRUE(WaitFor([&] { return SetForegroundWindow(w) && GetForegroundWindow() == w; }));
    };
    auto shows = [&](HWND w, int alpha) { return RecordedAlpha(w) == alpha && LayeredAlpha(w) == alpha; };
    auto opaque = [](HWND w) { return LayeredAlpha(w) < 0 || LayeredAlpha(w) == 255; };
    WriteByteValue(L"Options", 0x01);
    WriteByteValue(L"Taskbar Transparency", 0x23);
    WriteByteValue(L"Taskbar Transparency Alpha", 120);
    startVitrea(runs[0]);
    struct Changed {
        HWND window;
        int alpha;
    } changed[] = {{one, 100}, {two, 160}, {own, 200}};
    for (const Changed& c : changed) EXPECT_EQ(SetAlpha(c.window, c.alpha), 0);
    inFront(two);
    Xdotool(L"key ctrl+shift+Tab");
    ASSERT_TRUE(WaitFor([&] { return Topmost(two) && LayeredAlpha(taskbar) == 120; }));

    // The third program: its own alpha and pin, and a property under the mark's name that is not Vitrea's.
    SetWindowLongW(foreign, GWL_EXSTYLE, GetWindowLongW(foreign, GWL_EXSTYLE) | WS_EX_LAYERED);
    SetLayeredWindowAttributes(foreign, 0, 90, LWA_ALPHA);
    SetWindowPos(foreign, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const auto forged = reinterpret_cast<HANDLE>(0x1234);
    SetPropW(foreign, alphaMarkName, forged);
    SetPropW(foreign, pinMarkName, forged);

    const struct {
        BYTE taskbarByte, storedAlpha;
        int taskbarAlpha; // -1: restored
    } rounds[] = {{0x23, 150, 150}, {0x22, 150, -1}};
    const struct {
        Changed* changed;
        const WCHAR* keys; // as xdotool is told
        int by;
    } steps[] = {{&changed[0], L"key ctrl+shift+equal", 16}, {&changed[1], L"key ctrl+shift+minus", -16}};
    int adopted = 0;
    for (size_t r = 0; r < std::size(rounds); ++r) {
        SCOPED_TRACE(testing::Message() << "round " << r + 1);
        TerminateProcess(runs[r].info.hProcess, 1);
        ASSERT_NE(runs[r].Wait(), STILL_ACTIVE);
        WriteByteValue(L"Taskbar Transparency", rounds[r].taskbarByte);
        WriteByteValue(L"Taskbar Transparency Alpha", rounds[r].storedAlpha);
        startVitrea(runs[r + 1]);
        for (const Changed& c : changed) {
            EXPECT_TRUE(WaitFor([&] { return shows(c.window, c.alpha); })) << RecordedAlpha(c.window);
            adopted += RecordedAlpha(c.window) == c.alpha;
        }
        int bar = rounds[r].taskbarAlpha;
        EXPECT_TRUE(WaitFor([&] {
            return bar < 0 ? opaque(taskbar) && RecordedAlpha(taskbar) < 0 : shows(taskbar, bar);
        })) << LayeredAlpha(taskbar);
        EXPECT_EQ(RecordedAlpha(foreign), -1);
        // + and - step from the alpha taken over.
        for (const auto& step : steps) {
            inFront(step.changed->window);
            Xdotool(step.keys);
            step.changed->alpha += step.by;
            EXPECT_TRUE(WaitFor([&] { return shows(step.changed->window, step.changed->alpha); }))
                << RecordedAlpha(step.changed->window);
        }
    }
    // The remove keys work on a window taken over; Exit restores the rest and unpins the pinned one.
    inFront(one);
    Xdotool(L"key ctrl+shift+grave");
    EXPECT_TRUE(WaitFor([&] { return RecordedAlpha(one) == -1 && !IsLayered(one); }));
    ASSERT_TRUE(Topmost(two)) << "the pin was taken over as it was";
    PostMessageW(window, WM_CLOSE, 0, 0);
    // Pumping: Vitrea restores this program's window through its messages.
    EXPECT_TRUE(WaitFor([&] { return !runs[2].Running(); }, 15000));
    int restored = 0;
    for (const Changed& c : changed) {
        bool done = WaitFor([&] {
            return !IsLayered(c.window) && !Topmost(c.window) && !GetPropW(c.window, alphaMarkName) &&
                   !GetPropW(c.window, pinMarkName);
        });
        EXPECT_TRUE(done) << "left translucent, on top or marked: " << LayeredAlpha(c.window);
        restored += done;
    }
    EXPECT_TRUE(WaitFor([&] { return opaque(taskbar); })) << LayeredAlpha(taskbar);
    bool untouched = LayeredAlpha(foreign) == 90 && Topmost(foreign) && GetPropW(foreign, alphaMarkName) == forged &&
                     GetPropW(foreign, pinMarkName) == forged;
    EXPECT_TRUE(untouched) << "the third program's window was changed";
    const struct {
        const char* what;
        int figure, goal;
    } figures[] = {{"windows taken over in 2 restarts", adopted, 6},
                   {"windows restored at exit", restored, 3},
                   {"another program's window left untouched", int(untouched), 1}};
    for (const auto& f : figures)
        printf("ROW|faults|after kills: %s|%d|%d|%s\n", f.what, f.figure, f.goal,
               f.figure == f.goal ? "ok" : "MISSED");
    DestroyWindow(own);
}

// A curtain window that cannot be created: another program's hook refuses it inside Vitrea. Each apply still
// ends at once with the style and the alpha, no curtain thread is left, and once the hook is gone the
// curtains come back.
TEST_F(Faults, RefusedCurtainStillEndsEveryApplyCleanly) {
    constexpr UINT clearSightings = WM_APP + 3, sighting = WM_APP + 6;
    Start(L"FaultCurtain");
    std::vector<RegValue> settings = StoredSettings();
    auto refuser = std::make_unique<WindowRefuser>();
    ASSERT_TRUE(refuser->refused && refuser->hook);
    // The curtains seen by the target when it took the style; -1 when it did not take it.
    auto curtainsSeen = [&] {
        LRESULT count = SendMessageW(target, sighting, 0xFFFF, 0);
        return count > 0 ? static_cast<int>(SendMessageW(target, sighting, 16 * (count - 1) + 1, 0)) : -1;
    };
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        SendMessageW(target, clearSightings, 0, 0);
        EXPECT_EQ(SetAlpha(target, 100 + round), 0);
        EXPECT_EQ(LayeredAlpha(target), 100 + round);
        EXPECT_EQ(curtainsSeen(), 0);
        EXPECT_EQ(SetAlpha(target, alphaRemoveRequest), 0);
        EXPECT_FALSE(IsLayered(target));
        EXPECT_TRUE(AnswersTimed(window, 1000));
    }
    EXPECT_EQ(WaitForSingleObject(refuser->refused, 0), WAIT_OBJECT_0) << "the hook never refused a curtain";
    EXPECT_TRUE(WaitFor([&] { return ProgramThreads(vitrea, window).empty(); })) << "a curtain thread was left";
    refuser.reset();

    SendMessageW(target, clearSightings, 0, 0);
    EXPECT_EQ(SetAlpha(target, 90), 0);
    EXPECT_EQ(curtainsSeen(), 1) << "curtains are back once nothing refuses them";
    CloseVitrea();
    EXPECT_FALSE(IsLayered(target));
    std::vector<RegValue> after = StoredSettings();
    for (size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i].data, settings[i].data) << i;
}

// Broken skin libraries named in the registry: each start falls back to the plain look, stores "Skinless"
// in place of the name, says why in a balloon at the tray icon, and answers; none of them crashes or hangs
// the start.
TEST_F(Faults, BrokenSkinLibrariesNamedAtStartUpFallBackToThePlainLook) {
    std::wstring folder = ScratchFolder();
    ASSERT_TRUE(KeepBalloonTitles());
    const struct {
        const char* what;
        std::function<bool(const std::wstring&)> make;
        const WCHAR* reason; // as the balloon words it
    } broken[] = {
        {"no file", [](const std::wstring& p) { return !PathFileExistsW(p.c_str()); }, L"the file is missing"},
        {"a text file", [](const std::wstring& p) { return WriteFileBytes(p, "no library", 10); },
         L"it is not a 32-bit Windows library"},
        {"cut short", [](const std::wstring& p) { return CopySkin(p) && Truncate(p, 0xE80); },
         L"the record of widths is missing or too short"},
        {"background of 0 x 0", [](const std::wstring& p) {
             return CopySkin(p, [](HANDLE u) { SetImage(u, 103, BitmapClaiming(0, 0)); });
         }, L"bitmap 103 is missing or damaged"},
        {"background of 30000 x 30000", [](const std::wstring& p) {
             return CopySkin(p, [](HANDLE u) { SetImage(u, 103, BitmapClaiming(30000, 30000)); });
         }, L"bitmap 103 is missing or damaged"},
        {"channel of 30000 x 1", [](const std::wstring& p) {
             return CopySkin(p, [](HANDLE u) { SetImage(u, 147, BitmapClaiming(30000, 1)); });
         }, L"bitmap 147 is missing or damaged"},
        {"record of 3 bytes", [](const std::wstring& p) { return CopySkin(p, [](HANDLE u) { SetRecord(u, {100, 0, 120}); }); },
         L"the record of widths is missing or too short"},
    };
    constexpr POINT sample = {340, 60}; // background, clear of every control and caption
    for (const auto& skin : broken) {
        SCOPED_TRACE(skin.what);
        std::wstring path = folder + L"\\Broken.dll";
        ASSERT_TRUE(skin.make(path));
        WriteValue(L"Skin", REG_SZ, path.c_str(), static_cast<DWORD>(path.size() * sizeof(WCHAR)));
        WriteByteValue(L"Options", 0x00);
        Process started;
        ASSERT_TRUE(started.Start(Built().vitreaExe, L"", FolderOf(Built().vitreaExe)));
        window = FindVitreaWindow(started);
        ASSERT_TRUE(window) << "no window: the start failed";
        EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(window) && TrayIconExists(window); }));
        EXPECT_TRUE(AnswersTimed(window, 1000));
        RegValue stored = ReadValue(L"Skin");
        EXPECT_EQ(std::wstring(reinterpret_cast<const WCHAR*>(stored.data.data()), stored.data.size() / 2), L"Skinless");
        std::vector<HWND> controls = Children(window);
        ASSERT_GT(controls.size(), 3u);
        RECT button = ScreenRect(controls[3]);
        EXPECT_EQ(button.right - button.left, 110) << "the check button keeps its plain size";
        POINT at = sample;
        ClientToScreen(window, &at);
        EXPECT_TRUE(WaitFor([&] {
            HDC screen = GetDC(nullptr);
            COLORREF shown = GetPixel(screen, at.x, at.y);
            ReleaseDC(nullptr, screen);
            return shown == GetSysColor(COLOR_BTNFACE);
        }, 5000)) << "the plain look is shown";
        WaitForRefusal(path, skin.reason);
        PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(started.Wait(10000), 0u);
        EXPECT_TRUE(DeleteFileW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND);
        DeleteSettingsKey();
    }
    window = nullptr;
}

// Every setting stored at once in a shape it never has: Vitrea starts, answers and ends cleanly.
TEST_F(Faults, SettingsOfEveryWrongTypeAndSizeAreSurvived) {
    const BYTE big[300] = {0x41, 0x00, 0x42};
    const DWORD number = 0xFFFFFFFF;
    const struct {
        const char* what;
        DWORD type;
        const void* data;
        DWORD size;
    } shapes[] = {
        {"empty binary", REG_BINARY, big, 0},          {"300 bytes", REG_BINARY, big, sizeof big},
        {"a DWORD", REG_DWORD, &number, sizeof number}, {"a string", REG_SZ, L"Vitrea", 12},
        {"a multi-string", REG_MULTI_SZ, big, 6},        {"an odd type", 0x7777, big, 3},
    };
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.what);
        DeleteSettingsKey();
        for (const WCHAR* name : settingNames) WriteValue(name, shape.type, shape.data, shape.size);
        Process vitrea;
        ASSERT_TRUE(vitrea.Start(Built().vitreaExe, L"", FolderOf(Built().vitreaExe)));
        HWND started = FindVitreaWindow(vitrea);
        ASSERT_TRUE(started);
        EXPECT_TRUE(WaitFor([&] { return TrayIconExists(started); }));
        EXPECT_TRUE(AnswersTimed(started, 1000));
        PostMessageW(started, WM_CLOSE, 0, 0);
        EXPECT_EQ(vitrea.Wait(10000), 0u);
    }
}
} // namespace
