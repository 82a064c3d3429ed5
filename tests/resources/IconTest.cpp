// The icon the uninstall entry names ("<library>,-300"), read from the built library as Windows reads it for
// the list of installed programs: an icon group with an image for each size Windows asks for, 32-bit with an
// alpha channel that is used, the largest PNG-compressed; each decodes to an icon of its size.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "win/UniqueGdiObject.h"
#include "win/UniqueLibrary.h"
#include "win/UniqueResource.h"

namespace {

struct IconTraits {
    using Handle = HICON;
    static HICON none() noexcept { return nullptr; }
    static bool valid(HICON icon) noexcept { return icon != nullptr; }
    static void close(HICON icon) noexcept { ::DestroyIcon(icon); }
};
using UniqueIcon = win::UniqueResource<IconTraits>;

// An icon group as the resource holds it: a header, then one entry per image.
#pragma pack(push, 2)
struct GroupHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
struct GroupEntry {
    BYTE width;  // 0 stands for 256
    BYTE height;
    BYTE colours;
    BYTE reserved;
    WORD planes;
    WORD bitsPerPixel;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

// The resource types, which the headers spell for the narrow calls only.
const wchar_t* const kIconGroupType = reinterpret_cast<const wchar_t*>(RT_GROUP_ICON);
const wchar_t* const kIconType = reinterpret_cast<const wchar_t*>(RT_ICON);

std::wstring besideProgram(const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    std::wstring result(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
    return result.substr(0, result.find_last_of(L"\\/") + 1) + name;
}

const BYTE* resource(HMODULE library, const wchar_t* name, const wchar_t* type, DWORD& size) {
    const HRSRC found = ::FindResourceW(library, name, type);
    if (!found) return nullptr;
    size = ::SizeofResource(library, found);
    const HGLOBAL loaded = ::LoadResource(library, found);
    return loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
}

TEST(Icon, EachSizeWindowsAsksForIsA32BitImageThatDecodesToItsSize) {
    const win::UniqueLibrary library(
        ::LoadLibraryExW(besideProgram(L"Quillery.dll").c_str(), nullptr,
                         LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(library) << "error " << ::GetLastError();
    DWORD groupSize = 0;
    const BYTE* group =
        resource(library.get(), MAKEINTRESOURCEW(QUILLERY_ICON_ID), kIconGroupType, groupSize);
    ASSERT_NE(nullptr, group) << "no icon group " << QUILLERY_ICON_ID;
    const auto& header = *reinterpret_cast<const GroupHeader*>(group);
    ASSERT_EQ(1, header.type) << "not an icon group";
    ASSERT_EQ(groupSize, sizeof(GroupHeader) + header.count * sizeof(GroupEntry));
    const auto* entries = reinterpret_cast<const GroupEntry*>(group + sizeof(GroupHeader));
    std::set<int> sizes;
    for (WORD index = 0; index < header.count; ++index) {
        const GroupEntry& entry = entries[index];
        const int size = entry.width == 0 ? 256 : entry.width;
        sizes.insert(size);
        EXPECT_EQ(entry.width, entry.height) << size << " pixels";
        EXPECT_EQ(32, entry.bitsPerPixel) << size << " pixels";
        DWORD bytes = 0;
        const BYTE* image = resource(library.get(), MAKEINTRESOURCEW(entry.id), kIconType, bytes);
        ASSERT_NE(nullptr, image) << size << " pixels: no image " << entry.id;
        const bool png = bytes > 8 && std::memcmp(image, "\x89PNG\r\n\x1a\n", 8) == 0;
        // The largest is kept as PNG, as Windows reads it; the others as bitmaps whose alpha is used:
        // bottom-up blue-green-red-alpha rows, a corner outside the rounded tile clear, the middle opaque.
        EXPECT_EQ(size == 256, png) << size << " pixels";
        if (!png) {
            const auto* info = reinterpret_cast<const BITMAPINFOHEADER*>(image);
            EXPECT_EQ(32, info->biBitCount) << size << " pixels";
            const BYTE* pixels = image + info->biSize;
            EXPECT_EQ(0, pixels[3]) << size << " pixels: the corner's alpha";
            EXPECT_EQ(255, pixels[((size / 2) * size + size / 2) * 4 + 3])
                << size << " pixels: the middle's alpha";
        }
        const UniqueIcon icon(::CreateIconFromResourceEx(const_cast<BYTE*>(image), bytes, TRUE, 0x00030000,
                                                         size, size, LR_DEFAULTCOLOR));
        ASSERT_TRUE(icon) << size << " pixels do not decode";
        ICONINFO parts{};
        ASSERT_TRUE(::GetIconInfo(icon.get(), &parts));
        const win::UniqueBitmap colour(parts.hbmColor), mask(parts.hbmMask);
        BITMAP drawn{};
        ASSERT_TRUE(::GetObjectW(colour.get(), sizeof(drawn), &drawn)) << size << " pixels: no colour image";
        EXPECT_EQ(size, drawn.bmWidth);
        EXPECT_EQ(size, drawn.bmHeight);
    }
    EXPECT_EQ((std::set<int>{16, 32, 48, 256}), sizes);
}

}  // namespace
