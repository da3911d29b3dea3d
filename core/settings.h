#pragma once
// The settings as stored: the per-user key, its five values, and the one-value writes every layer makes.
#include <windows.h>

inline constexpr WCHAR settingsKey[] = L"Software\\Tarnwick Software\\Vitrea";
inline constexpr WCHAR skinValue[] = L"Skin";
inline constexpr WCHAR shortcutValue[] = L"Keyboard Shortcut";
inline constexpr WCHAR taskbarValue[] = L"Taskbar Transparency";
inline constexpr WCHAR taskbarAlphaValue[] = L"Taskbar Transparency Alpha";
inline constexpr WCHAR optionsValue[] = L"Options";

// "Skin" holds at most 256 bytes: 128 characters, plus room for the terminating NUL.
constexpr int skinNameCapacity = 128 + 1;
// The "Skin" value of the plain look.
inline constexpr WCHAR skinless[] = L"Skinless";

// The "Keyboard Shortcut" byte: on, the key set, and one bit each for the first and the second prefix key.
constexpr BYTE shortcutOnBit = 0x01;
constexpr BYTE functionKeysBit = 0x02; // F1-F12 when set, 0-9 when clear
constexpr BYTE secondShiftBit = 0x04, secondCtrlBit = 0x08, secondAltBit = 0x10;
constexpr BYTE firstShiftBit = 0x20, firstCtrlBit = 0x40, firstAltBit = 0x80;
constexpr BYTE secondKeyBits = secondShiftBit | secondCtrlBit | secondAltBit;
constexpr BYTE firstKeyBits = firstShiftBit | firstCtrlBit | firstAltBit;
constexpr BYTE keySetBits = shortcutOnBit | functionKeysBit; // what a change of prefix keys leaves alone

// The "Taskbar Transparency" byte: on, fade-in, and the fade's speed code in the top three bits.
constexpr BYTE taskbarOnBit = 0x01;
constexpr BYTE fadeInBit = 0x02;
constexpr BYTE fadeSpeedBits = 0xE0;
struct FadeSpeed {
    BYTE bits;
    LONG duration; // milliseconds
};
// Slowest first, as the codes count up; the taskbar menu's speed rows run the other way, fastest first.
constexpr FadeSpeed fadeSpeeds[] = {{0x00, 400}, {0x20, 300}, {0x40, 200}, {0x60, 150}, {0x80, 100}};
constexpr int fadeSpeedCount = sizeof fadeSpeeds / sizeof fadeSpeeds[0];
constexpr LONG FadeDurationOfRow(int fastestFirst) { return fadeSpeeds[fadeSpeedCount - 1 - fastestFirst].duration; }

// The "Options" byte.
constexpr BYTE optionStartMinimized = 0x01;
constexpr BYTE optionStartWithWindows = 0x02;
// APPMSG_SETTING settingOptions: the low byte names the option bits; any bit of the high byte sets them,
// none clears them. The program sends optionsSet.
constexpr LPARAM optionsSetByte = static_cast<LPARAM>(0xFF000000);
constexpr LPARAM optionsSet = 0x01000000;
static_assert((optionsSet & optionsSetByte) == optionsSet);

// Makes `name` the skin name and stores it as the "Skin" value, without a terminating NUL.
void StoreSkinName(const WCHAR* name);
// Persists one single-byte setting as REG_BINARY under the program's key.
void WriteSettingByte(const WCHAR* name, BYTE value);
