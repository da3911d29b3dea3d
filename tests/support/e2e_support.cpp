#include "support/e2e_support.h"
#include "support/x_input.h"
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <shellapi.h>
#include <commctrl.h>
#include <tlhelp32.h>

namespace {
Binaries binaries;
}

const Binaries& Built() { return binaries; }

std::wstring WindowsPath(const std::string& unixPath) {
    std::wstring path = L"Z:";
    for (char c : unixPath) path += c == '/' ? L'\\' : static_cast<WCHAR>(c);
    return path;
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

std::wstring CopyProgram(const WCHAR* folderName) {
    WCHAR temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + folderName;
    DeleteTree(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring built = FolderOf(Built().vitreaExe);
    for (const WCHAR* file : {L"Vitrea.exe", L"Vitrea.dll", L"EddyMini.dll", L"PewterMini.dll"})
        if (!CopyFileW((built + L"\\" + file).c_str(), (folder + L"\\" + file).c_str(), FALSE)) return {};
    return folder;
}

namespace {
// A global hook of a test library found beside the test program; the library stays loaded with it.
HHOOK InstallTestHook(const WCHAR* file, const char* procedure, int type, HMODULE& library) {
    WCHAR self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    library = LoadLibraryW((FolderOf(self) + L"\\" + file).c_str());
    auto entry = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(library, procedure)));
    return entry ? SetWindowsHookExW(type, entry, library, 0) : nullptr;
}

void RemoveTestHook(HHOOK hook, HMODULE library) {
    if (hook) UnhookWindowsHookEx(hook);
    if (library) FreeLibrary(library);
}
} // namespace

WindowRefuser::WindowRefuser() {
    refused = CreateEventW(nullptr, TRUE, FALSE, L"VitreaTestCurtainRefused");
    hook = InstallTestHook(L"refuse_curtain.dll", "RefuseCurtain", WH_CBT, library);
}

WindowRefuser::~WindowRefuser() {
    RemoveTestHook(hook, library);
    if (refused) CloseHandle(refused);
}

Process::~Process() {
    if (!info.hProcess) return;
    // A handle closed behind this object's back leaves the program running, holding the runner: say so, end it.
    DWORD state = WaitForSingleObject(info.hProcess, 0);
    if (state == WAIT_FAILED || (state == WAIT_TIMEOUT && !TerminateProcess(info.hProcess, 99))) {
        ADD_FAILURE() << "program " << info.dwProcessId << " cannot be ended: error " << GetLastError();
        if (HANDLE again = OpenProcess(PROCESS_TERMINATE, FALSE, info.dwProcessId)) {
            TerminateProcess(again, 99);
            CloseHandle(again);
        }
        return;
    }
    WaitForSingleObject(info.hProcess, 5000);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
}

bool Process::Start(const std::wstring& exe, const std::wstring& arguments, const std::wstring& folder, DWORD flags) {
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup = {sizeof startup};
    return CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, flags, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &info) != FALSE;
}

DWORD Process::Wait(DWORD timeoutMs) {
    if (!WaitFor([&] { return !Running(); }, timeoutMs)) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info.hProcess, &code);
    return code;
}

bool Process::Running() const { return WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT; }

HWND FindVitreaWindow(const Process& process, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitFor(
        [&] {
            for (HWND w = FindWindowW(L"VitreaClass", L"Vitrea"); w; w = FindWindowExW(nullptr, w, L"VitreaClass", L"Vitrea")) {
                DWORD pid = 0;
                GetWindowThreadProcessId(w, &pid);
                if (pid == process.info.dwProcessId) found = w;
            }
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

std::vector<DWORD> ProgramThreads(const Process& process, HWND mainWindow) {
    std::vector<DWORD> found;
    DWORD pid = process.info.dwProcessId;
    HANDLE modules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    MODULEENTRY32W image = {sizeof image};
    bool known = modules != INVALID_HANDLE_VALUE && Module32FirstW(modules, &image);
    if (modules != INVALID_HANDLE_VALUE) CloseHandle(modules);
    if (!known) return found;
    DWORD mainThread = GetWindowThreadProcessId(mainWindow, nullptr);
    for (DWORD thread : ThreadsOf(pid))
        if (thread != mainThread && StartsWithin(thread, image.modBaseAddr, image.modBaseAddr + image.modBaseSize))
            found.push_back(thread);
    return found;
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info = {sizeof info};
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

bool Answers(HWND window, UINT waitMs) {
    DWORD_PTR ignored;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, waitMs, &ignored) != 0;
}

bool EscapeMenus(DWORD pid) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        Xdotool(L"key Escape");
        if (WaitFor([&] { return VisibleMenus(pid).empty(); }, 2000)) return true;
        // A menu opened by a message from another program may not hold the keyboard: its owner's default
        // handling of WM_CANCELMODE ends it all the same.
        for (HWND w = FindWindowW(L"VitreaClass", nullptr); w; w = FindWindowExW(nullptr, w, L"VitreaClass", nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            DWORD_PTR result;
            if (owner == pid) SendMessageTimeoutW(w, WM_CANCELMODE, 0, 0, SMTO_NORMAL, 2000, &result);
        }
        if (WaitFor([&] { return VisibleMenus(pid).empty(); }, 2000)) return true;
    }
    return false;
}

void EndAllVitreas() {
    for (int round = 0; round < 20; ++round) {
        HWND w = FindWindowW(L"VitreaClass", nullptr);
        if (!w) break;
        DWORD pid = 0, result;
        GetWindowThreadProcessId(w, &pid);
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
        SendMessageTimeoutW(w, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, &result);
        WaitFor([&] { return !IsWindow(w); }, 5000);
        // Its end, too: a program killed while it unhooks leaves its global hooks behind under the runtime.
        if (process) {
            WaitFor([&] { return WaitForSingleObject(process, 0) != WAIT_TIMEOUT; }, 10000);
            CloseHandle(process);
        }
    }
    DeleteSettingsKey();
}

bool TrayIconExists(HWND owner) {
    NOTIFYICONDATAW probe = {};
    probe.cbSize = NOTIFYICONDATAW_V2_SIZE;
    probe.hWnd = owner;
    probe.uID = 0;
    return Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
}

Balloon ShownBalloon() {
    DWORD shell = 0;
    GetWindowThreadProcessId(FindWindowW(L"Shell_TrayWnd", nullptr), &shell);
    Balloon balloon;
    for (HWND tooltip = nullptr; (tooltip = FindWindowExW(nullptr, tooltip, TOOLTIPS_CLASSW, nullptr));) {
        DWORD pid = 0;
        GetWindowThreadProcessId(tooltip, &pid);
        if (pid != shell || !IsWindowVisible(tooltip) || !(GetWindowLongW(tooltip, GWL_STYLE) & TTS_BALLOON)) continue;
        WCHAR text[512] = {}, title[256] = {};
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutW(tooltip, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 2000, &length))
            continue;
        auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropW(tooltip, L"VitreaTestBalloonTitle")));
        if (atom) GlobalGetAtomNameW(atom, title, 256);
        balloon = {tooltip, title, text};
    }
    return balloon;
}

bool KeepBalloonTitles() {
    static HMODULE library = nullptr;
    static HHOOK hook = InstallTestHook(L"balloon_title.dll", "NoteBalloonTitle", WH_CALLWNDPROC, library);
    return hook != nullptr;
}

Balloon WaitForRefusal(const std::wstring& skin, const std::wstring& reason) {
    std::wstring text = L"The skin \"" + skin + L"\" cannot be used: " + reason + L".\r\nThe plain look is shown.";
    Balloon balloon;
    EXPECT_TRUE(WaitFor([&] { return (balloon = ShownBalloon()).text == text; }, 10000))
        << "the balloon says \"" << std::string(balloon.text.begin(), balloon.text.end()) << "\"";
    EXPECT_EQ(balloon.title, L"Skin not used");
    return balloon;
}

void SetProgramWindowsVersion(const WCHAR* exeName, const WCHAR* version) {
    std::wstring key = std::wstring(L"Software\\Wine\\AppDefaults\\") + exeName;
    if (!version || !*version) {
        SHDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
        return;
    }
    WriteValue(L"Version", REG_SZ, version, (lstrlenW(version) + 1) * sizeof(WCHAR), key.c_str());
}

void RunHost(const std::wstring& command) {
    std::wstring done = StartHostCommand(command);
    if (!WaitFor([&] { return XdotoolFinished(done); }, 20000))
        ADD_FAILURE() << "did not finish: " << std::string(command.begin(), command.end());
}

void Xdotool(const std::wstring& arguments) { RunHost(L"/usr/bin/xdotool " + arguments); }

void MoveTo(POINT at) {
    Xdotool(L"mousemove " + std::to_wstring(at.x) + L" " + std::to_wstring(at.y));
}

void ParkPointer() {
    ClickAt({5, 5}, L"");
}

// The click comes only once the system itself has the pointer at the place: a program that reads the cursor
// on the click (the tray menu opens there) would otherwise see where the pointer was before.
void ClickAt(POINT at, const std::wstring& clicks) {
    MoveTo(at);
    WaitFor([&] {
        POINT cursor = {};
        return GetCursorPos(&cursor) && cursor.x == at.x && cursor.y == at.y;
    }, 5000);
    if (!clicks.empty()) Xdotool(clicks);
}

POINT CentreOf(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

RECT ScreenRect(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

BoxInside InsideOnScreen(const RECT& area) {
    BoxInside inside;
    HDC screen = GetDC(nullptr);
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) {
            COLORREF c = GetPixel(screen, x, y);
            if (c == RGB(255, 255, 255))
                ++inside.white;
            else if (c != CLR_INVALID && GetRValue(c) + GetGValue(c) + GetBValue(c) < 200)
                ++inside.dark;
            else
                ++inside.other;
        }
    ReleaseDC(nullptr, screen);
    return inside;
}

BoxInside BoxOnScreen(HWND button) {
    RECT r = ScreenRect(button);
    return InsideOnScreen({r.left + 4, r.top + 4, r.left + 11, r.top + 11});
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc < 5) {
        fprintf(stderr, "usage: vitrea_e2e Vitrea.exe Vitrea.dll probe.exe planted/Vitrea.dll\n");
        return 2;
    }
    binaries = {WindowsPath(argv[1]), WindowsPath(argv[2]), WindowsPath(argv[3]), WindowsPath(argv[4])};
    return RUN_ALL_TESTS();
}
