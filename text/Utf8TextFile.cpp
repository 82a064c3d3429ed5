#include "text/Utf8TextFile.h"

#include <windows.h>

#include <climits>
#include <string>

#include "text/Utf8Decoder.h"
#include "win/AnsiText.h"
#include "win/FailurePolicy.h"
#include "win/UniqueHandle.h"

namespace {

// The file's bytes; false when the file cannot be opened or read whole.
bool readWhole(const std::string& path, std::string& bytes) {
    win::UniqueHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;

    // A file of 4 GB or more cannot be read in one request; taking only the low 32 bits of its size would
    // hand back a silently truncated text, so such a file is refused.
    DWORD sizeHigh = 0;
    ::SetLastError(NO_ERROR);
    const DWORD size = ::GetFileSize(file.get(), &sizeHigh);
    if (size == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) return false;
    if (sizeHigh != 0) return false;

    std::string content(size, '\0');
    DWORD read = 0;
    if (!::ReadFile(file.get(), &content[0], size, &read, nullptr)) read = 0;
    if (read != size) return false;
    bytes.swap(content);
    return true;
}

// The file's bytes, decoded; false when the file cannot be opened or read whole, or is not UTF-8 of our kind.
bool readUnits(const std::string& path, std::u16string& units) {
    std::string bytes;
    if (!readWhole(path, bytes)) return false;
    return decodeUtf8(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), units) &&
           !units.empty();
}

// Narrows up to the first U+0000 to the ANSI code page; characters it lacks become its default character. A
// text the platform will not convert is empty. False only for a text too long for the platform's counts,
// which would otherwise come back empty as if the file held nothing.
bool narrow(const std::u16string& units, std::string& text) {
    const std::size_t nul = units.find(u'\0');
    const std::size_t length = nul == std::u16string::npos ? units.size() : nul;
    if (length > INT_MAX) return false;
    text = win::narrowTo(win::kAnsiCodePage, reinterpret_cast<const wchar_t*>(units.data()), length);
    return true;
}

}  // namespace

bool Utf8TextFile::readFile(const std::string& path, std::string& text) const {
    return orFallback(false, [&] {
        std::u16string units;
        if (!readUnits(path, units)) return false;
        std::string content;
        if (!narrow(units, content)) return false;
        text.swap(content);
        return true;
    });
}

bool Utf8TextFile::readBytes(const std::string& path, std::string& bytes) const {
    return orFallback(false, [&] { return readWhole(path, bytes); });
}
