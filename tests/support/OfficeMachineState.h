#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/fixtures/CreatedKey.h"
#include "tools/fixtures/RegistryEdit.h"
#include "doctor/DisabledItemRecord.h"

// The registry values that make up a machine state for Office's rules (policies, the user's load behaviour,
// Disabled Items records), as the simulator's and the doctor's tests set them up.
namespace machine_state {

struct Value {
    HKEY root;
    std::string path;
    std::string name;
    DWORD type;
    std::vector<BYTE> data;

    // Writes the value, making its key (and whatever parents it lacks) for good: the test takes them away.
    void write() const {
        fixtures::CreatedKey(root, path).keep();
        fixtures::setValue(root, path, name, type, data.data(), static_cast<DWORD>(data.size()));
    }
};

inline Value dword(HKEY root, const std::string& path, const std::string& name, DWORD number) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&number);
    return {root, path, name, REG_DWORD, std::vector<BYTE>(bytes, bytes + sizeof(number))};
}

inline Value text(HKEY root, const std::string& path, const std::string& name, const std::string& text) {
    return {root, path, name, REG_SZ, std::vector<BYTE>(text.c_str(), text.c_str() + text.size() + 1)};
}

// A Disabled Items record naming `path` under the user's key `disabledItems`, as Office writes it (in lower
// case).
inline Value disabledItem(const std::string& disabledItems, const std::string& valueName, std::wstring path,
                          const std::wstring& friendlyName) {
    ::CharLowerBuffW(&path[0], static_cast<DWORD>(path.size()));
    doctor::DisabledItemRecord record;
    record.kind = doctor::kDisabledAddInKind;
    record.path.assign(path.begin(), path.end());
    record.friendlyName.assign(friendlyName.begin(), friendlyName.end());
    const std::vector<uint8_t> bytes = doctor::disabledItemBytes(record);
    return {HKEY_CURRENT_USER, disabledItems, valueName, REG_BINARY,
            std::vector<BYTE>(bytes.begin(), bytes.end())};
}

}  // namespace machine_state
