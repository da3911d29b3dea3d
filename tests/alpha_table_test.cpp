// The window alpha table: order and replacement, removal, queries through the main window, forgetting,
// the shutdown sweep and entries that cannot be allocated.
#include "support/app_fixture.h"
#include <cstdlib>
#include <new>
#include "engine/alpha_table.h"
#include "engine/layered.h"
#include "support/target_tree.h"

namespace {
bool refuseNothrowAllocations = false;
}

// The table allocates with new (std::nothrow); this stand-in lets a test make that allocation fail.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (refuseNothrowAllocations) return nullptr;
    return std::malloc(size ? size : 1);
}

namespace {
using Entries = std::vector<std::pair<HWND, int>>;

Entries TableEntries() {
    Entries entries;
    for (const WindowAlphaEntry* entry = app.alphaTableHead; entry && entries.size() < 100; entry = entry->next)
        entries.push_back({entry->window, entry->alpha});
    return entries;
}

class AlphaTable : public AppFixture {
protected:
    void SetUp() override {
        AppFixture::SetUp();
        StartEngine();
        for (HWND& window : plain)
            window = CreateWindowExW(0, L"STATIC", nullptr, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        TargetLog().clear();
    }
    void TearDown() override {
        refuseNothrowAllocations = false;
        AppFixture::TearDown();
        for (HWND window : plain) DestroyWindow(window);
    }
    static LRESULT Send(UINT message, HWND window, LPARAM lParam = 0) {
        return SendMessageW(app.mainWindow, message, reinterpret_cast<WPARAM>(window), lParam);
    }
    HWND plain[4] = {};
};

TEST_F(AlphaTable, NewWindowsAreAppendedAndARepeatReplacesTheAlphaInPlace) {
    auto [a, b, c, d] = plain;
    EXPECT_EQ(app.alphaTableHead, nullptr);
    AlphaTableSet(a, 10);
    AlphaTableSet(b, 20);
    AlphaTableSet(c, 30);
    AlphaTableSet(a, 40);
    EXPECT_EQ(TableEntries(), (Entries{{a, 40}, {b, 20}, {c, 30}}));
    AlphaTableSet(b, 0);
    AlphaTableSet(d, 255);
    EXPECT_EQ(TableEntries(), (Entries{{a, 40}, {b, 0}, {c, 30}, {d, 255}}));
}

TEST_F(AlphaTable, RemovalUnlinksFromAnyPlaceAndIgnoresUnknownWindows) {
    auto [a, b, c, d] = plain;
    AlphaTableSet(a, 1);
    AlphaTableSet(b, 2);
    AlphaTableSet(c, 3);
    AlphaTableRemove(b);
    EXPECT_EQ(TableEntries(), (Entries{{a, 1}, {c, 3}}));
    AlphaTableRemove(a);
    EXPECT_EQ(TableEntries(), (Entries{{c, 3}}));
    AlphaTableRemove(d);
    AlphaTableRemove(nullptr);
    EXPECT_EQ(TableEntries(), (Entries{{c, 3}}));
    AlphaTableRemove(c);
    EXPECT_EQ(app.alphaTableHead, nullptr);
    // A window removed and recorded again goes to the tail.
    AlphaTableSet(a, 5);
    AlphaTableSet(b, 6);
    AlphaTableRemove(a);
    AlphaTableSet(a, 7);
    EXPECT_EQ(TableEntries(), (Entries{{b, 6}, {a, 7}}));
}

TEST_F(AlphaTable, FindAndGetAlphaAnswerTheRecordedAlphaOrMinusOne) {
    auto [a, b, c, d] = plain;
    AlphaTableSet(a, 0);
    AlphaTableSet(b, 255);
    AlphaTableSet(c, 128);
    BYTE alpha = 77;
    EXPECT_TRUE(AlphaTableFind(b, &alpha));
    EXPECT_EQ(alpha, 255);
    EXPECT_TRUE(AlphaTableFind(a, nullptr));
    alpha = 77;
    EXPECT_FALSE(AlphaTableFind(d, &alpha));
    EXPECT_EQ(alpha, 77) << "an unknown window leaves the place alone";

    EXPECT_EQ(Send(APPMSG_GETALPHA, a), 0) << "alpha 0 is an answer, not 'unknown'";
    EXPECT_EQ(Send(APPMSG_GETALPHA, b), 255) << "widened without sign";
    EXPECT_EQ(Send(APPMSG_GETALPHA, c), 128);
    EXPECT_EQ(Send(APPMSG_GETALPHA, d), -1);
    EXPECT_EQ(Send(APPMSG_GETALPHA, nullptr), -1);
    EXPECT_EQ(TableEntries().size(), 3u) << "queries change nothing";
}

TEST_F(AlphaTable, ForgetDropsTheWindowAndLeavesItTranslucent) {
    TargetTree target(100, 100, 300, 200);
    HWND window = target.Top();
    EXPECT_EQ(Send(APPMSG_SETALPHA, window, 100), 0);
    ASSERT_EQ(LayeredAlpha(window), 100);
    EXPECT_EQ(Send(APPMSG_FORGETWINDOW, window, 0x12345), 0);
    EXPECT_EQ(Send(APPMSG_GETALPHA, window), -1);
    EXPECT_EQ(LayeredAlpha(window), 100);

    TargetLog().clear();
    EXPECT_EQ(Send(APPMSG_SETALPHA, window, alphaRemoveRequest), 0);
    EXPECT_TRUE(TargetLog().empty()) << "a forgotten window's removal request is ignored";
    EXPECT_EQ(LayeredAlpha(window), 100);
    DestroyWindow(app.mainWindow);
    EXPECT_EQ(LayeredAlpha(window), 100) << "and the shutdown sweep does not restore it";
}

TEST_F(AlphaTable, ShutdownSweepRestoresEveryWindowInTableOrder) {
    TargetTree first(50, 50, 200, 150), second(300, 50, 200, 150), third(50, 300, 200, 150, true);
    EXPECT_EQ(Send(APPMSG_SETALPHA, second.Top(), 10), 0);
    EXPECT_EQ(Send(APPMSG_SETALPHA, first.Top(), 20), 0);
    EXPECT_EQ(Send(APPMSG_SETALPHA, third.Top(), 30), 0);
    EXPECT_EQ(Send(APPMSG_SETALPHA, second.Top(), 40), 0);
    ASSERT_EQ(TableEntries(), (Entries{{second.Top(), 40}, {first.Top(), 20}, {third.Top(), 30}}));
    for (TargetTree* tree : {&first, &second, &third}) ASSERT_TRUE(IsLayered(tree->Top()));

    TargetLog().clear();
    DestroyWindow(app.mainWindow);
    std::vector<HWND> restored;
    for (const TargetEvent& event : TargetLog())
        if (event.message != WM_PAINT && event.wParam == 0) restored.push_back(event.window);
    EXPECT_EQ(restored, (std::vector<HWND>{second.Top(), first.Top(), third.Top()}));
    for (TargetTree* tree : {&first, &second, &third}) EXPECT_FALSE(IsLayered(tree->Top()));
    EXPECT_EQ(app.alphaTableHead, nullptr);
    MSG quit;
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the quit message follows the sweep";
}

// Restoring a window lets other programs' requests in; one that forgets windows meanwhile must not break it.
TEST_F(AlphaTable, ShutdownSweepSurvivesWindowsForgottenWhileItRestores) {
    TargetTree first(50, 50, 200, 150), second(300, 50, 200, 150), third(50, 300, 200, 150);
    for (TargetTree* tree : {&first, &second, &third}) Send(APPMSG_SETALPHA, tree->Top(), 90);
    first.onStyle = [&](WPARAM layered) {
        if (layered) return;
        Send(APPMSG_FORGETWINDOW, first.Top());
        Send(APPMSG_FORGETWINDOW, third.Top());
    };
    TargetLog().clear();
    DestroyWindow(app.mainWindow);
    std::vector<HWND> restored;
    for (const TargetEvent& event : TargetLog())
        if (event.message != WM_PAINT && event.wParam == 0) restored.push_back(event.window);
    EXPECT_EQ(restored, (std::vector<HWND>{first.Top(), second.Top()}));
    EXPECT_TRUE(IsLayered(third.Top())) << "forgotten before its turn";
    EXPECT_EQ(app.alphaTableHead, nullptr);
}

TEST_F(AlphaTable, ShutdownSweepWithAnEmptyTableDoesNothing) {
    AlphaTableClear();
    EXPECT_EQ(app.alphaTableHead, nullptr);
    DestroyWindow(app.mainWindow);
    EXPECT_TRUE(TargetLog().empty());
    EXPECT_EQ(app.alphaTableHead, nullptr);
}

TEST_F(AlphaTable, EntryThatCannotBeAllocatedIsNotRecorded) {
    auto [a, b, c, d] = plain;
    AlphaTableSet(a, 1);
    refuseNothrowAllocations = true;
    AlphaTableSet(a, 9);
    AlphaTableSet(b, 5);
    refuseNothrowAllocations = false;
    EXPECT_EQ(TableEntries(), (Entries{{a, 9}})) << "a recorded window needs no allocation to change";
    EXPECT_EQ(AlphaTableQuery(b), -1);
    AlphaTableSet(b, 5);
    EXPECT_EQ(TableEntries(), (Entries{{a, 9}, {b, 5}}));

    // The window is still made translucent; only the record (and the curtain's request) is missing.
    TargetTree target(100, 100, 300, 200);
    refuseNothrowAllocations = true;
    EXPECT_EQ(Send(APPMSG_SETALPHA, target.Top(), 60), 0);
    refuseNothrowAllocations = false;
    EXPECT_EQ(LayeredAlpha(target.Top()), 60);
    EXPECT_EQ(Send(APPMSG_GETALPHA, target.Top()), -1);
    EXPECT_EQ(TableEntries().size(), 2u);
}
} // namespace
