// The settings store: defaults on first run, decoding of stored bytes, and APPMSG_SETTING persistence.
#include "support/app_fixture.h"
#include <commctrl.h>
#include "support/skin_files.h"
#include "ui/skin.h"

namespace {
using Items = std::vector<std::wstring>;

int SliderPos(HWND slider) { return static_cast<int>(SendMessageW(slider, TBM_GETPOS, 0, 0)); }
std::wstring SkinValueText() {
    RegValue value = ReadValue(L"Skin");
    return std::wstring(reinterpret_cast<const WCHAR*>(value.data.data()), value.data.size() / 2);
}

using SettingsStore = AppFixture;

TEST_F(SettingsStore, FirstRunWritesEveryDefaultWithItsTypeAndSize) {
    Start();
    RegValue skin = ReadValue(L"Skin");
    ASSERT_TRUE(skin.present);
    EXPECT_EQ(skin.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(skin.data.size(), 16u) << "no terminating NUL is stored";
    EXPECT_EQ(SkinValueText(), L"Skinless");
    EXPECT_EQ(StoredByte(L"Keyboard Shortcut"), 0x45);
    EXPECT_EQ(StoredByte(L"Taskbar Transparency"), 0x22);
    EXPECT_EQ(StoredByte(L"Taskbar Transparency Alpha"), 0x90);
    EXPECT_EQ(StoredByte(L"Options"), 0);

    EXPECT_STREQ(app.skinName, L"Skinless");
    EXPECT_TRUE(app.shortcutEnabled);
    EXPECT_FALSE(app.taskbarEnabled);
    EXPECT_TRUE(app.fadeInEnabled);
    EXPECT_EQ(app.fadeDuration, 300);
    EXPECT_EQ(app.taskbarAlpha, 144);

    EXPECT_EQ(ComboItems(app.firstKeyCombo), (Items{L"Alt", L"Ctrl", L"Shift"}));
    EXPECT_EQ(Selection(app.firstKeyCombo), 1);
    EXPECT_EQ(ComboItems(app.secondKeyCombo), (Items{L"Alt", L"Shift"}));
    EXPECT_EQ(Selection(app.secondKeyCombo), 1);
    EXPECT_EQ(ComboItems(app.keySetCombo), (Items{L"0-9", L"F1-F12"}));
    EXPECT_EQ(Selection(app.keySetCombo), 0);
    EXPECT_FALSE(IsWindowEnabled(app.alphaSlider));
    EXPECT_EQ(SliderPos(app.alphaSlider), 111);
    EXPECT_TRUE(IsWindowEnabled(app.firstKeyCombo));
}

TEST_F(SettingsStore, ShortcutByteDecodesIntoTheComboBoxes) {
    struct Case {
        BYTE stored;
        bool enabled;
        int first;
        Items second;
        int secondSelection;
        int keySet;
    };
    const Case cases[] = {
        {0x00, false, -1, {}, -1, 0},                    // nothing chosen: second box stays empty
        {0x91, true, 0, {L"Ctrl", L"Shift"}, 0, 0},      // Alt + Alt shows Ctrl as the second key
        {0x85, true, 0, {L"Ctrl", L"Shift"}, 1, 0},      // Alt + Shift
        {0x31, true, 2, {L"Alt", L"Ctrl"}, 0, 0},        // Shift + Alt
        {0x2B, true, 2, {L"Alt", L"Ctrl"}, 1, 1},        // Shift + Ctrl, F1-F12
        {0x53, true, 1, {L"Alt", L"Shift"}, 0, 1},       // Ctrl + Alt, F1-F12
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "stored 0x" << std::hex << int(c.stored));
        WriteByteValue(L"Keyboard Shortcut", c.stored);
        Start();
        EXPECT_EQ(app.shortcutByte, c.stored);
        EXPECT_EQ(app.shortcutEnabled, c.enabled);
        for (HWND combo : {app.firstKeyCombo, app.secondKeyCombo, app.keySetCombo})
            EXPECT_EQ(IsWindowEnabled(combo) != FALSE, c.enabled);
        EXPECT_EQ(Selection(app.firstKeyCombo), c.first);
        EXPECT_EQ(ComboItems(app.secondKeyCombo), c.second);
        EXPECT_EQ(Selection(app.secondKeyCombo), c.secondSelection);
        EXPECT_EQ(Selection(app.keySetCombo), c.keySet);
        EXPECT_EQ(StoredByte(L"Keyboard Shortcut"), c.stored) << "a present value is not rewritten";
        TearDown();
    }
}

TEST_F(SettingsStore, TaskbarByteDecodesSwitchesAndSpeed) {
    struct Case {
        BYTE stored;
        bool enabled;
        bool fadeIn;
        LONG duration;
    };
    const Case cases[] = {
        {0xA3, true, true, 0},  {0x80, false, false, 100}, {0x61, true, false, 150},
        {0x42, false, true, 200}, {0x3F, true, true, 300}, {0x00, false, false, 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "stored 0x" << std::hex << int(c.stored));
        WriteByteValue(L"Taskbar Transparency", c.stored);
        Start();
        EXPECT_EQ(app.taskbarEnabled, c.enabled);
        EXPECT_EQ(app.fadeInEnabled, c.fadeIn);
        EXPECT_EQ(app.fadeDuration, c.duration);
        EXPECT_EQ(IsWindowEnabled(app.alphaSlider) != FALSE, c.enabled);
        TearDown();
    }
}

TEST_F(SettingsStore, UnreadableBytesCountAsMissingAndGetTheirDefault) {
    const BYTE twoBytes[] = {0x10, 0x20};
    WriteValue(L"Taskbar Transparency Alpha", REG_BINARY, twoBytes, 2);
    WriteValue(L"Options", REG_BINARY, twoBytes, 0);
    DWORD dword = 0x45;
    WriteValue(L"Keyboard Shortcut", REG_DWORD, &dword, 4);
    WriteByteValue(L"Taskbar Transparency", 0x01);
    Start();
    EXPECT_EQ(app.taskbarAlpha, 144);
    EXPECT_EQ(StoredByte(L"Taskbar Transparency Alpha"), 144);
    EXPECT_EQ(StoredByte(L"Options"), 0);
    EXPECT_EQ(StoredByte(L"Keyboard Shortcut"), 0x45);
    EXPECT_EQ(SliderPos(app.alphaSlider), 111);
    EXPECT_TRUE(IsWindowEnabled(app.alphaSlider));
}

TEST_F(SettingsStore, StoredAlphaAndOptionsAreKept) {
    WriteByteValue(L"Taskbar Transparency Alpha", 1);
    WriteByteValue(L"Options", 0xF2);
    Start();
    EXPECT_EQ(app.taskbarAlpha, 1);
    EXPECT_EQ(SliderPos(app.alphaSlider), 254);
    EXPECT_EQ(app.options, 0xF2);
    EXPECT_EQ(StoredByte(L"Options"), 0xF2);
}

// The name ends after the bytes read and is always terminated, whatever arrives in the registry. Each name
// read is a skin library in the current folder, so a name that was read whole is kept.
TEST_F(SettingsStore, SkinValuesOfAnyShapeLeaveATerminatedName) {
    std::wstring folder = ScratchFolder();
    WCHAR previousFolder[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previousFolder);
    SetCurrentDirectoryW(folder.c_str());
    std::wstring name128(128, L'k');
    for (const std::wstring& name : {name128, std::wstring(L"Pew"), std::wstring(L"AB"), std::wstring(L"Eddy")})
        ASSERT_TRUE(CopySkin(folder + L"\\" + name + L".dll"));
    auto clear = [&] {
        UnloadSkin();
        TearDown();
    };

    WriteValue(L"Skin", REG_SZ, name128.data(), 256);
    Start();
    EXPECT_EQ(std::wstring(app.skinName), name128);
    EXPECT_NE(app.skinModule, nullptr);

    clear();
    std::wstring long500(500, L'x');
    WriteValue(L"Skin", REG_SZ, long500.data(), 1000);
    Start();
    EXPECT_STREQ(app.skinName, L"Skinless") << "an over-long value cannot be read and is replaced";
    EXPECT_EQ(SkinValueText(), L"Skinless");

    clear();
    const char odd[] = "P\0e\0w\0t";
    WriteValue(L"Skin", REG_SZ, odd, 7);
    Start();
    EXPECT_STREQ(app.skinName, L"Pew") << "a half character at the end is dropped";

    clear();
    DWORD number = 0x00420041;
    WriteValue(L"Skin", REG_DWORD, &number, 4);
    Start();
    EXPECT_STREQ(app.skinName, L"AB");

    clear();
    WCHAR withNul[] = L"Eddy";
    WriteValue(L"Skin", REG_SZ, withNul, sizeof withNul);
    Start();
    EXPECT_STREQ(app.skinName, L"Eddy");
    EXPECT_NE(app.skinModule, nullptr);
    UnloadSkin();
    SetCurrentDirectoryW(previousFolder);
}

TEST_F(SettingsStore, EverySettingCodeStoresAndPersistsAtOnce) {
    Start();
    EXPECT_EQ(Setting(settingShortcutOn, 0), 0);
    EXPECT_FALSE(app.shortcutEnabled);
    EXPECT_EQ(StoredByte(L"Keyboard Shortcut"), 0x44);
    EXPECT_FALSE(IsWindowEnabled(app.keySetCombo));
    Setting(settingShortcutOn, 7);
    EXPECT_EQ(StoredByte(L"Keyboard Shortcut"), 0x45);
    EXPECT_TRUE(IsWindowEnabled(app.firstKeyCombo));

    Setting(settingShortcutByte, 0x1234589);
    EXPECT_EQ(app.shortcutByte, 0x89);
    EXPECT_EQ(StoredByte(L"Keyboard Shortcut"), 0x89);
    EXPECT_EQ(Selection(app.firstKeyCombo), 1) << "code 3 does not refill the combo boxes";

    Setting(settingTaskbarAlpha, 0x1FF);
    EXPECT_EQ(app.taskbarAlpha, 255);
    EXPECT_EQ(StoredByte(L"Taskbar Transparency Alpha"), 255);
    EXPECT_EQ(SliderPos(app.alphaSlider), 0);

    Setting(settingFadeIn, 0);
    EXPECT_EQ(StoredByte(L"Taskbar Transparency"), 0x20);
    Setting(settingFadeDuration, 100);
    EXPECT_EQ(StoredByte(L"Taskbar Transparency"), 0x80);
    Setting(settingFadeDuration, 250);
    EXPECT_EQ(app.fadeDuration, 250);
    EXPECT_EQ(StoredByte(L"Taskbar Transparency"), 0x00) << "an unknown duration is stored as 400 ms";
    Setting(settingFadeIn, 1);
    Setting(settingFadeDuration, 150);
    EXPECT_EQ(StoredByte(L"Taskbar Transparency"), 0x62);

    Setting(settingTaskbarOn, 1);
    EXPECT_TRUE(app.taskbarEnabled);
    EXPECT_TRUE(IsWindowEnabled(app.alphaSlider));
    EXPECT_EQ(StoredByte(L"Taskbar Transparency"), 0x63);
    Setting(settingTaskbarOn, 0);
    EXPECT_FALSE(IsWindowEnabled(app.alphaSlider));
    EXPECT_EQ(StoredByte(L"Taskbar Transparency"), 0x62);

    Setting(settingOptions, 0x01000002);
    EXPECT_EQ(StoredByte(L"Options"), 0x02);
    Setting(settingOptions, 0x01000001);
    EXPECT_EQ(StoredByte(L"Options"), 0x03);
    Setting(settingOptions, 0x00000002);
    EXPECT_EQ(StoredByte(L"Options"), 0x01);
    Setting(settingOptions, 0x00000001);
    EXPECT_EQ(app.options, 0);
    EXPECT_EQ(StoredByte(L"Options"), 0x00);

    EXPECT_EQ(Setting(5, 1), 0);
    EXPECT_EQ(Setting(0, 1), 0);
}

TEST_F(SettingsStore, OptionsCodeLeavesOtherBitsAlone) {
    WriteByteValue(L"Options", 0xA1);
    Start();
    Setting(settingOptions, 0x01000002);
    EXPECT_EQ(StoredByte(L"Options"), 0xA3);
    Setting(settingOptions, 0x00000001);
    EXPECT_EQ(StoredByte(L"Options"), 0xA2);
}
} // namespace
