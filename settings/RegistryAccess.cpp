#include "settings/RegistryAccess.h"

#include "settings/BoundedText.h"
#include "win/EntryPoint.h"
#include "win/FailurePolicy.h"
#include "win/UniqueHkey.h"
#include "win/UniqueLibrary.h"

#include <array>

namespace {

constexpr const char* kKernelModule = "kernel32";
constexpr const char* kWow64QueryName = "IsWow64Process";
// Older systems lack the extended delete, so it is looked up each time it is needed.
constexpr const char* kExtendedDeleteModule = "advapi32.dll";
constexpr const char* kExtendedDeleteName = "RegDeleteKeyExA";
using ExtendedDelete = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);

// Keys and libraries are given back through the seam they came from, so that a test sees every close.
struct SeamKeyTraits : win::HkeyTraits {
    const RegistryApi* api;
    void close(HKEY key) const noexcept { api->closeKey(key); }
};
struct SeamLibraryTraits : win::LibraryTraits {
    const RegistryApi* api;
    void close(HMODULE module) const noexcept { api->freeLibrary(module); }
};
using SeamKey = win::UniqueResource<SeamKeyTraits>;
using SeamLibrary = win::UniqueResource<SeamLibraryTraits>;

// One key opened through the seam; empty when it cannot be opened.
SeamKey openKey(const RegistryApi& api, HKEY root, const std::string& subKey, REGSAM mask) noexcept {
    SeamKey key(SeamKeyTraits{{}, &api});
    if (api.openKey(root, subKey.c_str(), 0, mask, key.receive()) != ERROR_SUCCESS) key.release();
    return key;
}

}  // namespace

RegistryAccess::RegistryAccess(const RegistryApi& api) noexcept : api_(api) {
    if (HMODULE kernel = api_.getModuleHandle(kKernelModule)) {
        wow64Query_ = entryPointAs<Wow64Query>(api_.getProcAddress(kernel, kWow64QueryName));
    }
    if (wow64Query_) {
        // Only the answer counts, not whether the call claims success; anything but exactly TRUE is "no".
        BOOL answer = 0;
        wow64Query_(::GetCurrentProcess(), &answer);
        isWow64_ = answer == 1;
    }
}

REGSAM RegistryAccess::maskFor(REGSAM access, bool use64BitView) const noexcept {
    return use64BitView && isWow64_ ? access | kView64 : access;
}

bool RegistryAccess::canWrite(HKEY root, const std::string& subKey, bool use64BitView) const noexcept {
    return static_cast<bool>(openKey(api_, root, subKey, maskFor(kWriteAccess, use64BitView)));
}

bool RegistryAccess::probeDword(HKEY root, const std::string& subKey, const std::string& valueName,
                                bool use64BitView) const noexcept {
    const SeamKey key = openKey(api_, root, subKey, maskFor(kReadAccess, use64BitView));
    if (!key) return false;
    std::array<BYTE, sizeof(DWORD)> data{};
    DWORD size = data.size();
    return api_.queryValue(key.get(), valueName.c_str(), nullptr, nullptr, data.data(), &size) ==
           ERROR_SUCCESS;
}

std::string RegistryAccess::readString(HKEY root, const std::string& subKey, const std::string& valueName,
                                       bool use64BitView) const noexcept {
    const SeamKey key = openKey(api_, root, subKey, maskFor(kReadAccess, use64BitView));
    if (!key) return std::string();
    std::array<char, kStringBufferSize> buffer{};
    DWORD type = REG_SZ;
    DWORD size = buffer.size();
    // Data that did not fit leaves the buffer undefined, so only a successful query is read, and only as far
    // as the size it reported. The stored type is not checked: an installer may well write paths as
    // REG_EXPAND_SZ.
    if (api_.queryValue(key.get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                        &size) != ERROR_SUCCESS) {
        return std::string();
    }
    return orFallback(std::string(), [&] { return boundedText(buffer.data(), size, buffer.size()); });
}

uint32_t RegistryAccess::readDword(HKEY root, const std::string& subKey, const std::string& valueName,
                                   bool use64BitView) const noexcept {
    const SeamKey key = openKey(api_, root, subKey, maskFor(kReadAccess, use64BitView));
    if (!key) return 0;
    std::array<BYTE, sizeof(uint32_t)> data{};
    DWORD size = data.size();
    // Longer data makes the query fail and leaves the buffer undefined; shorter data fills the low bytes.
    if (api_.queryValue(key.get(), valueName.c_str(), nullptr, nullptr, data.data(), &size) !=
        ERROR_SUCCESS) {
        return 0;
    }
    return uint32_t{data[0]} | uint32_t{data[1]} << 8 | uint32_t{data[2]} << 16 | uint32_t{data[3]} << 24;
}

bool RegistryAccess::writeString(HKEY root, const std::string& subKey, const std::string& valueName,
                                 const std::string& text, bool use64BitView) const noexcept {
    const SeamKey key = openKey(api_, root, subKey, maskFor(kWriteAccess, use64BitView));
    if (!key) return false;
    const DWORD size = static_cast<DWORD>(text.size() + 1);
    return api_.setValue(key.get(), valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         size) == ERROR_SUCCESS;
}

bool RegistryAccess::writeDword(HKEY root, const std::string& subKey, const std::string& valueName,
                                uint32_t value, bool use64BitView) const noexcept {
    const SeamKey key = openKey(api_, root, subKey, maskFor(kWriteAccess, use64BitView));
    if (!key) return false;
    const std::array<BYTE, sizeof(uint32_t)> data = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                                                     static_cast<BYTE>(value >> 16),
                                                     static_cast<BYTE>(value >> 24)};
    return api_.setValue(key.get(), valueName.c_str(), 0, REG_DWORD, data.data(), data.size()) ==
           ERROR_SUCCESS;
}

bool RegistryAccess::deleteKey(HKEY root, const std::string& subKey, bool use64BitView) const noexcept {
    if (use64BitView && isWow64_) return false;
    return api_.deleteKey(root, subKey.c_str()) == ERROR_SUCCESS;
}

bool RegistryAccess::deleteKeyInView(HKEY root, const std::string& subKey,
                                     uint32_t viewFlags) const noexcept {
    if (!isWow64_) return false;
    const SeamLibrary advapi(api_.loadLibrary(kExtendedDeleteModule), SeamLibraryTraits{{}, &api_});
    if (!advapi.get()) return false;
    const auto extendedDelete =
        entryPointAs<ExtendedDelete>(api_.getProcAddress(advapi.get(), kExtendedDeleteName));
    return extendedDelete && extendedDelete(root, subKey.c_str(), viewFlags, 0) == ERROR_SUCCESS;
}
