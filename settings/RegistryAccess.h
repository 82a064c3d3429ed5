#pragma once

#include "win/RegistryApi.h"

#include <windows.h>

#include <cstdint>
#include <string>

// The one object through which the add-in reads and writes the registry. Every operation opens one key, does
// one thing and closes it again; none creates a key, reports an error code or throws. Whether the process
// runs under WOW64 is decided once, at construction: only then does a request for the 64-bit view change the
// access mask.
class RegistryAccess {
public:
    // Access masks: reads query values only, writes ask for KEY_WRITE; the 64-bit view is added under WOW64.
    static constexpr REGSAM kReadAccess = KEY_QUERY_VALUE;
    static constexpr REGSAM kWriteAccess = KEY_WRITE;
    static constexpr REGSAM kView64 = KEY_WOW64_64KEY;
    // Text values are read into a buffer of this many bytes, so they hold at most one byte less of text.
    static constexpr DWORD kStringBufferSize = 260;

    explicit RegistryAccess(const RegistryApi& api = RegistryApi()) noexcept;

    bool isWow64() const noexcept { return isWow64_; }

    // True when the value exists and its data fits in four bytes; the data itself is discarded.
    bool probeDword(HKEY root, const std::string& subKey, const std::string& valueName,
                    bool use64BitView) const noexcept;
    // The value's text, or empty when the key or value is missing or the data does not fit the buffer.
    std::string readString(HKEY root, const std::string& subKey, const std::string& valueName,
                           bool use64BitView) const noexcept;
    // The value's data (shorter data fills the low bytes), or 0 when it is missing or longer than four bytes.
    uint32_t readDword(HKEY root, const std::string& subKey, const std::string& valueName,
                       bool use64BitView) const noexcept;
    // Whether the writes below could store into the existing key: it is opened as they open it, and closed
    // again; nothing is written.
    bool canWrite(HKEY root, const std::string& subKey, bool use64BitView) const noexcept;
    // Store into an existing key; a missing key makes the write fail, it is never created.
    bool writeString(HKEY root, const std::string& subKey, const std::string& valueName,
                     const std::string& text, bool use64BitView) const noexcept;
    bool writeDword(HKEY root, const std::string& subKey, const std::string& valueName, uint32_t value,
                    bool use64BitView) const noexcept;
    // Deletes a key without subkeys in the process's own view. Under WOW64 a request for the 64-bit view is
    // refused here: that belongs to deleteKeyInView.
    bool deleteKey(HKEY root, const std::string& subKey, bool use64BitView) const noexcept;
    // Deletes a key in the view named by `viewFlags`; only meaningful, and only attempted, under WOW64.
    bool deleteKeyInView(HKEY root, const std::string& subKey, uint32_t viewFlags) const noexcept;

private:
    using Wow64Query = BOOL(WINAPI*)(HANDLE, PBOOL);

    REGSAM maskFor(REGSAM access, bool use64BitView) const noexcept;

    bool isWow64_ = false;
    Wow64Query wow64Query_ = nullptr;
    RegistryApi api_;
};
