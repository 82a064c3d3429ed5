#pragma once

#include <cstdint>
#include <string>

#include "win/ErrorResult.h"

// What the registrar interpreter needs of a registry, in the platform's own numbers but without the
// platform's headers: the Win32 registry in the library, an in-memory registry in the tests and the fuzzer.
namespace registrar {

// Results in HRESULT form.
using Result = std::int32_t;
constexpr Result kOk = 0;
constexpr Result kFail = static_cast<Result>(0x80004005);
constexpr Result kOutOfMemory = static_cast<Result>(0x8007000E);
constexpr Result kInvalidArgument = static_cast<Result>(0x80070057);
// Every syntax error of a script is reported as this one code, with no position or text.
constexpr Result kSyntaxError = static_cast<Result>(0x80020009);
constexpr bool failed(Result result) {
    return result < 0;
}
// A registry error code as the result it gives (the project's one conversion).
using win::resultFromError;

// Registry error codes the interpreter tells apart.
constexpr long kSuccess = 0;
constexpr long kFileNotFound = 2;
constexpr long kAccessDenied = 5;
constexpr long kNotEnoughMemory = 14;
constexpr long kMoreData = 234;
constexpr long kNoMoreItems = 259;

// An open key. The predefined roots carry the platform's values, sign-extended as a 64-bit handle is.
using Key = std::uintptr_t;
constexpr Key kNoKey = 0;
constexpr Key rootKey(std::uint32_t code) {
    return static_cast<Key>(static_cast<std::intptr_t>(static_cast<std::int32_t>(code)));
}
constexpr Key kClassesRoot = rootKey(0x80000000u);
constexpr Key kCurrentUser = rootKey(0x80000001u);
constexpr Key kLocalMachine = rootKey(0x80000002u);
constexpr Key kUsers = rootKey(0x80000003u);
constexpr Key kPerformanceData = rootKey(0x80000004u);
constexpr Key kCurrentConfig = rootKey(0x80000005u);
constexpr Key kDynData = rootKey(0x80000006u);

// Access masks the interpreter opens keys with.
constexpr std::uint32_t kReadWriteAccess = 0x2001F;
constexpr std::uint32_t kReadAccess = 0x20019;
constexpr std::uint32_t kWriteAccess = 0x20006;

// Value types.
constexpr std::uint32_t kString = 1;
constexpr std::uint32_t kBinary = 3;
constexpr std::uint32_t kDword = 4;
constexpr std::uint32_t kMultiString = 7;

// Each operation returns a registry error code (0 for success). Names never contain a backslash.
class ScriptRegistry {
public:
    virtual ~ScriptRegistry() = default;
    virtual long openKey(Key parent, const std::string& name, std::uint32_t access, Key& key) = 0;
    // Opens the key, creating it when missing: no class, non-volatile, read and write access.
    virtual long createKey(Key parent, const std::string& name, Key& key) = 0;
    // `name` null sets the key's default value.
    virtual long setValue(Key key, const std::string* name, std::uint32_t type, const unsigned char* data,
                          std::uint32_t size) = 0;
    virtual long deleteValue(Key key, const std::string& name) = 0;
    // Deletes a key that has no subkeys.
    virtual long deleteKey(Key parent, const std::string& name) = 0;
    // The name of the subkey at `index`; kNoMoreItems past the last one.
    virtual long enumerateKey(Key key, std::uint32_t index, std::string& name) = 0;
    virtual long countSubkeys(Key key, std::uint32_t& count) = 0;
    virtual long closeKey(Key key) = 0;
};

// The code page the script text is in: whether a byte starts a double-byte character.
using LeadBytePredicate = bool (*)(unsigned char byte);
// Converts the text of a "D" value to a number: kOk with the number, kOutOfMemory, or any other failure for a
// text that is not a number.
using NumberConversion = Result (*)(const std::string& text, std::uint32_t& number);

struct TextRules {
    LeadBytePredicate isLeadByte;
    NumberConversion toNumber;
};

}  // namespace registrar
