#pragma once
// A probe target: a top-level window of another program (tools/probe "target") that counts its paints and
// the keys it receives.
#include <windows.h>
#include <string>
#include "support/e2e_support.h"

enum TargetIndex { top, a, a1, b, b1, c };
constexpr UINT msgPaintCount = WM_APP + 1, msgResetCounts = WM_APP + 3, msgKeyCount = WM_APP + 4;

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
    void ResetPaints() const { SendMessageW(window, msgResetCounts, 0, 0); }
    // WM_KEYDOWN/WM_SYSKEYDOWN received for a virtual key; characters; entries into menu mode.
    LRESULT KeyDowns(UINT vk) const { return SendMessageW(window, msgKeyCount, vk, 0); }
    LRESULT Chars() const { return SendMessageW(window, msgKeyCount, 256, 0); }
    LRESULT MenuModes() const { return SendMessageW(window, msgKeyCount, 257, 0); }
    RECT Place() const {
        RECT place = {};
        GetWindowRect(window, &place);
        return place;
    }
};

