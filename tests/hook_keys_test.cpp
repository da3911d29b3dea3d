// What the hook library makes of a key: prefix pairs, level keys of both key sets, the other chord keys and
// the fine-tune steps, each against values worked out independently here.
#include <gtest/gtest.h>
#include <cmath>
#include "hook/keys.h"

namespace {
using keys::Action;

int Percent(int n, int of) { return static_cast<int>(std::lround(255.0 * n / of)); }

TEST(HookKeys, PrefixPairsFromTheShortcutByte) {
    struct Case {
        BYTE shortcut;
        BYTE mask;
    };
    const Case cases[] = {
        {0x45, keys::ctrl | keys::shift}, {0x89, keys::alt | keys::ctrl}, {0x31, keys::shift | keys::alt},
        {0x51, keys::ctrl | keys::alt},   {0x85, keys::alt | keys::shift}, {0x29, keys::shift | keys::ctrl},
        {0x47, keys::ctrl | keys::shift}, // the low bits name no key
        {0x91, 0}, {0x49, 0}, {0x25, 0},  // the same key twice
        {0x40, 0}, {0x04, 0}, {0x00, 0},  // one key or none
    };
    for (const Case& c : cases) EXPECT_EQ(keys::PrefixMask(c.shortcut), c.mask) << std::hex << int(c.shortcut);
}

TEST(HookKeys, LevelKeysOfBothKeySets) {
    for (int n = 0; n <= 9; ++n) {
        int expected = n == 0 ? 255 : Percent(n, 10);
        const std::pair<DWORD, bool> sources[] = {{DWORD('0' + n), false},
                                                  {DWORD(VK_NUMPAD0 + n), false},
                                                  {keys::keypadWithoutNumLock[n], false}};
        for (auto [vk, extended] : sources) {
            SCOPED_TRACE(testing::Message() << "digit " << n << " vk 0x" << std::hex << vk);
            keys::Chord chord = keys::ChordOf(vk, extended, false);
            EXPECT_EQ(chord.action, Action::level);
            EXPECT_EQ(chord.alpha, expected);
            EXPECT_EQ(keys::ChordOf(vk, extended, true).action, Action::none) << "digits in the F-key set";
        }
    }
    for (int n = 1; n <= 12; ++n) {
        keys::Chord chord = keys::ChordOf(VK_F1 + n - 1, false, true);
        EXPECT_EQ(chord.action, Action::level) << "F" << n;
        EXPECT_EQ(chord.alpha, Percent(n, 12)) << "F" << n;
        EXPECT_EQ(keys::ChordOf(VK_F1 + n - 1, false, false).action, Action::none) << "F" << n;
    }
}

TEST(HookKeys, OtherChordKeysAndKeysLeftAlone) {
    struct Case {
        DWORD vk;
        bool extended;
        Action action;
    };
    const Case cases[] = {
        {VK_OEM_PLUS, false, Action::raise}, {VK_ADD, false, Action::raise},
        {VK_OEM_MINUS, false, Action::lower}, {VK_SUBTRACT, false, Action::lower},
        {VK_OEM_3, false, Action::remove},   {VK_BACK, false, Action::remove},
        {VK_RETURN, false, Action::remove},  {VK_RETURN, true, Action::remove}, // keypad Enter
        {VK_TAB, false, Action::topmost},    {VK_SPACE, false, Action::topmost},
        {VK_DECIMAL, false, Action::topmost}, {VK_DELETE, false, Action::topmost}, // keypad, Num Lock off
        // The arrow block and its neighbours stay the program's: Ctrl + Shift + arrow selects text.
        {VK_DELETE, true, Action::none}, {VK_LEFT, true, Action::none}, {VK_HOME, true, Action::none},
        {VK_PRIOR, true, Action::none},  {VK_INSERT, true, Action::none},
        {'A', false, Action::none},      {VK_ESCAPE, false, Action::none},
    };
    for (const Case& c : cases)
        for (bool functionKeys : {false, true})
            EXPECT_EQ(keys::ChordOf(c.vk, c.extended, functionKeys).action, c.action)
                << std::hex << "vk 0x" << c.vk << " extended " << c.extended;
}

TEST(HookKeys, FineTuneStaysBetweenTheFloorAndOpaque) {
    struct Case {
        int recorded; // -1: not recorded
        bool raise;
        int alpha;
    };
    const Case cases[] = {
        {-1, true, 255}, {-1, false, 239}, {128, true, 144}, {128, false, 112}, {250, true, 255},
        {255, true, 255}, {40, false, 26}, {42, false, 26}, {26, false, 26}, {21, false, 21}, {21, true, 37},
    };
    for (const Case& c : cases)
        EXPECT_EQ(keys::FineTuned(c.recorded, c.raise), c.alpha) << c.recorded << (c.raise ? " +" : " -");
}

// Fine-grained wheels send parts of a notch; a turn the other way starts afresh.
TEST(HookKeys, WheelNotchesCarryThePartOfANotchInOneDirection) {
    // The rest carried in and the event's delta, then the whole notches and the rest carried on.
    const int cases[][4] = {{0, 120, 1, 0},      {0, -360, -3, 0},  {0, 40, 0, 40},   {40, 80, 1, 0},
                            {100, 50, 1, 30},    {-100, -60, -1, -40}, {40, -40, 0, -40}, {-20, 120, 1, 0},
                            {110, -130, -1, -10}};
    for (const auto& c : cases) {
        keys::Notches notches = keys::WheelNotches(c[0], c[1]);
        EXPECT_TRUE(notches.whole == c[2] && notches.rest == c[3]) << c[0] << " then " << c[1];
    }
}

} // namespace
