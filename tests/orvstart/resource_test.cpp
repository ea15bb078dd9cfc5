// Reads the built launcher's resources the way Windows does: the icon group with its four
// images, the manifest and the version block.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

#pragma pack(push, 2)
struct icon_group_entry {  // one entry of an RT_GROUP_ICON resource
    BYTE width;
    BYTE height;
    BYTE colour_count;
    BYTE reserved;
    WORD planes;
    WORD bit_count;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

struct loaded_module {
    HMODULE handle = LoadLibraryExA(ORVSTART_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ~loaded_module() {
        if (handle) FreeLibrary(handle);
    }
};

std::string resource_bytes(HMODULE module, LPCSTR type, LPCSTR name) {
    const HRSRC found = FindResourceA(module, name, type);
    if (!found) return {};
    const HGLOBAL loaded = LoadResource(module, found);
    const auto* data = static_cast<const char*>(LockResource(loaded));
    return data ? std::string(data, SizeofResource(module, found)) : std::string();
}

TEST(orvstart_resources, icon_holds_three_bitmaps_and_a_png) {
    loaded_module module;
    ASSERT_NE(module.handle, nullptr);
    const std::string group = resource_bytes(module.handle, RT_GROUP_ICON, MAKEINTRESOURCEA(1));
    ASSERT_GE(group.size(), 6u);
    WORD count = 0;
    std::memcpy(&count, group.data() + 4, sizeof count);
    ASSERT_EQ(count, 4);
    ASSERT_EQ(group.size(), 6 + count * sizeof(icon_group_entry));

    std::vector<int> bitmap_sizes;
    int png_size = 0;
    for (WORD i = 0; i < count; ++i) {
        icon_group_entry entry;
        std::memcpy(&entry, group.data() + 6 + i * sizeof entry, sizeof entry);
        EXPECT_EQ(entry.bit_count, 32);
        const std::string image =
            resource_bytes(module.handle, RT_ICON, MAKEINTRESOURCEA(entry.id));
        ASSERT_EQ(image.size(), entry.bytes);
        if (image.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0) {
            png_size = entry.width;
            continue;
        }
        BITMAPINFOHEADER header;
        ASSERT_GE(image.size(), sizeof header);
        std::memcpy(&header, image.data(), sizeof header);
        EXPECT_EQ(header.biSize, 40u);
        EXPECT_EQ(header.biBitCount, 32);
        EXPECT_EQ(header.biWidth, entry.width);
        EXPECT_EQ(header.biHeight, 2 * entry.width);  // colour rows and mask rows
        bitmap_sizes.push_back(header.biWidth);
    }
    EXPECT_EQ(bitmap_sizes, (std::vector<int>{16, 32, 48}));
    EXPECT_EQ(png_size, 64);
}

TEST(orvstart_resources, manifest_runs_as_invoker_and_is_dpi_aware) {
    loaded_module module;
    ASSERT_NE(module.handle, nullptr);
    const std::string manifest = resource_bytes(module.handle, RT_MANIFEST, MAKEINTRESOURCEA(1));
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
}

TEST(orvstart_resources, version_is_1_1_11_0) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(ORVSTART_EXE, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(ORVSTART_EXE, 0, size, block.data()));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length));
    EXPECT_EQ(info->dwFileVersionMS, MAKELONG(1, 1));
    EXPECT_EQ(info->dwFileVersionLS, MAKELONG(0, 11));
    EXPECT_EQ(info->dwProductVersionMS, MAKELONG(1, 1));
    EXPECT_EQ(info->dwProductVersionLS, MAKELONG(0, 11));
}

}  // namespace
