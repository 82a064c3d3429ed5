#pragma once

#include <array>
#include <cstddef>
#include <string>

class CodePage;

// Every text the add-in shows, loaded once from the localised string file that the installation key names. A
// text the file lacks is shown as its key, so a missing or broken file leaves every control labelled with its
// key.
class StringTable {
public:
    static constexpr std::size_t kSlots = 250;
    // Slot 249 always keeps an empty key: scans stop at the first empty key.
    static constexpr std::size_t kMaxEntries = 249;

    // An empty table working in `codePage` (which must outlive it).
    explicit StringTable(const CodePage& codePage);

    // Windows only: reads the UTF-8 string file at `path` and parses it; false, and the table empty, when the
    // file cannot be read.
    bool load(const std::string& path);
    bool parse(const std::string& content);

    // The text for `key` (compared ignoring case), or `key` itself, exactly as given.
    std::string lookup(const std::string& key) const;
    // How many keys contain `text` anywhere, ignoring case; 0 for an empty text.
    int countKeysContaining(const std::string& text) const;
    // The same, leaving out the keys that are `text` itself: a drop-down's items beside its own label.
    int countLongerKeysContaining(const std::string& text) const;

    // The loaded keys in the file's order (a key whose line had no text has an empty text), for checking a
    // file as a whole.
    std::size_t size() const;
    const std::string& key(std::size_t index) const { return keys_[index]; }
    const std::string& value(std::size_t index) const { return values_[index]; }

    static std::string substitutePlaceholders(const std::string& value);

private:
    int countContaining(const std::string& text, bool countingText) const;

    const CodePage& codePage_;
    std::array<std::string, kSlots> keys_;
    std::array<std::string, kSlots> values_;
    // The keys upper-cased by the code page, filled once the file is parsed.
    std::array<std::string, kSlots> upperKeys_;
};
