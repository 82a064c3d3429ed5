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

class IconTest : public ::testing::Test {
protected:
    void SetUp() override {
        library_.reset(::LoadLibraryExW(besideProgram(L"Quillery.dll").c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        ASSERT_TRUE(library_) << "error " << ::GetLastError();
        group_ = resource(MAKEINTRESOURCEW(QUILLERY_ICON_ID), kIconGroupType, groupSize_);
        ASSERT_NE(nullptr, group_) << "no icon group " << QUILLERY_ICON_ID;
        ASSERT_GE(groupSize_, sizeof(GroupHeader));
    }

    const BYTE* resource(const wchar_t* name, const wchar_t* type, DWORD& size) const {
        const HRSRC found = ::FindResourceW(library_.get(), name, type);
        if (!found) return nullptr;
        size = ::SizeofResource(library_.get(), found);
        const HGLOBAL loaded = ::LoadResource(library_.get(), found);
        return loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
    }
    const GroupHeader& header() const { return *reinterpret_cast<const GroupHeader*>(group_); }
    const GroupEntry& entry(WORD index) const {
        return reinterpret_cast<const GroupEntry*>(group_ + sizeof(GroupHeader))[index];
    }

    win::UniqueLibrary library_;
    const BYTE* group_ = nullptr;
    DWORD groupSize_ = 0;
};

TEST_F(IconTest, TheGroupHoldsA32BitImageForEachSizeWindowsAsksFor) {
    ASSERT_EQ(1, header().type) << "not an icon group";
    ASSERT_EQ(groupSize_, sizeof(GroupHeader) + header().count * sizeof(GroupEntry));
    std::set<int> sizes;
    for (WORD index = 0; index < header().count; ++index) {
        const GroupEntry& image = entry(index);
        const int size = image.width == 0 ? 256 : image.width;
        EXPECT_EQ(image.width, image.height) << "image " << index;
        EXPECT_EQ(32, image.bitsPerPixel) << size << " pixels";
        sizes.insert(size);
    }
    EXPECT_EQ((std::set<int>{16, 32, 48, 256}), sizes);
}

TEST_F(IconTest, EachSizeDecodesToAnIconOfThatSizeWithItsOwnTransparency) {
    for (const int size : {16, 32, 48, 256}) {
        // The image Windows picks for this size, as it does when it draws the icon.
        const int id =
            ::LookupIconIdFromDirectoryEx(const_cast<BYTE*>(group_), TRUE, size, size, LR_DEFAULTCOLOR);
        DWORD bytes = 0;
        const BYTE* image = resource(MAKEINTRESOURCEW(id), kIconType, bytes);
        ASSERT_NE(nullptr, image) << size << " pixels: no image " << id;
        const bool png = bytes > 8 && std::memcmp(image, "\x89PNG\r\n\x1a\n", 8) == 0;
        if (size == 256) {
            EXPECT_TRUE(png) << "the 256-pixel image is kept as PNG, as Windows reads it";
        } else {
            ASSERT_FALSE(png) << size << " pixels";
            const auto* info = reinterpret_cast<const BITMAPINFOHEADER*>(image);
            EXPECT_EQ(size, info->biWidth);
            EXPECT_EQ(32, info->biBitCount) << size << " pixels";
            // Bottom-up blue-green-red-alpha rows: a corner outside the rounded tile is clear, the middle
            // opaque.
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
}

}  // namespace
