// The shipped Vitrea.exe driven with real keys and mouse through the X server: the keyboard walk over its
// controls, and the trackbar moved by click, drag and arrow keys, read back from the program, the taskbar
// and the registry.
#include <gtest/gtest.h>
#include "support/e2e_support.h"
#include <commctrl.h>
#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include "ui/focus_graph.h"

namespace {
std::wstring At(int x, int y) { return std::to_wstring(x) + L" " + std::to_wstring(y); }

int StoredAlpha() { return StoredByte(taskbarAlphaValue); }

// Whether the check button's label, right of its box, shows image `id` of the skin library beside the program.
bool LabelShows(HWND button, const WCHAR* skin, WORD id) {
    HMODULE library = LoadLibraryExW((FolderOf(Built().vitreaExe) + L"\\" + skin + L".dll").c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE);
    HBITMAP image = library ? LoadBitmapW(library, MAKEINTRESOURCEW(id)) : nullptr;
    if (!image) {
        if (library) FreeLibrary(library);
        return false;
    }
    BITMAP size = {};
    GetObjectW(image, sizeof size, &size);
    RECT r = ScreenRect(button);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(memory, image);
    bool same = true;
    for (int y = 0; y < size.bmHeight && same; ++y)
        for (int x = 0; x < size.bmWidth && same; ++x)
            same = GetPixel(memory, x, y) == GetPixel(screen, r.left + 15 + x, r.top + y);
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    DeleteObject(image);
    FreeLibrary(library);
    return same;
}

// The program's tooltip, once it shows: the sign that the mouse over a control has been handled.
bool TooltipShown(DWORD pid) {
    for (HWND w = FindWindowW(L"tooltips_class32", nullptr); w; w = FindWindowExW(nullptr, w, L"tooltips_class32", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid && IsWindowVisible(w)) return true;
    }
    return false;
}

class Controls : public ::testing::Test {
protected:
    void SetUp() override { EndAllVitreas(); }
    void TearDown() override {
        RunHost(L"/usr/bin/xset r rate 660 25"); // the X server's usual repeat
        EndAllVitreas();
    }

    // Starts the program with the two switches and the alpha stored, shown in front.
    void Start(bool shortcut, bool taskbar, BYTE alpha) {
        WriteByteValue(L"Keyboard Shortcut", shortcut ? 0x45 : 0x44);
        WriteByteValue(L"Taskbar Transparency", taskbar ? 0x23 : 0x22);
        WriteByteValue(L"Taskbar Transparency Alpha", alpha);
        vitrea = std::make_unique<Process>();
        ASSERT_TRUE(vitrea->Start(Built().vitreaExe, L"", FolderOf(Built().vitreaExe)));
        window = FindVitreaWindow(*vitrea);
        ASSERT_TRUE(window) << "no settings window appeared";
        ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(window) && GetForegroundWindow() == window; }));
        std::vector<HWND> children = Children(window);
        ASSERT_EQ(children.size(), 7u);
        for (int control = 0; control < focusControlCount; ++control) controls[control] = children[control];
        if (taskbar) ASSERT_TRUE(WaitFor([&] { return TaskbarAlpha() == alpha; }));
    }
    // A press on the control and a release away from it: the focus moves there and nothing is clicked.
    void FocusWithMouse(int control) {
        RECT r = ScreenRect(controls[control]);
        Xdotool(L"mousemove " + At(r.left + 5, r.top + 5) + L" mousedown 1 mousemove " +
                At(r.left + 5, r.bottom + 40) + L" mouseup 1");
        ASSERT_TRUE(WaitFor([&] { return FocusOf(window) == controls[control]; }, 5000)) << "control " << control;
    }
    void Key(const std::wstring& keys) { Xdotool(L"key " + keys); }
    // Presses on the trackbar at dx, dy from its window's top-left corner.
    void ClickSlider(int dx, int dy) {
        RECT r = ScreenRect(controls[focusSlider]);
        Xdotool(L"mousemove " + At(r.left + dx, r.top + dy) + L" click 1");
    }
    int SliderPos() const {
        DWORD_PTR position = 0;
        SendMessageTimeoutW(controls[focusSlider], TBM_GETPOS, 0, 0, SMTO_NORMAL, 5000, &position);
        return static_cast<int>(position);
    }
    // The program stores the alpha of a position, and its taskbar shows it.
    bool Shows(int position) const {
        return SliderPos() == position && StoredAlpha() == 255 - position && TaskbarAlpha() == 255 - position;
    }

    std::unique_ptr<Process> vitrea;
    HWND window = nullptr;
    HWND controls[focusControlCount] = {};
};

// Under each setting of the two switches, every key of the graph is pressed once from every control that can
// hold the focus; between cells the walk moves along the graph itself, checking every step on the way.
TEST_F(Controls, KeyboardWalkFollowsTheGraphUnderEverySetting) {
    const WCHAR* keyNames[focusKeyCount] = {L"Tab", L"Left", L"Right", L"Up", L"Down", L"shift+Tab"};
    struct Setting {
        bool shortcut, taskbar;
        BYTE alpha; // on both sides of 129, where the trackbar's Up depends on it
    };
    for (Setting setting : {Setting{true, true, 200}, Setting{false, true, 128}, Setting{true, false, 144},
                            Setting{false, false, 144}}) {
        SCOPED_TRACE(testing::Message() << "shortcut " << setting.shortcut << " taskbar " << setting.taskbar);
        Start(setting.shortcut, setting.taskbar, setting.alpha);
        FocusSwitches switches = {setting.shortcut, setting.taskbar, setting.alpha >= 129};
        auto reachable = [&](int control) { return IsWindowEnabled(controls[control]) != FALSE; };

        std::vector<std::pair<int, int>> untested;
        for (int control = 0; control < focusControlCount; ++control)
            for (int key = 0; key < focusKeyCount; ++key)
                if (reachable(control) && FocusKeyHandled(control, FocusKey(key))) untested.push_back({control, key});

        int at = focusShortcut;
        FocusWithMouse(at);
        std::wstring last = L"a press on the button";
        auto press = [&](int key) {
            int target = FocusTarget(at, FocusKey(key), switches);
            int expected = target == focusStays ? at : target;
            Key(keyNames[key]);
            bool arrived = WaitFor([&] { return FocusOf(window) == controls[expected]; }, 5000);
            EXPECT_TRUE(arrived) << keyNames[key] << " from control " << at << " after " << last
                                 << ": expected control " << expected;
            last = std::wstring(keyNames[key]) + L" from control " + std::to_wstring(at);
            std::erase(untested, std::pair<int, int>{at, key});
            at = expected;
            // After a wrong move the walk goes on from where the focus really is, so one fault is one failure.
            if (!arrived) at = static_cast<int>(std::find(controls, controls + focusControlCount, FocusOf(window)) - controls);
            ASSERT_LT(at, focusControlCount) << "the focus left the controls";
        };
        while (!untested.empty() && !HasFatalFailure()) {
            auto here = std::find_if(untested.begin(), untested.end(), [&](auto cell) { return cell.first == at; });
            if (here != untested.end()) {
                press(here->second);
                continue;
            }
            // Nothing left here: the shortest way along the graph to a control that still has a key to try.
            std::vector<int> previousKey(focusControlCount, -1), previous(focusControlCount, -1);
            std::deque<int> queue = {at};
            previous[at] = at;
            int goal = -1;
            while (!queue.empty() && goal < 0) {
                int from = queue.front();
                queue.pop_front();
                for (int key = 0; key < focusKeyCount; ++key) {
                    int to = FocusTarget(from, FocusKey(key), switches);
                    if (to == focusStays || previous[to] >= 0) continue;
                    previous[to] = from;
                    previousKey[to] = key;
                    queue.push_back(to);
                    if (std::any_of(untested.begin(), untested.end(), [&](auto cell) { return cell.first == to; })) {
                        goal = to;
                        break;
                    }
                }
            }
            ASSERT_GE(goal, 0) << "controls left that the graph never reaches";
            std::vector<int> path;
            for (int node = goal; node != at; node = previous[node]) path.insert(path.begin(), previousKey[node]);
            for (int key : path) press(key);
        }
        EXPECT_EQ(StoredAlpha(), setting.alpha) << "a key of the walk changed the taskbar alpha";
        EndAllVitreas();
    }
}

// A press on the thumb's row puts the thumb under the cursor, and the release stores where it landed; above or
// below that row the press is the trackbar's own. Then a drag: the taskbar and the stored value follow the
// thumb, and the release stores the final value once more.
TEST_F(Controls, TrackbarFollowsClicksAndDragsWithTheTaskbarAndTheRegistry) {
    Start(true, true, 144);
    for (auto [dx, position] : {std::pair{7, 0}, std::pair{100, 69}, std::pair{341, 254}}) {
        ClickSlider(dx, 10);
        EXPECT_TRUE(WaitFor([&] { return Shows(position); }, 5000))
            << "dx " << dx << ": position " << SliderPos() << ", stored " << StoredAlpha();
    }
    for (int dy : {1, 21}) {
        Key(L"Up"); // alpha 1: Up leaves for the Taskbar Transparency button
        ASSERT_TRUE(WaitFor([&] { return FocusOf(window) == controls[focusTaskbar]; }, 5000));
        ClickSlider(100, dy);
        ASSERT_TRUE(WaitFor([&] { return FocusOf(window) == controls[focusSlider]; }, 5000)) << "dy " << dy;
        EXPECT_EQ(SliderPos(), 254) << "dy " << dy << " made the thumb jump";
    }

    RECT r = ScreenRect(controls[focusSlider]);
    Xdotool(L"mousemove " + At(r.left + 100, r.top + 10) + L" mousedown 1");
    ASSERT_TRUE(WaitFor([&] { return SliderPos() == 69; }, 5000)) << "the press did not take the thumb";
    int seen = 69;
    for (int dx : {160, 240, 60}) {
        Xdotool(L"mousemove " + At(r.left + dx, r.top + 10));
        ASSERT_TRUE(WaitFor([&] { return SliderPos() != seen; }, 5000)) << "the thumb did not follow to " << dx;
        seen = SliderPos();
        EXPECT_TRUE(WaitFor([&] { return Shows(seen); }, 5000))
            << "position " << seen << ": stored " << StoredAlpha() << ", taskbar " << TaskbarAlpha();
    }
    WriteByteValue(L"Taskbar Transparency Alpha", 7); // only a write on release brings the value back
    Xdotool(L"mouseup 1");
    EXPECT_TRUE(WaitFor([&] { return StoredAlpha() == 255 - seen; }, 5000)) << "the release stored nothing";
    EXPECT_EQ(SliderPos(), seen);
    EXPECT_EQ(TaskbarAlpha(), 255 - seen);
}

// Right held until the X server has repeated it to ten presses, then released: every step and the release
// write the value. The server repeats once a second here, far slower than the test follows, so each step's
// value is seen before the next. The runtime's registry drops a write that does not change the value, so
// before the release, which writes the value of the last step again, the test stores 100, a value this walk
// never reaches, and waits for the write that replaces it. At the ends of the range the key steps nothing
// and only the release writes, the unchanged value.
TEST_F(Controls, ArrowKeysOnTheTrackbarStepTheAlphaAndEachWriteIsCounted) {
    Start(true, true, 144);
    FocusWithMouse(focusTaskbar);
    Key(L"Down");
    ASSERT_TRUE(WaitFor([&] { return FocusOf(window) == controls[focusSlider]; }, 5000));

    int writes = 0;
    RunHost(L"xset r rate 400 1; xdotool keydown Right");
    for (int step = 1; step <= 10; ++step) {
        bool seen = WaitFor([&] { return StoredAlpha() == 144 - step; }, 5000);
        EXPECT_TRUE(seen) << "step " << step << ": stored " << StoredAlpha();
        if (seen) ++writes;
    }
    constexpr BYTE untouched = 100;
    WriteByteValue(L"Taskbar Transparency Alpha", untouched);
    RunHost(L"xdotool keyup Right; xset r rate 660 25");
    if (WaitFor([&] { return StoredAlpha() != untouched; }, 5000)) ++writes;
    EXPECT_EQ(StoredAlpha(), 134) << "a step more or less than ten";
    EXPECT_EQ(writes, 11);
    EXPECT_EQ(SliderPos(), 121);
    EXPECT_TRUE(WaitFor([&] { return TaskbarAlpha() == 134; }, 5000));
    EXPECT_EQ(FocusOf(window), controls[focusSlider]);

    struct End {
        int dx;
        const WCHAR* key;
        int alpha;
    };
    for (End end : {End{341, L"Right", 1}, End{7, L"Left", 255}}) {
        ClickSlider(end.dx, 10);
        ASSERT_TRUE(WaitFor([&] { return Shows(255 - end.alpha); }, 5000));
        WriteByteValue(L"Taskbar Transparency Alpha", untouched);
        Key(end.key);
        EXPECT_TRUE(WaitFor([&] { return StoredAlpha() != untouched; }, 5000)) << "no write on release";
        EXPECT_EQ(StoredAlpha(), end.alpha) << end.key << " stepped past the end";
        EXPECT_EQ(SliderPos(), 255 - end.alpha);
        EXPECT_EQ(TaskbarAlpha(), end.alpha);
        EXPECT_EQ(FocusOf(window), controls[focusSlider]);
    }
}

// Skinned: the mouse on a check button lights its label and leaving it shows the normal one again, on both
// buttons, the one holding the keyboard focus too. Plain: the mouse on a button draws nothing, by the time
// its tooltip shows.
TEST_F(Controls, CheckButtonsLightUnderTheMouseOnlyInTheSkinnedLook) {
    Start(true, true, 144);
    HWND button = controls[focusShortcut];
    RECT r = {};
    auto label = [&] {
        r = ScreenRect(button);
        std::vector<COLORREF> pixels;
        HDC screen = GetDC(nullptr);
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left + 15; x < r.right; ++x) pixels.push_back(GetPixel(screen, x, y));
        ReleaseDC(nullptr, screen);
        return pixels;
    };
    // The window paints in pieces: the label counts as drawn once it holds its text and two looks agree.
    std::vector<COLORREF> before, previous;
    ASSERT_TRUE(WaitFor([&] {
        previous = before;
        before = label();
        bool topRowIsFace = std::all_of(before.begin(), before.begin() + (r.right - r.left - 15),
                                        [](COLORREF c) { return c == GetSysColor(COLOR_BTNFACE); });
        return topRowIsFace && std::count(before.begin(), before.end(), RGB(0, 0, 0)) > 10 && before == previous;
    })) << "the plain label was never drawn";
    Xdotool(L"mousemove " + At(r.left + 5, r.top + 7));
    ASSERT_TRUE(WaitFor([&] { return TooltipShown(vitrea->info.dwProcessId); }, 5000));
    EXPECT_EQ(label(), before) << "the plain look drew on hover";
    Xdotool(L"mousemove " + At(r.left + 5, r.bottom + 200));
    EndAllVitreas();

    WriteValue(L"Skin", REG_SZ, L"EddyMini", 16);
    Start(true, true, 144);
    struct Hover {
        int control;
        WORD normal, lit;
    };
    FocusWithMouse(focusTaskbar); // a press dragged off the button, which must not leave it lit
    ASSERT_TRUE(WaitFor([&] { return LabelShows(controls[focusShortcut], L"EddyMini", 153); }, 5000))
        << "the skinned face never appeared";
    const Hover hovers[] = {{focusTaskbar, 165, 166}, {focusShortcut, 153, 154}};
    auto normal = [&](const Hover& h) { return LabelShows(controls[h.control], L"EddyMini", h.normal); };
    // Then straight from the focused button, which shows the lit label until a hover has come and gone, onto
    // the other, as a hand moves: the first one's leave comes late.
    for (int i = 0; i < 2; ++i) {
        HWND target = controls[hovers[i].control];
        RECT t = ScreenRect(target);
        Xdotool(L"mousemove " + At(t.left + 5, t.top + 7));
        auto lit = [&] { return LabelShows(target, L"EddyMini", hovers[i].lit); };
        bool alone = WaitFor([&] { return lit() && (!i || normal(hovers[0])); });
        EXPECT_TRUE(alone) << "control " << hovers[i].control << " did not light alone";
    }
    RECT t = ScreenRect(controls[focusShortcut]);
    Xdotool(L"mousemove " + At(t.left + 5, t.bottom + 40));
    EXPECT_TRUE(WaitFor([&] { return normal(hovers[0]) && normal(hovers[1]); }, 5000)) << "a button stayed lit";
}
} // namespace
