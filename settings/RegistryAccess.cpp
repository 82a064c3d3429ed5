#include "settings/RegistryAccess.h"

#include "settings/BoundedText.h"
#include "win/EntryPoint.h"

#include <array>
#include <new>

namespace {

constexpr const char* kKernelModule = "kernel32";
constexpr const char* kWow64QueryName = "IsWow64Process";
// Older systems lack the extended delete, so it is looked up each time it is needed.
constexpr const char* kExtendedDeleteModule = "advapi32.dll";
constexpr const char* kExtendedDeleteName = "RegDeleteKeyExA";
using ExtendedDelete = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);

// One key opened through the seam, closed through it again whatever path the operation takes.
class OpenedKey {
public:
    OpenedKey(const RegistryApi& api, HKEY root, const std::string& subKey, REGSAM mask) noexcept
        : api_(api) {
        if (api_.openKey(root, subKey.c_str(), 0, mask, &key_) != ERROR_SUCCESS) key_ = nullptr;
    }
    ~OpenedKey() {
        if (key_) api_.closeKey(key_);
    }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;

    HKEY get() const noexcept { return key_; }
    explicit operator bool() const noexcept { return key_ != nullptr; }

private:
    const RegistryApi& api_;
    HKEY key_ = nullptr;
};

// A library loaded through the seam and freed through it again.
class LoadedLibrary {
public:
    LoadedLibrary(const RegistryApi& api, const char* name) noexcept
        : api_(api), module_(api.loadLibrary(name)) {}
    ~LoadedLibrary() {
        if (module_) api_.freeLibrary(module_);
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    HMODULE get() const noexcept { return module_; }

private:
    const RegistryApi& api_;
    HMODULE module_;
};

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

bool RegistryAccess::probeDword(HKEY root, const std::string& subKey, const std::string& valueName,
                                bool use64BitView) const noexcept {
    OpenedKey key(api_, root, subKey, maskFor(kReadAccess, use64BitView));
    if (!key) return false;
    std::array<BYTE, sizeof(DWORD)> data{};
    DWORD size = data.size();
    return api_.queryValue(key.get(), valueName.c_str(), nullptr, nullptr, data.data(), &size) ==
           ERROR_SUCCESS;
}

std::string RegistryAccess::readString(HKEY root, const std::string& subKey, const std::string& valueName,
                                       bool use64BitView) const noexcept {
    OpenedKey key(api_, root, subKey, maskFor(kReadAccess, use64BitView));
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
    try {
        return boundedText(buffer.data(), size, buffer.size());
    } catch (const std::bad_alloc&) {
        return std::string();
    }
}

uint32_t RegistryAccess::readDword(HKEY root, const std::string& subKey, const std::string& valueName,
                                   bool use64BitView) const noexcept {
    OpenedKey key(api_, root, subKey, maskFor(kReadAccess, use64BitView));
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
    OpenedKey key(api_, root, subKey, maskFor(kWriteAccess, use64BitView));
    if (!key) return false;
    const DWORD size = static_cast<DWORD>(text.size() + 1);
    return api_.setValue(key.get(), valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         size) == ERROR_SUCCESS;
}

bool RegistryAccess::writeDword(HKEY root, const std::string& subKey, const std::string& valueName,
                                uint32_t value, bool use64BitView) const noexcept {
    OpenedKey key(api_, root, subKey, maskFor(kWriteAccess, use64BitView));
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
    LoadedLibrary advapi(api_, kExtendedDeleteModule);
    if (!advapi.get()) return false;
    const auto extendedDelete =
        entryPointAs<ExtendedDelete>(api_.getProcAddress(advapi.get(), kExtendedDeleteName));
    return extendedDelete && extendedDelete(root, subKey.c_str(), viewFlags, 0) == ERROR_SUCCESS;
}
