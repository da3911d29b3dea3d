// What a Windows user downloads, used as a user would: the installer run silently and then uninstalled, the
// installer over a running Vitrea, and the portable zip unpacked into an awkward folder and run from there.
#include <gtest/gtest.h>
#include "support/e2e_support.h"
#include "support/x_input.h"
#include <shlobj.h>
#include <shlwapi.h>
#include <algorithm>
#include <map>
#include <set>

namespace {
constexpr int storedTaskbarAlpha = 144; // what a first run stores
constexpr WCHAR uninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vitrea";
constexpr WCHAR runKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

using Files = std::map<std::wstring, std::string>;

// The test program's arguments after the four binaries: the packages' folder and the source tree, as host paths.
std::string Argument(int index) { return __argc > index ? __argv[index] : ""; }
std::string DistFolder() { return Argument(5); }
std::string SourceRoot() { return Argument(6); }

// The runtime's own translation of a Windows path into the host's, for the host tools the test runs.
std::wstring HostPath(const std::wstring& path) {
    using Translate = char*(CDECL*)(LPCWSTR);
    auto translate = reinterpret_cast<Translate>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* host = translate ? translate(path.c_str()) : nullptr;
    if (!host) return L"";
    std::wstring wide(MultiByteToWideChar(CP_UTF8, 0, host, -1, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, host, -1, wide.data(), static_cast<int>(wide.size()));
    HeapFree(GetProcessHeap(), 0, host);
    wide.pop_back();
    return wide;
}

std::string Contents(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

std::vector<std::wstring> Names(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (wcscmp(found.cFileName, L".") && wcscmp(found.cFileName, L"..")) names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

Files FilesIn(const std::wstring& folder) {
    Files files;
    for (const std::wstring& name : Names(folder)) files[name] = Contents(folder + L"\\" + name);
    return files;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring Lower(std::wstring text) {
    CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    while (!text.empty() && text.back() == L'\\') text.pop_back();
    return text;
}

// Paths the system is to delete at the next restart.
std::set<std::wstring> DeletedAtRestart() {
    std::set<std::wstring> paths;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return paths;
    DWORD size = 0;
    RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size);
    std::vector<WCHAR> list(size / sizeof(WCHAR) + 2, L'\0');
    RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(list.data()),
                     &size);
    RegCloseKey(key);
    // Pairs of source and target; an empty target means delete.
    for (const WCHAR* at = list.data(); *at;) {
        std::wstring source = at;
        at += source.size() + 1;
        std::wstring target = at;
        at += target.size() + 1;
        if (target.empty() && source.rfind(L"\\??\\", 0) == 0) paths.insert(Lower(source.substr(4)));
        if (!*at) break;
    }
    return paths;
}

// What is left of a folder that nothing has scheduled for deletion at the next restart.
std::vector<std::wstring> Unaccounted(const std::wstring& folder) {
    std::vector<std::wstring> left;
    if (!Exists(folder)) return left;
    std::set<std::wstring> pending = DeletedAtRestart();
    for (const std::wstring& name : Names(folder))
        if (!pending.count(Lower(folder + L"\\" + name))) left.push_back(name);
    if (left.empty() && !pending.count(Lower(folder))) left.push_back(L"(the folder itself)");
    return left;
}

struct MachineValue {
    bool present = false;
    std::wstring text;
    DWORD number = 0;
};

MachineValue UninstallEntry(const WCHAR* name) {
    MachineValue value;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstallKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return value;
    WCHAR buffer[1024] = L"";
    DWORD type = 0, size = sizeof buffer - sizeof(WCHAR);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS) {
        value.present = true;
        if (type == REG_DWORD) value.number = *reinterpret_cast<DWORD*>(buffer);
        else value.text = buffer;
    }
    RegCloseKey(key);
    return value;
}

bool UninstallEntryExists() { return UninstallEntry(L"DisplayName").present; }

std::wstring ShortcutTarget(const std::wstring& link) {
    WCHAR target[MAX_PATH] = L"";
    IShellLinkW* shell = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shell))))
        return target;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        if (SUCCEEDED(file->Load(link.c_str(), STGM_READ))) shell->GetPath(target, MAX_PATH, nullptr, 0);
        file->Release();
    }
    shell->Release();
    return target;
}

// A plain window of a third program for Vitrea to make translucent.
struct Target {
    Process process;
    HWND window = nullptr;
    bool Open(const std::wstring& title) {
        if (!process.Start(Built().probeExe, L"target \"" + title + L"\" 300 200 240 160")) return false;
        return WaitFor([&] { return (window = FindWindowW(nullptr, title.c_str())) != nullptr; }, 20000);
    }
};

class Packages : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CoInitialize(nullptr);
        dist = WindowsPath(DistFolder());
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((dist + L"\\VitreaSetup-*.exe").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            setup = dist + L"\\" + found.cFileName;
            FindClose(search);
        }
        search = FindFirstFileW((dist + L"\\Vitrea-*.zip").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            zip = dist + L"\\" + found.cFileName;
            FindClose(search);
        }
        WCHAR temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        // A fresh folder per run: a library held by the desktop's shell from an earlier run may still be there.
        work = std::wstring(temp) + L"VitreaPackages" + std::to_wstring(GetTickCount());
        CreateDirectoryW(work.c_str(), nullptr);
    }
    static void TearDownTestSuite() { DeleteTree(work); }
    void SetUp() override {
        ASSERT_FALSE(setup.empty()) << "no installer in " << dist;
        ASSERT_FALSE(zip.empty()) << "no zip";
        EndAllVitreas();
    }
    void TearDown() override {
        EndAllVitreas();
        SHDeleteValueW(HKEY_CURRENT_USER, runKey, L"Vitrea");
    }

    // Runs a host command and returns its exit status, or -1 if it has not finished within a minute.
    static int HostRun(const std::vector<std::wstring>& command) {
        static int runs = 0;
        std::wstring result = work + L"\\host" + std::to_wstring(++runs) + L".txt";
        std::string root = SourceRoot();
        std::wstring line = L"/bin/bash \"" + std::wstring(root.begin(), root.end()) +
                            L"/tests/package/host_run.sh\" \"" + HostPath(work) + L"/host" + std::to_wstring(runs) +
                            L".txt\"";
        for (const std::wstring& argument : command) line += L" \"" + argument + L"\"";
        EXPECT_TRUE(StartHostProgram(line));
        if (!WaitFor([&] { return Exists(result); }, 60000)) return -1;
        std::string output = Contents(result);
        size_t at = output.rfind("exit ");
        if (at == std::string::npos) return -1;
        if (output.compare(at, 6, "exit 0")) ADD_FAILURE() << output;
        return atoi(output.c_str() + at + 5);
    }
    // The zip's files, unpacked by a host tool into an ASCII folder, then moved where the test wants them.
    static std::wstring Unpack(const std::wstring& name) {
        std::wstring staging = work + L"\\unpacking";
        DeleteTree(staging);
        CreateDirectoryW(staging.c_str(), nullptr);
        EXPECT_EQ(HostRun({L"/usr/bin/python3", L"-m", L"zipfile", L"-e", HostPath(zip), HostPath(staging)}), 0)
            << "unpacking the zip";
        std::wstring folder = work + L"\\" + name;
        EXPECT_TRUE(MoveFileW(staging.c_str(), folder.c_str()));
        return folder;
    }
    static DWORD RunSetup(const std::wstring& arguments) {
        Process installer;
        if (!installer.Start(setup, arguments, work)) return static_cast<DWORD>(-1);
        return installer.Wait(60000);
    }
    static HWND StartVitrea(Process& vitrea, const std::wstring& exe) {
        // Started from another folder: the program must find its files beside itself, not in the current one.
        if (!vitrea.Start(exe, L"", work)) return nullptr;
        HWND window = FindVitreaWindow(vitrea);
        if (window && !WaitFor([&] { return TrayIconExists(window); })) return nullptr;
        return window;
    }
    // Starts the Vitrea at `exe` and has it make a window of another program translucent.
    static HWND StartAndDim(Process& vitrea, const std::wstring& exe, Target& target, const WCHAR* title, int alpha) {
        HWND window = StartVitrea(vitrea, exe);
        if (!window || !target.Open(title)) return nullptr;
        SendMessageW(window, APPMSG_SETALPHA, reinterpret_cast<WPARAM>(target.window), alpha);
        return WaitFor([&] { return LayeredAlpha(target.window) == alpha; }) ? window : nullptr;
    }
    static int PeCheck(const std::wstring& folder, const std::vector<std::wstring>& names, bool installer) {
        std::string root = SourceRoot();
        std::vector<std::wstring> command = {std::wstring(root.begin(), root.end()) + L"/tools/pecheck.sh"};
        if (installer) command.push_back(L"--installer");
        for (const std::wstring& name : names) command.push_back(HostPath(folder + L"\\" + name));
        return HostRun(command);
    }
    static std::wstring dist, setup, zip, work;
};
std::wstring Packages::dist, Packages::setup, Packages::zip, Packages::work;

TEST_F(Packages, SilentInstallRunsAndSilentUninstallLeavesNothing) {
    const std::wstring folder = work + L"\\Silent install";
    ASSERT_EQ(RunSetup(L"/S /D=" + folder), 0u);

    // The installed files are the zip's files, byte for byte, and the uninstaller.
    Files shipped = FilesIn(Unpack(L"reference"));
    ASSERT_TRUE(shipped.count(L"Vitrea.exe") && shipped.count(L"Vitrea.dll") && shipped.count(L"Readme.txt"));
    Files installed = FilesIn(folder);
    ASSERT_EQ(installed.erase(L"Uninstall.exe"), 1u);
    EXPECT_TRUE(installed == shipped);
    std::vector<std::wstring> programs;
    for (const auto& [name, bytes] : shipped)
        if (PathMatchSpecW(name.c_str(), L"*.exe") || PathMatchSpecW(name.c_str(), L"*.dll")) programs.push_back(name);
    EXPECT_EQ(PeCheck(folder, programs, false), 0) << "every installed program file passes the PE check";
    EXPECT_EQ(PeCheck(folder, {L"Uninstall.exe"}, true), 0) << "the uninstaller passes the installer's PE check";

    WCHAR programsMenu[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, programsMenu, CSIDL_COMMON_PROGRAMS, FALSE));
    const std::wstring menu = std::wstring(programsMenu) + L"\\Vitrea";
    struct Shortcut {
        const WCHAR* link;
        const WCHAR* target;
    };
    std::vector<Shortcut> shortcuts = {{L"Vitrea.lnk", L"Vitrea.exe"}, {L"Uninstall Vitrea.lnk", L"Uninstall.exe"}};
    if (shipped.count(L"Vitrea.chm")) shortcuts.push_back({L"Vitrea Help.lnk", L"Vitrea.chm"});
    EXPECT_EQ(Names(menu).size(), shortcuts.size());
    for (const Shortcut& shortcut : shortcuts)
        EXPECT_EQ(Lower(ShortcutTarget(menu + L"\\" + shortcut.link)), Lower(folder + L"\\" + shortcut.target));

    EXPECT_EQ(UninstallEntry(L"Publisher").text, L"Tarnwick Software");
    EXPECT_EQ(UninstallEntry(L"DisplayVersion").text, L"1.1");
    EXPECT_EQ(Lower(UninstallEntry(L"DisplayIcon").text), Lower(folder + L"\\Vitrea.exe,0"));
    EXPECT_EQ(Lower(UninstallEntry(L"UninstallString").text), Lower(L"\"" + folder + L"\\Uninstall.exe\""));
    EXPECT_GT(UninstallEntry(L"EstimatedSize").number, 0u);

    Process vitrea;
    HWND window = StartVitrea(vitrea, folder + L"\\Vitrea.exe");
    ASSERT_NE(window, nullptr) << "the installed Vitrea shows its window and tray icon";
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(vitrea.Wait(), 0u);
    ASSERT_TRUE(ReadValue(L"Options").present) << "the run left its settings";
    const WCHAR startWith[] = L"\"C:\\somewhere\\Vitrea.exe\"";
    WriteValue(L"Vitrea", REG_SZ, startWith, sizeof startWith, runKey);

    Process uninstaller;
    ASSERT_TRUE(uninstaller.Start(folder + L"\\Uninstall.exe", L"/S", work));
    // The uninstaller hands over to a copy of itself and removes its entry last.
    EXPECT_TRUE(WaitFor([] { return !UninstallEntryExists(); }, 60000));
    std::vector<std::wstring> left = Unaccounted(folder);
    EXPECT_TRUE(left.empty()) << "left behind: " << (left.empty() ? L"" : left[0]);
    EXPECT_FALSE(Exists(folder + L"\\Vitrea.dll")) << "no old library stays under its own name";
    EXPECT_FALSE(Exists(menu));
    EXPECT_FALSE(ReadValue(L"Vitrea", runKey).present);
    EXPECT_TRUE(ReadValue(L"Options").present) << "a silent uninstall keeps the settings";
}

// Everything that ran through the upgrade keeps the old library loaded under the library's own name: the
// shell, and programs the old Vitrea made translucent. The new Vitrea must serve them all at once.
TEST_F(Packages, InstallOverRunningVitreaClosesItAndReplacesItsLibrary) {
    const std::wstring folder = work + L"\\Over a running one";
    ASSERT_EQ(RunSetup(L"/S /D=" + folder), 0u);
    const std::string library = Contents(folder + L"\\Vitrea.dll");
    // An older library, told apart by trailing bytes the loader ignores; once Vitrea has run, the desktop's
    // shell keeps it loaded.
    {
        HANDLE file = CreateFileW((folder + L"\\Vitrea.dll").c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, "older", 5, &written, nullptr);
        CloseHandle(file);
    }
    const HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
    ASSERT_TRUE(taskbar);
    RECT bar = {};
    GetWindowRect(taskbar, &bar);
    // Away in a corner where no window opens: a window shown under the pointer makes the runtime repeat a
    // move there, which may come after the next real one.
    const POINT away = {bar.right - 5, 5}, over = {bar.left + 5, (bar.top + bar.bottom) / 2};
    MoveTo(away);
    Process vitrea;
    Target target, closing;
    HWND window = StartAndDim(vitrea, folder + L"\\Vitrea.exe", target, L"Package target", 128);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(closing.Open(L"Package closing"));
    SendMessageW(window, APPMSG_SETALPHA, reinterpret_cast<WPARAM>(closing.window), 100);
    SendMessageW(window, APPMSG_SETTING, settingTaskbarOn, 1);
    ASSERT_TRUE(WaitFor([&] { return LayeredAlpha(taskbar) == storedTaskbarAlpha; }));

    EXPECT_EQ(RunSetup(L"/S /D=" + folder), 0u);
    EXPECT_TRUE(WaitFor([&] { return !vitrea.Running(); })) << "Setup closed Vitrea";
    EXPECT_TRUE(WaitFor([&] {
        return !IsLayered(target.window) && !IsLayered(closing.window) && !IsLayered(taskbar);
    })) << "closing Vitrea restored the windows";
    EXPECT_EQ(Contents(folder + L"\\Vitrea.dll"), library) << "the new library is in place";
    std::set<std::wstring> pending = DeletedAtRestart();
    for (const std::wstring& name : Names(folder))
        if (name.rfind(L"Vitrea.dll.", 0) == 0)
            EXPECT_TRUE(pending.count(Lower(folder + L"\\" + name))) << "a library moved aside goes at the restart";

    Process again;
    window = StartVitrea(again, folder + L"\\Vitrea.exe");
    ASSERT_NE(window, nullptr) << "the new installation runs";
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(window) != FALSE; })) << "shown last, once start-up is over";
    EXPECT_TRUE(WaitFor([&] { return LayeredAlpha(taskbar) == storedTaskbarAlpha; }))
        << "the taskbar's alpha";
    MoveTo(over);
    EXPECT_TRUE(WaitFor([&] { return LayeredAlpha(taskbar) == 255; })) << "no fade in under the mouse";
    MoveTo(away);
    EXPECT_TRUE(WaitFor([&] { return LayeredAlpha(taskbar) == storedTaskbarAlpha; })) << "no fade back";
    ASSERT_TRUE(WaitFor([&] {
        if (GetForegroundWindow() != target.window) SetForegroundWindow(target.window);
        return GetForegroundWindow() == target.window;
    }));
    Xdotool(L"key ctrl+shift+5");
    EXPECT_TRUE(WaitFor([&] { return LayeredAlpha(target.window) == 128; }))
        << "no chord on an older program";
    // The old library in an older program works for the new Vitrea: it carries out the style request, and
    // reports the window going away, which the new Vitrea then forgets.
    SendMessageW(closing.window, RegisterWindowMessageW(setLayeredStyleMessage), 1, 0);
    EXPECT_TRUE(WaitFor([&] { return IsLayered(closing.window); })) << "the old library refused the request";
    SendMessageW(window, APPMSG_SETALPHA, reinterpret_cast<WPARAM>(closing.window), 100);
    ASSERT_TRUE(WaitFor([&] { return LayeredAlpha(closing.window) == 100; }));
    PostMessageW(closing.window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitFor([&] {
        return SendMessageW(window, APPMSG_GETALPHA, reinterpret_cast<WPARAM>(closing.window), 0) == -1;
    })) << "the closed window is still recorded";

    // The uninstaller closes Vitrea as the Exit command does.
    Process uninstaller;
    ASSERT_TRUE(uninstaller.Start(folder + L"\\Uninstall.exe", L"/S", work));
    EXPECT_TRUE(WaitFor([&] { return !UninstallEntryExists() && !again.Running(); }, 60000))
        << "the uninstaller closes a running Vitrea too";
    EXPECT_TRUE(WaitFor([&] { return !IsLayered(target.window) && !IsLayered(taskbar); }))
        << "its exit restored the windows";
    std::vector<std::wstring> left = Unaccounted(folder);
    EXPECT_TRUE(left.empty()) << "left behind: " << (left.empty() ? L"" : left[0]);
}

TEST_F(Packages, SetupRefusesOtherWindowsVersionsWithTheProgramsWords) {
    const std::wstring folder = work + L"\\Refused";
    const std::wstring exe = setup.substr(setup.find_last_of(L'\\') + 1);
    SetProgramWindowsVersion(exe.c_str(), L"win7");
    Process installer;
    ASSERT_TRUE(installer.Start(setup, L"/D=" + folder, work));
    HWND box = nullptr;
    EXPECT_TRUE(WaitFor(
        [&] {
            for (HWND w = FindWindowW(L"#32770", nullptr); w; w = FindWindowExW(nullptr, w, L"#32770", nullptr)) {
                DWORD pid = 0;
                GetWindowThreadProcessId(w, &pid);
                if (pid != installer.info.dwProcessId) continue;
                for (HWND child : Children(w))
                    if (WindowText(child) == L"Vitrea is only supported on Windows 2000 and Windows XP") box = w;
            }
            return box != nullptr;
        },
        20000));
    if (box) PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_NE(installer.Wait(), 0u);
    SetProgramWindowsVersion(exe.c_str(), nullptr);
    EXPECT_FALSE(Exists(folder));
    EXPECT_FALSE(UninstallEntryExists());
}

TEST_F(Packages, PortableZipRunsFromAFolderWithSpacesAndNonAsciiCharacters) {
    const std::wstring folder = Unpack(L"Vitrea portable \u00e9t\u00e9 \u8a66\u9a13");
    Process vitrea;
    Target target;
    // Only the library beside the program can set the layered style inside the target's process.
    HWND window = StartAndDim(vitrea, folder + L"\\Vitrea.exe", target, L"Portable target", 100);
    ASSERT_NE(window, nullptr) << "Vitrea and its hooks work from there";
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(vitrea.Wait(), 0u);
    EXPECT_TRUE(WaitFor([&] { return !IsLayered(target.window); }));
}
} // namespace
