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

constexpr BYTE optionStartMinimized = 0x01;
constexpr BYTE optionStartWithWindows = 0x02;

// Makes `name` the skin name and stores it as the "Skin" value, without a terminating NUL.
void StoreSkinName(const WCHAR* name);
// Persists one single-byte setting as REG_BINARY under the program's key.
void WriteSettingByte(const WCHAR* name, BYTE value);
