// The shipped Vitrea.exe's face read back from the screen, in the plain look and in a skin, and its
// owner-drawn buttons while the mouse button is held on them.
#include <gtest/gtest.h>
#include <vector>
#include "support/e2e_support.h"

namespace {
constexpr COLORREF frameGrey = 0x848484, white = 0xFFFFFF, black = 0, textGrey = 0x808080;

// Pixels of a rectangle of a DC as 0x00BBGGRR values, row by row.
std::vector<COLORREF> Pixels(HDC from, int x, int y, int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(from);
    HBITMAP dib = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, width, height, from, x, y, SRCCOPY);
    GdiFlush();
    std::vector<COLORREF> out(static_cast<size_t>(width) * height);
    const auto* quads = static_cast<const RGBQUAD*>(bits);
    for (size_t i = 0; i < out.size(); ++i) out[i] = RGB(quads[i].rgbRed, quads[i].rgbGreen, quads[i].rgbBlue);
    SelectObject(memory, old);
    DeleteObject(dib);
    DeleteDC(memory);
    return out;
}

// What the window shows at client coordinates, read from the screen.
std::vector<COLORREF> OnScreen(HWND window, int x, int y, int width, int height) {
    POINT at = {x, y};
    ClientToScreen(window, &at);
    HDC screen = GetDC(nullptr);
    std::vector<COLORREF> pixels = Pixels(screen, at.x, at.y, width, height);
    ReleaseDC(nullptr, screen);
    return pixels;
}
COLORREF PixelAt(HWND window, int x, int y) { return OnScreen(window, x, y, 1, 1)[0]; }

int Count(const std::vector<COLORREF>& pixels, COLORREF colour) {
    int n = 0;
    for (COLORREF c : pixels) n += c == colour;
    return n;
}

// One image of a skin library, as the program would load it.
struct SkinImage {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;
};
SkinImage LoadSkinImage(const std::wstring& library, WORD id) {
    SkinImage image;
    HMODULE module = LoadLibraryExW(library.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HBITMAP bitmap = module ? LoadBitmapW(module, MAKEINTRESOURCEW(id)) : nullptr;
    if (bitmap) {
        BITMAP size = {};
        GetObjectW(bitmap, sizeof size, &size);
        HDC memory = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(memory, bitmap);
        image = {size.bmWidth, size.bmHeight, Pixels(memory, 0, 0, size.bmWidth, size.bmHeight)};
        SelectObject(memory, old);
        DeleteDC(memory);
        DeleteObject(bitmap);
    }
    if (module) FreeLibrary(module);
    return image;
}

// Whether the screen shows the image (or its top-left width x height part) at client point (x, y).
bool Shows(HWND window, const SkinImage& image, int x, int y, int width = 0, int height = 0) {
    if (!width) width = image.width, height = image.height;
    std::vector<COLORREF> seen = OnScreen(window, x, y, width, height);
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column)
            if (seen[row * width + column] != image.pixels[row * image.width + column]) return false;
    return !image.pixels.empty();
}

// The left end of the place where the trackbar row shows the thumb image, or -1.
int ThumbShownAt(HWND slider, const SkinImage& thumb) {
    RECT client;
    GetClientRect(slider, &client);
    for (int top = 0; top + thumb.height <= client.bottom; ++top)
        for (int left = 0; left + thumb.width <= client.right; ++left)
            if (PixelAt(slider, left, top + 9) == thumb.pixels[9 * thumb.width] && Shows(slider, thumb, left, top))
                return left;
    return -1;
}

void Mouse(HWND window, POINT client, const std::wstring& action) {
    ClientToScreen(window, &client);
    Xdotool(L"mousemove " + std::to_wstring(client.x) + L" " + std::to_wstring(client.y) + L" " + action);
}

class Painting : public ::testing::Test {
  protected:
    void SetUp() override { EndAllVitreas(); }
    void TearDown() override {
        Xdotool(L"mouseup 1");
        EndAllVitreas();
    }
    // A member, so that TearDown closes the program (which gives the taskbar back) before it is ended.
    Process vitrea;
    HWND Start(Process& process) {
        EXPECT_TRUE(process.Start(Built().vitreaExe, L"", FolderOf(Built().vitreaExe)));
        HWND window = FindVitreaWindow(process);
        EXPECT_NE(window, nullptr) << "no settings window appeared";
        if (window)
            EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(window) && GetForegroundWindow() == window; }));
        return window;
    }
    static std::wstring Skin(const WCHAR* name) { return FolderOf(Built().vitreaExe) + L"\\" + name + L".dll"; }
};

// Plain look with both features off: etched frames, plus signs, gaps and engraved captions; switching the
// shortcut on leaves a black caption without a white ghost of the engraving.
TEST_F(Painting, PlainFaceIsDrawnAtItsPlacesAndCaptionsFollowTheSwitches) {
    WriteByteValue(L"Keyboard Shortcut", 0x44);
    WriteByteValue(L"Taskbar Transparency", 0x22);
    HWND window = Start(vitrea);
    ASSERT_TRUE(window);
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    struct Point {
        int x, y;
        COLORREF colour;
    };
    const Point points[] = {
        {0, 6, frameGrey},   {272, 20, frameGrey}, {0, 70, frameGrey},  {361, 70, frameGrey}, {200, 132, frameGrey},
        {1, 20, white},      {150, 7, white},       {273, 20, white},    {150, 47, white},     {362, 70, white},
        {200, 85, white},    {200, 93, white},     {362, 110, white},   {200, 133, white},    {92, 24, black},
        {92, 32, black},     {88, 28, black},      {96, 28, black},     {182, 28, black},     {178, 28, black},
        {99, 6, face},       {99, 7, face},        {40, 54, face},      {40, 55, face},       {116, 92, face},
        {116, 93, face},     {101, 6, frameGrey},  {48, 54, frameGrey}, {118, 92, frameGrey},
    };
    // The window may be repainting while the screen is read, so each look is waited for.
    for (const Point& p : points)
        EXPECT_TRUE(WaitFor([&] { return PixelAt(window, p.x, p.y) == p.colour; }, 3000))
            << "at " << p.x << "," << p.y << std::hex << ": 0x" << PixelAt(window, p.x, p.y);

    // Each caption within its gap in the frame, where nothing else is white.
    auto caption = [&](int y) { return OnScreen(window, 9, y, y == 1 ? 91 : 108, 14); };
    auto engraved = [&](int y) {
        std::vector<COLORREF> seen = caption(y);
        return Count(seen, white) > 10 && Count(seen, textGrey) > 10 && Count(seen, black) == 0;
    };
    auto optionsBlack = [&] { return Count(OnScreen(window, 9, 49, 45, 14), black) > 10; };
    EXPECT_TRUE(WaitFor([&] { return engraved(1) && engraved(86); })) << "both captions engraved";
    EXPECT_TRUE(WaitFor(optionsBlack)) << "Options is black";

    // Black with no white ghost of the engraving and no grey left.
    auto black = [&](int y) {
        std::vector<COLORREF> seen = caption(y);
        return Count(seen, ::black) > 10 && Count(seen, white) == 0 && Count(seen, textGrey) == 0;
    };
    SendMessageW(window, APPMSG_SETTING, settingShortcutOn, 1);
    EXPECT_TRUE(WaitFor([&] { return black(1); })) << "Keyboard Shortcut switched on";
    SendMessageW(window, APPMSG_SETTING, settingTaskbarOn, 1);
    EXPECT_TRUE(WaitFor([&] { return black(86); })) << "Taskbar Transparency switched on";
    EXPECT_TRUE(WaitFor(optionsBlack)) << "Options stays black";
}

// A skin's face is its own images at their places; the thumb and the caption follow the taskbar switch;
// the check box is pushed and the options button shows image 102 only while the mouse button is held.
TEST_F(Painting, SkinnedFaceShowsTheSkinsImagesAndHeldButtons) {
    std::wstring library = Skin(L"EddyMini");
    WriteValue(L"Skin", REG_SZ, L"EddyMini", 16);
    WriteByteValue(L"Taskbar Transparency", 0x22);
    auto image = [&](WORD id) { return LoadSkinImage(library, id); };
    SkinImage background = image(103), plusLeft = image(111), plusRight = image(112), shortcutOn = image(120),
              options = image(122), taskbarOff = image(129), taskbarOn = image(128), thumbOn = image(140),
              thumbOff = image(142), label = image(153), face = image(101), held = image(102);
    ASSERT_EQ(background.width, 363) << "the built skin could not be read";
    HWND window = Start(vitrea);
    ASSERT_TRUE(window);
    std::vector<HWND> children = Children(window);
    ASSERT_EQ(children.size(), 7u);
    HWND shortcutButton = children[3], slider = children[5], optionsButton = children[6];

    ASSERT_TRUE(WaitFor([&] { return Shows(window, plusLeft, 85, 18); })) << "the skinned face never appeared";
    struct Placed {
        const char* what;
        const SkinImage& image;
        int x, y;
    };
    const Placed placed[] = {{"joiner 112", plusRight, 175, 18},  {"caption 120", shortcutOn, 6, 1},
                             {"caption 122", options, 6, 49},     {"caption 129", taskbarOff, 6, 87},
                             {"options face 101", face, 277, 4}, {"label 153", label, 20, 66}};
    // The buttons paint after the window's face.
    for (const Placed& p : placed) EXPECT_TRUE(WaitFor([&] { return Shows(window, p.image, p.x, p.y); })) << p.what;
    for (POINT at : {POINT{3, 30}, POINT{150, 60}, POINT{340, 75}, POINT{200, 43}})
        EXPECT_TRUE(WaitFor([&] { return PixelAt(window, at.x, at.y) == background.pixels[at.y * 363 + at.x]; }))
            << "background 103 at " << at.x << "," << at.y;
    EXPECT_TRUE(WaitFor([&] { return PixelAt(window, 0, 6) == frameGrey; })) << "frames over the background";
    EXPECT_TRUE(WaitFor([&] { return ThumbShownAt(slider, thumbOff) >= 0; })) << "thumb 142 while off";

    SendMessageW(window, APPMSG_SETTING, settingTaskbarOn, 1);
    EXPECT_TRUE(WaitFor([&] { return Shows(window, taskbarOn, 6, 87); })) << "caption 128";
    EXPECT_TRUE(WaitFor([&] { return ThumbShownAt(slider, thumbOn) >= 0; })) << "thumb 140";

    // Held and released on the shortcut button: pushed (no white inside the box) only while held.
    auto boxInside = [&] { return OnScreen(shortcutButton, 4, 4, 7, 7); };
    Mouse(shortcutButton, {7, 7}, L"mousedown 1");
    EXPECT_TRUE(WaitFor([&] { return Count(boxInside(), white) == 0; })) << "the box is drawn pushed";
    Xdotool(L"mouseup 1");
    EXPECT_TRUE(WaitFor([&] { return Count(boxInside(), white) > 10; })) << "and unpushed after the release";

    Mouse(optionsButton, {42, 23}, L"mousedown 1");
    // Only the rows above the pointer: the button's tooltip may come up below it.
    EXPECT_TRUE(WaitFor([&] { return Shows(window, held, 277, 4, 84, 16); })) << "image 102 while held";
    Mouse(window, {150, 60}, L"");
    Xdotool(L"mouseup 1"); // released away from the button: no command
    EXPECT_TRUE(WaitFor([&] { return Shows(window, face, 277, 4, 84, 16); })) << "image 101 again";
}
} // namespace
