// Skin libraries: resource-only modules with 20 bitmaps and a width record. They are read as data files, so
// no code of a library named in the registry ever runs here, and everything is checked before it is used.
#include "ui/skin.h"
#include <shlwapi.h>
#include "core/settings.h"
#include "ui/tray_icon.h"
#include "resources/resource_ids.h"

namespace {
constexpr UINT resizeFlags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
// Far beyond any image the window draws (the largest is 363 x 134), small enough that no header can make
// the system allocate absurd amounts for one image.
constexpr LONG largestImageSide = 2048;

SkinMetrics loadedMetrics;

// A library read as a data file is one view of its file. A file cut short still declares resources that
// lay past its new end: nothing outside the view is the library's, and reading there would fault.
struct ModuleView {
    const BYTE* begin;
    const BYTE* end;
};
ModuleView ViewOf(HMODULE module) {
    auto base = reinterpret_cast<const BYTE*>(reinterpret_cast<UINT_PTR>(module) & ~static_cast<UINT_PTR>(3));
    ModuleView view = {base, base};
    MEMORY_BASIC_INFORMATION region = {};
    while (VirtualQuery(view.end, &region, sizeof region) && region.AllocationBase == base &&
           region.State == MEM_COMMIT && !(region.Protect & (PAGE_NOACCESS | PAGE_GUARD)))
        view.end = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
    return view;
}

// Reads a resource only through the size the module declares for it, and only where the file has it.
struct ResourceBytes {
    const BYTE* data = nullptr;
    DWORD size = 0;
};
ResourceBytes FindBytes(HMODULE module, WORD id, const WCHAR* type) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (!found) return {};
    DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    const auto* data = static_cast<const BYTE*>(loaded ? LockResource(loaded) : nullptr);
    ModuleView view = ViewOf(module);
    if (!data || data < view.begin || data > view.end || size > static_cast<SIZE_T>(view.end - data)) return {};
    return {data, size};
}

// A data-file mapping answers resource look-ups for any PE file; only 32-bit x86 ones are skins.
bool IsI386Module(HMODULE module) {
    ModuleView view = ViewOf(module);
    SIZE_T available = static_cast<SIZE_T>(view.end - view.begin);
    IMAGE_DOS_HEADER dos;
    if (available < sizeof dos) return false;
    CopyMemory(&dos, view.begin, sizeof dos);
    IMAGE_NT_HEADERS32 headers;
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0 || available < sizeof headers ||
        static_cast<SIZE_T>(dos.e_lfanew) > available - sizeof headers)
        return false;
    CopyMemory(&headers, view.begin + dos.e_lfanew, sizeof headers);
    return headers.Signature == IMAGE_NT_SIGNATURE && headers.FileHeader.Machine == IMAGE_FILE_MACHINE_I386;
}

// Where the pixels of a bitmap resource start, when its header, colour table and pixels all lie inside the
// resource, so that making the image never makes the system read past its end; else 0.
DWORD PixelsOffset(const ResourceBytes& bytes) {
    BITMAPINFOHEADER header;
    if (!bytes.data || bytes.size < sizeof header) return 0;
    CopyMemory(&header, bytes.data, sizeof header);
    if (header.biSize < sizeof header || header.biSize > bytes.size || header.biPlanes != 1) return 0;
    LONGLONG width = header.biWidth, height = header.biHeight < 0 ? -LONGLONG{header.biHeight} : header.biHeight;
    if (width < 1 || width > largestImageSide || height < 1 || height > largestImageSide) return 0;
    int bits = header.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return 0;
    ULONGLONG colours = header.biClrUsed;
    if (bits <= 8 && (colours == 0 || colours > (1u << bits))) colours = 1u << bits;
    if (header.biCompression == BI_BITFIELDS && header.biSize == sizeof header) colours += 3;
    ULONGLONG pixels;
    if (header.biCompression == BI_RGB || header.biCompression == BI_BITFIELDS)
        pixels = static_cast<ULONGLONG>((width * bits + 31) / 32 * 4) * height;
    else if ((header.biCompression == BI_RLE8 && bits == 8) || (header.biCompression == BI_RLE4 && bits == 4))
        pixels = header.biSizeImage ? header.biSizeImage : ~0ull >> 1;
    else
        return 0;
    ULONGLONG offset = header.biSize + colours * sizeof(RGBQUAD);
    return offset + pixels <= bytes.size ? static_cast<DWORD>(offset) : 0;
}

// Images are DIB sections rather than bitmaps of the screen's own kind: the runtime answers each creation or
// selection of a screen bitmap with a round trip to the display, a tenth of a millisecond, where a DIB
// section costs a hundredth of that; painting one looks the same. This one holds a checked resource's pixels
// as 32-bit colour, converted once here instead of at every paint.
HBITMAP ImageFromPixels(HDC screen, const BITMAPINFO* info, const BYTE* pixels) {
    BITMAPINFO format = {};
    format.bmiHeader = {sizeof format.bmiHeader, info->bmiHeader.biWidth, info->bmiHeader.biHeight, 1, 32, BI_RGB,
                        0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP image = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    LONG lines = info->bmiHeader.biHeight < 0 ? -info->bmiHeader.biHeight : info->bmiHeader.biHeight;
    if (image && !SetDIBits(screen, image, 0, lines, pixels, info, DIB_RGB_COLORS)) {
        DeleteObject(image);
        image = nullptr;
    }
    return image;
}

// The bitmap every memory DC starts with: taking an image out of its DC selects this back.
HGDIOBJ EmptyBitmap() {
    HDC probe = CreateCompatibleDC(nullptr);
    HGDIOBJ empty = GetCurrentObject(probe, OBJ_BITMAP);
    DeleteDC(probe);
    return empty;
}

void ResizeCheckButtons(int shortcutWidth, int taskbarWidth) {
    SetWindowPos(app.shortcutButton, nullptr, 0, 0, shortcutWidth, shortcutButtonPlace.height, resizeFlags);
    SetWindowPos(app.taskbarButton, nullptr, 0, 0, taskbarWidth, taskbarButtonPlace.height, resizeFlags);
}

// Takes the skin's images out of their DCs and frees them and the library; the slots are left empty.
void ReleaseSkin() {
    HGDIOBJ empty = EmptyBitmap();
    for (int slot = 0; slot < imageSlotCount; ++slot) {
        SelectObject(app.imageDCs[slot], empty);
        if (app.imageBitmaps[slot]) DeleteObject(app.imageBitmaps[slot]);
        app.imageBitmaps[slot] = nullptr;
    }
    FreeLibrary(app.skinModule);
    app.skinModule = nullptr;
}

// The program's own options-button faces and the text-sized check buttons.
void EnterPlainLook() {
    for (WORD id : {WORD{IDB_OPTIONS}, WORD{IDB_OPTIONS_PRESSED}}) {
        int slot = ImageSlot(id);
        app.imageBitmaps[slot] = LoadOwnImage(id);
        SelectObject(app.imageDCs[slot], app.imageBitmaps[slot]);
    }
    ResizeCheckButtons(plainShortcutButton.cx, plainTaskbarButton.cx);
}

// A name that leads to no file: the loader says so in more than one way, by where the search stopped.
bool IsMissingFile(DWORD error) {
    return error == ERROR_MOD_NOT_FOUND || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The plain words for each fault, by its value; the one reader of refusals, the balloon, goes through it.
// %u is the image's id.
constexpr const WCHAR* faultWords[] = {
    L"",
    L"the file is missing",
    L"it is not a 32-bit Windows library",
    L"the record of widths is missing or too short",
    L"bitmap %u is missing or damaged",
};
static_assert(std::size(faultWords) == static_cast<size_t>(SkinFault::badBitmap) + 1);

// Refusals already told this run. Only the stored skin and the menu's two can be refused, so a few places
// are plenty; should more ever come, the oldest is forgotten and may be told again.
struct Refusal {
    WCHAR name[skinNameCapacity];
    SkinCheck check;
};
Refusal told[8];
int toldCount;

bool WasTold(const WCHAR* name, SkinCheck check) {
    for (int i = 0; i < toldCount && i < static_cast<int>(std::size(told)); ++i)
        if (told[i].check.fault == check.fault && told[i].check.bitmapId == check.bitmapId &&
            StrCmpW(told[i].name, name) == 0)
            return true;
    return false;
}

// Once a run for the same skin and fault: choosing a broken skin again is answered by the plain look alone.
void TellRefusal(const WCHAR* name, SkinCheck check) {
    if (WasTold(name, check)) return;
    Refusal& entry = told[toldCount++ % std::size(told)];
    lstrcpynW(entry.name, name, skinNameCapacity);
    entry.check = check;
    WCHAR reason[64], text[256];
    wnsprintfW(reason, 64, faultWords[static_cast<int>(check.fault)], check.bitmapId);
    wnsprintfW(text, 256, L"The skin \"%s\" cannot be used: %s.\r\nThe plain look is shown.", name, reason);
    ShowTrayBalloon(L"Skin not used", text);
}
} // namespace

HBITMAP LoadOwnImage(WORD id) {
    return static_cast<HBITMAP>(
        LoadImageW(app.instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

SkinCheck LoadSkin(const WCHAR* name) {
    HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return {IsMissingFile(GetLastError()) ? SkinFault::missing : SkinFault::notLibrary, 0};
    ResourceBytes record = FindBytes(module, skinMetricsId, MAKEINTRESOURCEW(10)); // RT_RCDATA
    SkinCheck check = {};
    if (!IsI386Module(module))
        check.fault = SkinFault::notLibrary;
    else if (record.size < sizeof(SkinMetrics))
        check.fault = SkinFault::badRecord;
    std::array<HBITMAP, imageSlotCount> images = {};
    // Colour images are made from the bytes already checked, with one screen DC for all of them; one-bit
    // images may come out monochrome from LoadBitmap, so it still makes those.
    HDC screen = GetDC(nullptr);
    for (int slot = 0; check && slot < imageSlotCount; ++slot) {
        WORD id = imageSlotIds[slot];
        ResourceBytes bytes = FindBytes(module, id, MAKEINTRESOURCEW(2)); // RT_BITMAP
        DWORD pixels = PixelsOffset(bytes);
        const auto* info = reinterpret_cast<const BITMAPINFO*>(bytes.data);
        if (pixels && info->bmiHeader.biBitCount == 1)
            images[slot] = LoadBitmapW(module, MAKEINTRESOURCEW(id));
        else if (pixels)
            images[slot] = ImageFromPixels(screen, info, bytes.data + pixels);
        if (!images[slot]) check = {SkinFault::badBitmap, id};
    }
    ReleaseDC(nullptr, screen);
    if (!check) {
        for (HBITMAP image : images)
            if (image) DeleteObject(image);
        FreeLibrary(module);
        return check;
    }
    for (int slot = 0; slot < imageSlotCount; ++slot) {
        SelectObject(app.imageDCs[slot], images[slot]);
        // Only the program's own faces can be here; they are loaded again when the plain look returns.
        if (app.imageBitmaps[slot]) DeleteObject(app.imageBitmaps[slot]);
        app.imageBitmaps[slot] = images[slot];
    }
    // Called while another skin is loaded, its images went with the loop above; its library goes here.
    if (app.skinModule) FreeLibrary(app.skinModule);
    loadedMetrics = {};
    CopyMemory(&loadedMetrics, record.data, sizeof loadedMetrics);
    app.skinMetrics = &loadedMetrics;
    ResizeCheckButtons(MetricWidth(loadedMetrics.shortcutLabelWidth) + 15,
                       MetricWidth(loadedMetrics.taskbarLabelWidth) + 15);
    app.skinModule = module;
    return check;
}

bool LoadNamedSkin() {
    SkinCheck check = LoadSkin(app.skinName);
    if (check) return true;
    TellRefusal(app.skinName, check);
    StoreSkinName(skinless);
    return false;
}

void UnloadSkin() {
    if (!app.skinModule) return;
    ReleaseSkin();
    EnterPlainLook();
}

void RefreshWindowLook() {
    // Passing the focus through the trackbar makes it rebuild its look; a disabled one cannot take it. It goes
    // first, so that the one repaint below draws the trackbar too, instead of a second after it.
    EnableWindow(app.alphaSlider, TRUE);
    SetFocus(app.alphaSlider);
    SetFocus(app.mainWindow);
    if (!app.taskbarEnabled) EnableWindow(app.alphaSlider, FALSE);
    RedrawWindow(app.mainWindow, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void SwitchSkin(const WCHAR* name) {
    StoreSkinName(name);
    bool wasSkinned = app.skinModule != nullptr;
    if (wasSkinned) ReleaseSkin();
    bool wantsSkin = StrCmpW(app.skinName, skinless) != 0;
    // A skin that cannot be used is forgotten, exactly as at start-up, rather than left half-applied.
    if ((!wantsSkin || !LoadNamedSkin()) && wasSkinned) EnterPlainLook();
    RefreshWindowLook();
}
