// The shipped Vitrea.exe under faults of other programs: it keeps answering, loses no setting and leaves no
// window translucent behind.
#include <gtest/gtest.h>
#include "support/e2e_support.h"
#include <algorithm>
#include <cstdio>

namespace {
constexpr UINT APPMSG_SETALPHA = 0x8002, APPMSG_GETALPHA = 0x8005;
constexpr LPARAM removeRequest = 0x10000;
constexpr UINT msgHang = WM_APP + 4; // probe target: stop answering until "VitreaProbeWake" is set
constexpr const WCHAR* settingNames[] = {L"Skin", L"Keyboard Shortcut", L"Taskbar Transparency",
                                         L"Taskbar Transparency Alpha", L"Options"};

std::vector<RegValue> StoredSettings() {
    std::vector<RegValue> values;
    for (const WCHAR* name : settingNames) values.push_back(ReadValue(name));
    return values;
}

bool Answers(HWND window, UINT waitMs) {
    DWORD_PTR result;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, waitMs, &result) != 0;
}

// Asks Vitrea for an alpha from a thread of its own, over and over, while the test's thread waits on
// something else; keeps the slowest answer and counts the ones that did not come within a second.
class Pinger {
public:
    explicit Pinger(HWND window)
        : window(window), stop(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          thread(CreateThread(nullptr, 0, Run, this, 0, nullptr)) {}
    ~Pinger() { Stop(); }
    Pinger(const Pinger&) = delete;
    Pinger& operator=(const Pinger&) = delete;
    void Stop() {
        if (!thread) return;
        SetEvent(stop);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        CloseHandle(stop);
        thread = nullptr;
    }
    DWORD slowestMs = 0;
    int answered = 0, missed = 0;

private:
    static DWORD WINAPI Run(LPVOID self) {
        auto* pinger = static_cast<Pinger*>(self);
        do pinger->Ping();
        while (WaitForSingleObject(pinger->stop, 20) == WAIT_TIMEOUT);
        return 0;
    }
    void Ping() {
        DWORD start = GetTickCount();
        DWORD_PTR result;
        bool ok = SendMessageTimeoutW(window, APPMSG_GETALPHA, 0x1234, 0, SMTO_NORMAL, 1000, &result) != 0;
        slowestMs = std::max(slowestMs, GetTickCount() - start);
        ++(ok ? answered : missed);
    }
    HWND window;
    HANDLE stop;
    HANDLE thread;
};

class Faults : public ::testing::Test {
protected:
    void SetUp() override {
        EndAllVitreas();
        wake = CreateEventW(nullptr, TRUE, FALSE, L"VitreaProbeWake");
        ASSERT_TRUE(wake);
    }
    void TearDown() override {
        SetEvent(wake);
        CloseHandle(wake);
        if (target) PostMessageW(target, WM_CLOSE, 0, 0);
        EndAllVitreas();
    }
    void Start(const WCHAR* title) {
        ASSERT_TRUE(targetProcess.Start(Built().probeExe, std::wstring(L"target ") + title + L" 120 120 400 300"));
        ASSERT_TRUE(WaitFor([&] { return (target = FindWindowW(nullptr, title)) != nullptr; }, 20000));
        ASSERT_TRUE(vitrea.Start(Built().vitreaExe, L"", FolderOf(Built().vitreaExe)));
        window = FindVitreaWindow(vitrea);
        ASSERT_TRUE(window);
        ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(window) != FALSE; })) << "start-up did not finish";
    }
    void Hang() {
        ResetEvent(wake);
        PostMessageW(target, msgHang, 60000, 0);
        ASSERT_TRUE(WaitFor([&] { return !Answers(target, 100); }, 5000)) << "the target did not stop answering";
    }
    // Once it answers again the target has also carried out every message queued for it before.
    void Wake() {
        SetEvent(wake);
        ASSERT_TRUE(WaitFor([&] { return Answers(target, 1000); }, 10000));
    }
    // Sends an alpha request while the target is hung, with Vitrea pinged all the while.
    void SetAlphaWhileHung(LPARAM request) {
        Pinger pinger(window);
        DWORD_PTR result = 0xDEAD;
        EXPECT_TRUE(SendMessageTimeoutW(window, APPMSG_SETALPHA, reinterpret_cast<WPARAM>(target), request,
                                        SMTO_NORMAL, 5000, &result))
            << "the request never came back";
        EXPECT_EQ(result, 0u);
        pinger.Stop();
        EXPECT_EQ(pinger.missed, 0) << "Vitrea stopped answering for a second or more";
        EXPECT_GT(pinger.answered, 0);
        EXPECT_LT(pinger.slowestMs, 1000u);
        // A figure for the reliability suite's table.
        printf("ROW|faults|hung target, %s: slowest answer meanwhile|%lu ms|< 1000 ms|%s\n",
               request & removeRequest ? "removal" : "apply", pinger.slowestMs,
               pinger.slowestMs < 1000 && !pinger.missed ? "ok" : "MISSED");
    }
    LRESULT RecordedAlpha() const { return SendMessageW(window, APPMSG_GETALPHA, reinterpret_cast<WPARAM>(target), 0); }

    HANDLE wake = nullptr;
    Process targetProcess, vitrea;
    HWND target = nullptr, window = nullptr;
};

// A program that stops answering must not freeze Vitrea: the apply gives up, nothing half-done stays on
// the window (neither then nor once the program answers again), a removal leaves it opaque at once, and
// closing Vitrea leaves it opaque too.
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
    SetAlphaWhileHung(removeRequest);
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

    std::vector<RegValue> after = StoredSettings();
    for (size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].present, settings[i].present) << i;
        EXPECT_EQ(after[i].data, settings[i].data) << i;
    }
}
} // namespace
