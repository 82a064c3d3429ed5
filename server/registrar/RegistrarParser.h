#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "server/registrar/ScriptRegistry.h"

namespace registrar {

// The variables a script refers to as %NAME%. A name may be defined twice; a lookup finds the first
// definition whose name equals the one asked for without regard to letter case.
class RegistrarVariables {
public:
    // kInvalidArgument when either is null, kOutOfMemory when the copy fails.
    Result defineVariable(const char* name, const char* text) noexcept;
    const std::string* lookupVariable(const std::string& name) const noexcept;
    void clearVariables() noexcept { entries_.clear(); }

private:
    std::vector<std::pair<std::string, std::string>> entries_;
};

// `text` with every single quote doubled, stepping by whole characters, so that S '%MODULE%' stores the path
// unchanged.
std::string doubledQuotes(const std::string& text, LeadBytePredicate isLeadByte);

// A number conversion for texts of decimal digits (blanks around them allowed) and "&H" hexadecimal.
Result plainNumber(const std::string& text, std::uint32_t& number);

// Reads a registrar script and creates, or removes again, the keys and values it names. One parser serves one
// run; it holds the expanded text and its reading position.
class RegistrarParser {
public:
    static constexpr std::size_t kTokenBufferSize = 4096;
    static constexpr std::size_t kMaxVariableName = 31;
    // Deeper than the registry itself allows; keeps a hostile script from exhausting the stack.
    static constexpr int kMaxNesting = 512;

    RegistrarParser(ScriptRegistry& registry, const RegistrarVariables& variables, const TextRules& rules)
        : registry_(&registry), variables_(variables), rules_(rules) {}

    // Registers (`doRegister`) or unregisters everything the script names. The text ends at its first NUL.
    Result processScript(const std::string& text, bool doRegister) noexcept;

    // How many root blocks the last run completed. With a limit set, a run stops (successfully) after that
    // many blocks: what a failing run leaves behind can then be compared with what its earlier blocks alone
    // leave.
    std::size_t completedRootBlocks() const noexcept { return completedBlocks_; }
    void limitRootBlocks(std::size_t count) noexcept { blockLimit_ = count; }

    // `text` with its %NAME% references replaced and every "%%" made one "%".
    Result expandVariables(const std::string& text, std::string& expanded) const;

private:
    struct CreatedKey {
        Key root;
        std::vector<std::string> path;
    };

    Result processRootBlocks(bool doRegister);
    Result registerRootBlock(Key root, std::size_t blockStart);
    Result processKeyList(Key parent, bool doRegister, bool recovery, int depth);
    Result registerKeyEntry(Key parent, bool removable, int depth);
    Result unregisterKeyEntry(Key parent, bool removable, bool recovery, int depth);
    Result setValue(Key key, const std::string* valueName);
    Result skipAssignment();
    long deleteKeyTree(Key parent, const std::string& name, int depth);
    bool hasSubkeys(Key key);
    void removeCreatedKeys();

    Result nextToken();
    void skipWhiteSpace();
    std::size_t characterLength(std::size_t position) const;
    bool tokenStartsBlock() const { return token_ == "{"; }
    bool tokenEndsBlock() const { return !token_.empty() && token_[0] == '}'; }
    bool tokenIsAssignment() const { return !token_.empty() && token_[0] == '='; }
    bool tokenIs(const char* keyword) const;
    // One key's name: not empty (which would stand for the parent itself) and without a backslash (which
    // would reach past the entry's own key).
    bool tokenIsKeyName() const;

    ScriptRegistry* registry_;
    const RegistrarVariables& variables_;
    TextRules rules_;
    std::string text_;
    std::size_t position_ = 0;
    std::string token_;
    // While a root block registers: the path below its root of the key being worked in, and every key the
    // block created, so that a failing block can take back exactly what it added.
    std::vector<std::string> path_;
    std::vector<CreatedKey> created_;
    Key trackedRoot_ = kNoKey;
    std::size_t completedBlocks_ = 0;
    std::size_t blockLimit_ = static_cast<std::size_t>(-1);
    bool tracking_ = false;
};

}  // namespace registrar
