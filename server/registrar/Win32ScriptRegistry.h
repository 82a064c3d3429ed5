#pragma once

#include "server/registrar/ScriptRegistry.h"
#include "win/RegistryApi.h"

// The registrar's registry on Windows: each operation is exactly one call of the ANSI registry API, through
// the registry seam so that a test can see the access masks.
class Win32ScriptRegistry final : public registrar::ScriptRegistry {
public:
    // Subkey names are enumerated into a buffer of this many bytes.
    static constexpr unsigned long kNameBufferSize = 256;

    explicit Win32ScriptRegistry(const RegistryApi& api = RegistryApi()) noexcept : api_(api) {}

    long openKey(registrar::Key parent, const std::string& name, std::uint32_t access,
                 registrar::Key& key) override;
    long createKey(registrar::Key parent, const std::string& name, registrar::Key& key) override;
    long setValue(registrar::Key key, const std::string* name, std::uint32_t type, const unsigned char* data,
                  std::uint32_t size) override;
    long deleteValue(registrar::Key key, const std::string& name) override;
    long deleteKey(registrar::Key parent, const std::string& name) override;
    long enumerateKey(registrar::Key key, std::uint32_t index, std::string& name) override;
    long countSubkeys(registrar::Key key, std::uint32_t& count) override;
    long closeKey(registrar::Key key) override;

private:
    RegistryApi api_;
};

// The rules of the system's ANSI code page: its lead bytes, and "D" texts read by VarUI4FromStr.
registrar::TextRules ansiTextRules() noexcept;
