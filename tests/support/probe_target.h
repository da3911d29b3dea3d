#pragma once
// A probe target: a top-level window of another program (tools/probe "target") that counts its paints and
// the keys it receives.
#include <windows.h>
#include <string>
#include <vector>
#include "support/e2e_support.h"

enum TargetIndex { top, a, a1, b, b1, c };
constexpr UINT msgPaintCount = WM_APP + 1, msgResetCounts = WM_APP + 3, msgKeyCount = WM_APP + 4,
               msgPaintNow = WM_APP + 5, msgSighting = WM_APP + 6;

// What a probe target saw of the curtains at the moment its layered style changed or it was hidden, from
// inside its own process: the one moment known to fall inside a curtain's short life.
enum Change : LRESULT { becameLayered = 1, noLongerLayered = 2, hidden = 3 };
struct Sighting {
    LRESULT what, curtains;
    HWND curtain;
    RECT place;
    DWORD exStyle, processId;
};

// A probe target: a top-level window of another program with the tree A (A1), hidden B (B1) and C.
// Launch starts the program; Ready waits for its window, so several targets start side by side.
struct Target {
    Process process;
    std::wstring title;
    HWND window = nullptr;

    bool Launch(const std::wstring& name, int x, int y, int width, int height, const WCHAR* options = L"") {
        title = name;
        std::wstring arguments = L"target " + title + L" " + std::to_wstring(x) + L" " + std::to_wstring(y) + L" " +
                                 std::to_wstring(width) + L" " + std::to_wstring(height) + L" " + options;
        return process.Start(Built().probeExe, arguments);
    }
    bool Ready() {
        WaitFor([&] { return (window = FindWindowW(nullptr, title.c_str())) != nullptr; }, 20000);
        // The first paints come from the system; the counts start once they are done.
        bool settled = window && WaitFor([&] { return Paints(top) > 0 && Paints(a1) > 0 && Paints(c) > 0; }, 10000);
        ResetPaints();
        return settled;
    }
    LRESULT Paints(TargetIndex index) const { return SendMessageW(window, msgPaintCount, index, 0); }
    // Paints whatever is waiting to be painted first, so a count of 0 means no repaint was asked for.
    LRESULT PaintsSettled(TargetIndex index) const {
        SendMessageW(window, msgPaintNow, 0, 0);
        return Paints(index);
    }
    // Zeroes the paint and key counts and forgets the sightings.
    void ResetPaints() const { SendMessageW(window, msgResetCounts, 0, 0); }
    std::vector<Sighting> Sightings() const {
        std::vector<Sighting> seen;
        LRESULT count = SendMessageW(window, msgSighting, 0xFFFF, 0);
        for (LRESULT i = 0; i < count; ++i) {
            auto field = [&](int f) { return SendMessageW(window, msgSighting, i * 16 + f, 0); };
            seen.push_back({field(0), field(1), reinterpret_cast<HWND>(field(2)),
                            {static_cast<LONG>(field(3)), static_cast<LONG>(field(4)), static_cast<LONG>(field(5)),
                             static_cast<LONG>(field(6))},
                            static_cast<DWORD>(field(7)), static_cast<DWORD>(field(8))});
        }
        return seen;
    }
    // WM_KEYDOWN/WM_SYSKEYDOWN received for a virtual key; characters; entries into menu mode; wheel notches.
    LRESULT KeyDowns(UINT vk) const { return SendMessageW(window, msgKeyCount, vk, 0); }
    LRESULT Chars() const { return SendMessageW(window, msgKeyCount, 256, 0); }
    LRESULT MenuModes() const { return SendMessageW(window, msgKeyCount, 257, 0); }
    // Wheel notches away from the user (up) or towards the user (down).
    LRESULT WheelNotches(bool up) const { return SendMessageW(window, msgKeyCount, up ? 258 : 259, 0); }
    RECT Place() const {
        RECT place = {};
        GetWindowRect(window, &place);
        return place;
    }
};

