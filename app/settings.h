#pragma once
#include <windows.h>
#include "core/answer.h"
#include "core/protocol.h"
#include "core/settings.h"


// Reads every setting once (writing back defaults for missing values) and fills the controls.
void LoadSettings();
// The "Taskbar Transparency" byte from its three fields.
BYTE ComposeTaskbarByte(bool enabled, bool fadeIn, LONG fadeDuration);
// The fade duration a stored speed code stands for, or 0 for the codes that set none.
LONG FadeDurationFromByte(BYTE taskbarByte);

Answer OnSetting(HWND window, WPARAM code, LPARAM value);
