#include "core/settings.h"
#include <shlwapi.h>
#include "core/app_state.h"

void WriteSettingByte(const WCHAR* name, BYTE value) {
    SHRegSetUSValueW(settingsKey, name, REG_BINARY, &value, 1, SHREGSET_FORCE_HKCU);
}

void StoreSkinName(const WCHAR* name) {
    lstrcpynW(app.skinName, name, skinNameCapacity);
    // The registry stretches a REG_SZ count over a NUL that follows the data; a non-NUL sentinel after the
    // characters keeps the stored name at exactly twice its length in bytes.
    WCHAR data[skinNameCapacity];
    int characters = lstrlenW(app.skinName);
    CopyMemory(data, app.skinName, characters * sizeof(WCHAR));
    data[characters] = 0xFFFF;
    SHRegSetUSValueW(settingsKey, skinValue, REG_SZ, data, characters * sizeof(WCHAR), SHREGSET_FORCE_HKCU);
}
