// Skin libraries read as data: the start-up choice, refusal of anything that is not a whole skin, the check
// buttons sized by the skin's widths, and the release of everything a skin held when the look changes.
#include "support/app_fixture.h"
#include <shlwapi.h>
#include "support/skin_files.h"
#include "ui/skin.h"

namespace {
SIZE SizeOf(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return {r.right - r.left, r.bottom - r.top};
}
bool Sized(HWND window, SIZE size) {
    SIZE now = SizeOf(window);
    return now.cx == size.cx && now.cy == size.cy;
}
std::wstring StoredSkin() {
    RegValue value = ReadValue(L"Skin");
    return std::wstring(reinterpret_cast<const WCHAR*>(value.data.data()), value.data.size() / 2);
}
// Mapped file views of this process; a library read as data is one of them.
int MappedViews() {
    int views = 0;
    MEMORY_BASIC_INFORMATION region = {};
    void* last = nullptr;
    for (auto at = static_cast<BYTE*>(nullptr); VirtualQuery(at, &region, sizeof region); at += region.RegionSize) {
        if (region.Type == MEM_MAPPED && region.AllocationBase != last) ++views;
        if (region.Type == MEM_MAPPED) last = region.AllocationBase;
        if (region.RegionSize == 0 || at + region.RegionSize < at) break;
    }
    return views;
}

// Edits the directory entry of resource `id` of `type` in the file itself: `edit` gets the entries of that
// type, the index of the one found, and the file's bytes with the offset of the resource section.
using EntryEdit = std::function<void(IMAGE_RESOURCE_DIRECTORY_ENTRY* names, int count, int found, BYTE* file,
                                     DWORD root)>;
bool EditEntry(const std::wstring& path, WORD type, WORD id, const EntryEdit& edit) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::vector<BYTE> bytes(GetFileSize(file, nullptr));
    DWORD done = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    auto at = [&](DWORD offset) { return bytes.data() + offset; };
    auto headers = reinterpret_cast<IMAGE_NT_HEADERS32*>(at(reinterpret_cast<IMAGE_DOS_HEADER*>(at(0))->e_lfanew));
    DWORD rsrcRva = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress;
    auto section = IMAGE_FIRST_SECTION(headers);
    DWORD root = 0;
    for (int i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section)
        if (section->VirtualAddress == rsrcRva) root = section->PointerToRawData;
    bool edited = false;
    auto entries = [&](DWORD directory) {
        auto dir = reinterpret_cast<IMAGE_RESOURCE_DIRECTORY*>(at(directory));
        return std::make_pair(reinterpret_cast<IMAGE_RESOURCE_DIRECTORY_ENTRY*>(dir + 1),
                              dir->NumberOfNamedEntries + dir->NumberOfIdEntries);
    };
    auto [types, typeCount] = entries(root);
    for (int t = 0; root && t < typeCount; ++t) {
        if (types[t].Name != type) continue;
        auto [names, nameCount] = entries(root + types[t].OffsetToDirectory);
        for (int n = 0; n < nameCount && !edited; ++n)
            if (names[n].Name == id) {
                edit(names, nameCount, n, bytes.data(), root);
                edited = true;
            }
    }
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    bool written = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    CloseHandle(file);
    return edited && written;
}

// The runtime's resource updater does not delete entries, so a resource is taken away by giving its
// directory entry another id.
bool Renumber(const std::wstring& path, WORD type, WORD id) {
    return EditEntry(path, type, id, [](IMAGE_RESOURCE_DIRECTORY_ENTRY* names, int count, int n, BYTE*, DWORD) {
        // Moved to the end with the highest id, so the entries stay sorted for the look-up.
        IMAGE_RESOURCE_DIRECTORY_ENTRY moved = names[n];
        MoveMemory(&names[n], &names[n + 1], (count - n - 1) * sizeof moved);
        moved.Name = 0x7FFF;
        names[count - 1] = moved;
    });
}

// Nor does it store an empty resource: the size the file declares for the first language is set here.
bool DeclareSize(const std::wstring& path, WORD type, WORD id, DWORD size) {
    return EditEntry(path, type, id, [size](IMAGE_RESOURCE_DIRECTORY_ENTRY* names, int, int n, BYTE* file, DWORD root) {
        auto languages = reinterpret_cast<IMAGE_RESOURCE_DIRECTORY_ENTRY*>(
            file + root + names[n].OffsetToDirectory + sizeof(IMAGE_RESOURCE_DIRECTORY));
        reinterpret_cast<IMAGE_RESOURCE_DATA_ENTRY*>(file + root + languages[0].OffsetToData)->Size = size;
    });
}

class Skins : public AppFixture {
  protected:
    void SetUp() override {
        AppFixture::SetUp();
        folder = ScratchFolder();
        SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Tarnwick Software\\SkinCodeRan");
    }
    void TearDown() override {
        UnloadSkin();
        AppFixture::TearDown();
    }
    std::wstring In(const WCHAR* file) const { return folder + L"\\" + file; }
    std::wstring folder;
};

// What the "Skin" value names decides the look; every name that gives no usable skin is replaced.
TEST_F(Skins, StartUpChoosesTheStoredSkinOrFallsBackToSkinless) {
    struct Case {
        const char* what;
        std::wstring stored; // empty: no value
        bool skinned;
    };
    ASSERT_TRUE(WriteFileBytes(In(L"Text.dll"), "not a module", 12));
    const Case cases[] = {
        {"no value", L"", false},
        {"Skinless", L"Skinless", false},
        {"a built skin", BuiltSkin(L"PewterMini"), true},
        {"lower-case skinless names a library", L"skinless", false},
        {"a library that is not there", L"NoSuchSkin", false},
        {"a file that is not a module", In(L"Text.dll"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.stored.empty())
            WriteValue(L"Skin", REG_SZ, c.stored.c_str(), static_cast<DWORD>(c.stored.size() * sizeof(WCHAR)));
        Start();
        EXPECT_EQ(app.skinModule != nullptr, c.skinned);
        std::wstring expected = c.skinned ? c.stored : L"Skinless";
        EXPECT_STREQ(app.skinName, expected.c_str());
        EXPECT_EQ(StoredSkin(), expected);
        EXPECT_EQ(ReadValue(L"Skin").data.size(), expected.size() * sizeof(WCHAR)) << "stored without a NUL";
        if (!c.skinned) {
            EXPECT_TRUE(Sized(app.shortcutButton, plainShortcutButton));
            EXPECT_TRUE(Sized(app.taskbarButton, plainTaskbarButton));
            EXPECT_EQ(app.imageBitmaps[2], nullptr) << "no skin image is held";
        }
        TearDown();
        SetUp();
    }
}

// Anything short of a whole skin is refused before it changes a thing, and leaves nothing behind.
TEST_F(Skins, IncompleteOrForeignLibrariesAreRefusedAndFreed) {
    struct Case {
        std::string what;
        std::function<bool(const std::wstring& path)> make;
    };
    std::vector<Case> cases = {
        {"text file", [](const std::wstring& p) { return WriteFileBytes(p, "MZ? no, just text", 17); }},
        {"empty file", [](const std::wstring& p) { return WriteFileBytes(p, "", 0); }},
        {"directory", [](const std::wstring& p) { return CreateDirectoryW(p.c_str(), nullptr) != FALSE; }},
        {"16-bit module",
         [](const std::wstring& p) {
             BYTE image[256] = {'M', 'Z'};
             image[0x3C] = 0x80;
             image[0x80] = 'N';
             image[0x81] = 'E';
             return WriteFileBytes(p, image, sizeof image);
         }},
        {"module for another machine",
         [](const std::wstring& p) {
             if (!CopySkin(p)) return false;
             HANDLE file = CreateFileW(p.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
             DWORD peAt = 0, done = 0;
             SetFilePointer(file, 0x3C, nullptr, FILE_BEGIN);
             ReadFile(file, &peAt, 4, &done, nullptr);
             WORD amd64 = IMAGE_FILE_MACHINE_AMD64;
             SetFilePointer(file, static_cast<LONG>(peAt + 4), nullptr, FILE_BEGIN);
             bool fine = WriteFile(file, &amd64, 2, &done, nullptr) && done == 2;
             CloseHandle(file);
             return fine;
         }},
        {"no record",
         [](const std::wstring& p) {
             return CopySkin(p) && Renumber(p, 10, skinMetricsId) && !HasResource(p, skinMetricsId, RT_RCDATA);
         }},
        {"background claiming 100000 x 100000 pixels",
         [](const std::wstring& p) {
             BITMAPINFOHEADER huge = {sizeof huge, 100000, 100000, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
             auto bytes = reinterpret_cast<const BYTE*>(&huge);
             return CopySkin(p, [&](HANDLE u) { SetImage(u, 103, {bytes, bytes + sizeof huge}); });
         }},
        {"joiner with its pixels cut short",
         [](const std::wstring& p) {
             std::vector<BYTE> cut(sizeof(BITMAPINFOHEADER) + 64);
             BITMAPINFOHEADER header = {sizeof header, 15, 21, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
             CopyMemory(cut.data(), &header, sizeof header);
             return CopySkin(p, [&](HANDLE u) { SetImage(u, 111, cut); });
         }},
    };
    // Run-length coded, so the file stays small whatever size the header claims.
    for (SIZE claimed : {SIZE{0, 0}, SIZE{30000, 30000}, SIZE{30000, 1}, SIZE{1, 30000}})
        for (WORD id : {WORD{103}, WORD{147}})
            cases.push_back({"image " + std::to_string(id) + " of " + std::to_string(claimed.cx) + " x " +
                                 std::to_string(claimed.cy),
                             [=](const std::wstring& p) {
                                 return CopySkin(p, [&](HANDLE u) { SetImage(u, id, BitmapClaiming(claimed.cx, claimed.cy)); });
                             }});
    for (int size = 0; size < 10; ++size)
        cases.push_back({"record of " + std::to_string(size) + " bytes", [size](const std::wstring& p) {
                             return CopySkin(p) && DeclareSize(p, 10, skinMetricsId, static_cast<DWORD>(size)) &&
                                    ResourceSize(p, skinMetricsId, RT_RCDATA) == size;
                         }});
    // Cut inside the headers, inside the resource directory, just after it, half-way through the images and
    // two pages short of the end. (Within its last page a cut file reads as zeros: damaged, never unsafe.)
    for (int cut = 0; cut < 5; ++cut)
        cases.push_back({"cut short, way " + std::to_string(cut), [cut](const std::wstring& p) {
                             if (!CopySkin(p)) return false;
                             DWORD size = GetCompressedFileSizeW(p.c_str(), nullptr);
                             const DWORD ends[] = {0x200, 0xB00, 0xE80, size / 2, size - 0x2000};
                             return ends[cut] < size && Truncate(p, ends[cut]);
                         }});
    for (WORD id : imageSlotIds)
        cases.push_back({"no bitmap " + std::to_string(id), [id](const std::wstring& p) {
                             if (!CopySkin(p) || !Renumber(p, 2, id) || HasResource(p, id, RT_BITMAP)) return false;
                             for (WORD other : imageSlotIds)
                                 if (other != id && !HasResource(p, other, RT_BITMAP)) return false;
                             return HasResource(p, skinMetricsId, RT_RCDATA); // only the one is missing
                         }});

    Start();
    HBITMAP ownFace = app.imageBitmaps[0];
    DWORD objects = GdiObjectCount();
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::wstring path = In((L"Refused" + std::to_wstring(++n) + L".dll").c_str());
        ASSERT_TRUE(c.make(path)) << "the test could not make the file";
        EXPECT_FALSE(LoadSkin(path.c_str()));
        EXPECT_EQ(app.skinModule, nullptr);
        EXPECT_EQ(app.imageBitmaps[0], ownFace);
        EXPECT_TRUE(Sized(app.shortcutButton, plainShortcutButton));
        EXPECT_EQ(GdiObjectCount(), objects) << "a refused skin leaves no image behind";
        EXPECT_TRUE(DeleteFileW(path.c_str()) || RemoveDirectoryW(path.c_str())) << "the file is not held open";
    }
}

// A skin's colour images may come in any depth and coding a bitmap resource can have: each is taken and
// shows its colour. The joiner (15 x 21) is painted in one colour, palette entry 1 where there is a palette.
TEST_F(Skins, ImagesOfEveryDepthAndCodingShowTheirColours) {
    constexpr COLORREF colour = RGB(0x21, 0x63, 0xA5); // what 5-bit channels widen to as well
    constexpr LONG width = 15, height = 21;
    struct Format {
        WORD bits;
        DWORD coding;
        std::vector<BYTE> row; // repeated along each row, or one coded row
    };
    const Format formats[] = {{4, BI_RGB, {0x11}},         {8, BI_RGB, {1}},     {16, BI_RGB, {0x94, 0x11}},
                              {24, BI_RGB, {0xA5, 0x63, 0x21}}, {32, BI_RGB, {0xA5, 0x63, 0x21, 0}},
                              {8, BI_RLE8, {width, 1, 0, 0}}, {4, BI_RLE4, {width, 0x11, 0, 0}}};
    Start();
    int n = 0;
    for (const Format& f : formats) {
        SCOPED_TRACE(testing::Message() << f.bits << " bits, coding " << f.coding);
        DWORD colours = f.bits <= 8 ? 1u << f.bits : 0, stride = (width * f.bits + 31) / 32 * 4;
        BITMAPINFOHEADER header = {sizeof header, width, height, 1, f.bits, f.coding, 0, 0, 0, colours, 0};
        std::vector<BYTE> bytes(sizeof header + colours * sizeof(RGBQUAD));
        if (colours) reinterpret_cast<RGBQUAD*>(bytes.data() + sizeof header)[1] = {0xA5, 0x63, 0x21, 0};
        size_t rowBytes = f.coding == BI_RGB ? stride : f.row.size();
        for (size_t at = 0; at < rowBytes * height; ++at) bytes.push_back(f.row[at % rowBytes % f.row.size()]);
        if (f.coding != BI_RGB) bytes.insert(bytes.end(), {0, 1});
        header.biSizeImage = static_cast<DWORD>(bytes.size() - sizeof header - colours * sizeof(RGBQUAD));
        CopyMemory(bytes.data(), &header, sizeof header);
        std::wstring path = In((L"Depth" + std::to_wstring(++n) + L".dll").c_str());
        ASSERT_TRUE(CopySkin(path, [&](HANDLE u) { SetImage(u, 111, bytes); }));
        ASSERT_TRUE(LoadSkin(path.c_str()));
        for (POINT at : {POINT{0, 0}, POINT{width - 1, height - 1}, POINT{7, 10}})
            EXPECT_EQ(GetPixel(ImageDC<111>(), at.x, at.y), colour) << at.x << ", " << at.y;
        UnloadSkin();
    }
}

// A switch loads the new library and frees the one it leaves with its images; the skin's widths (low bytes
// only) size the check buttons, and the plain look gives them back their own sizes.
TEST_F(Skins, SwitchingLooksFreesWhatItLeavesAndSizesTheButtons) {
    std::wstring wide = In(L"Wide.dll");
    ASSERT_TRUE(CopySkin(wide, [](HANDLE u) { SetRecord(u, {100, 0xAB, 120, 0xCD, 90, 0xEF, 40, 0x12, 110, 0x34}); }));
    Start();
    // Controls build what they cache on their first paint in each look; only then is the count settled.
    SwitchSkin(wide.c_str());
    SwitchSkin(L"Skinless");
    DWORD objects = GdiObjectCount();
    int views = MappedViews();
    struct Step {
        std::wstring name;
        bool skinned;
        SIZE shortcut, taskbar;
    };
    const Step steps[] = {
        {wide, true, {115, 15}, {135, 15}},
        {BuiltSkin(L"PewterMini"), true, {}, {}},
        {L"Skinless", false, plainShortcutButton, plainTaskbarButton},
        {wide, true, {115, 15}, {135, 15}},
        {L"NoSuchSkin", false, plainShortcutButton, plainTaskbarButton},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "switch to " << std::string(step.name.begin(), step.name.end()));
        SwitchSkin(step.name.c_str());
        EXPECT_EQ(app.skinModule != nullptr, step.skinned);
        EXPECT_EQ(MappedViews(), views + (step.skinned ? 1 : 0)) << "one library at most, the one in use";
        EXPECT_EQ(StoredSkin(), step.skinned || step.name == L"Skinless" ? step.name : L"Skinless");
        if (step.shortcut.cx) {
            EXPECT_TRUE(Sized(app.shortcutButton, step.shortcut));
            EXPECT_TRUE(Sized(app.taskbarButton, step.taskbar));
        }
        if (!step.skinned) EXPECT_EQ(GdiObjectCount(), objects) << "back in the plain look, nothing is left over";
        EXPECT_EQ(GetFocus(), app.mainWindow);
    }
}

// Only resources are taken from a skin: a library with code in it is read without ever running it.
TEST_F(Skins, CodeInASkinLibraryNeverRuns) {
    constexpr WCHAR markKey[] = L"Software\\Tarnwick Software\\SkinCodeRan";
    auto marked = [&] {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, markKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    };
    std::wstring path = BuiltSkin(L"tests\\MarkingSkin");
    Start();
    EXPECT_TRUE(LoadSkin(path.c_str()));
    EXPECT_NE(app.skinModule, nullptr);
    EXPECT_FALSE(marked()) << "the skin's start-up code ran";
    // The mark is real: running the library's code does leave it.
    HMODULE ran = LoadLibraryW(path.c_str());
    EXPECT_TRUE(marked());
    if (ran) FreeLibrary(ran);
}
} // namespace
