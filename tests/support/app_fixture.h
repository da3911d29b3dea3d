#pragma once
#include <gtest/gtest.h>
#include "app/main.h"
#include "app/settings.h"
#include "engine/layered.h"
#include "support/test_support.h"

// Builds the settings window inside the test process from a clean settings key (or from values a test
// stores first) and tears it down again, leaving no WM_QUIT behind.
class AppFixture : public ::testing::Test {
protected:
    void SetUp() override { DeleteSettingsKey(); }
    void TearDown() override {
        DestroySettingsWindow();
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {}
        app = {};
        DeleteSettingsKey();
    }
    void Start() {
        app = {};
        CreateSettingsWindow(GetModuleHandleW(nullptr));
        LoadSettings();
    }
    // The window plus what start-up looks up for the transparency engine, on a system that reports XP.
    void StartEngine() {
        Start();
        FindLayeredFunctions();
        app.isXP = true;
    }
    static LRESULT Setting(WPARAM code, LPARAM value) {
        return SendMessageW(app.mainWindow, APPMSG_SETTING, code, value);
    }
    // The stored byte, which must be there as a single binary byte.
    static BYTE StoredByte(const WCHAR* name) {
        int stored = ::StoredByte(name);
        EXPECT_NE(stored, -1) << "missing value, or not a single binary byte";
        return static_cast<BYTE>(stored < 0 ? 0 : stored);
    }
};
