#include "text/StringTable.h"

#include <cstring>

#include "text/CodePage.h"

namespace {

constexpr char kQuote = '"';
constexpr char kLineFeed = '\n';
constexpr char kPercent = '%';

struct Placeholder {
    const char* name;
    const char* replacement;
};

// Replaced in this order; the installer writes the maker's and the product's names this way in every
// language.
constexpr Placeholder kPlaceholders[] = {
    {"%OEM%", "Corvane"},
    {"%OEM_FULL%", "Corvane International, Inc."},
    {"%PRODUCT%", "Quillery"},
};

// One line of the string file cut at runs of double quotes. Only a double quote at the start of a character
// counts, so a trailing byte of a double-byte character never ends a field.
class LineFields {
public:
    LineFields(const std::string& content, std::size_t begin, std::size_t end, const CodePage& codePage)
        : content_(content), position_(begin), end_(end), codePage_(codePage) {}

    // The next field, or false when the line holds no more. A field runs up to the next run of quotes or to
    // the end of the line; a run of quotes at the very start of the line yields no field of its own.
    bool next(std::size_t& fieldBegin, std::size_t& fieldEnd) {
        if (position_ >= end_) return false;
        if (first_) {
            first_ = false;
            skipQuotes();
            if (position_ >= end_) return false;
        }
        fieldBegin = position_;
        while (position_ < end_ && content_[position_] != kQuote) position_ = nextCharacter(position_);
        fieldEnd = position_;
        skipQuotes();
        return true;
    }

private:
    std::size_t nextCharacter(std::size_t position) const {
        if (codePage_.isLeadByte(static_cast<unsigned char>(content_[position])) && position + 1 < end_) {
            return position + 2;
        }
        return position + 1;
    }
    void skipQuotes() {
        while (position_ < end_ && content_[position_] == kQuote) ++position_;
    }

    const std::string& content_;
    std::size_t position_;
    std::size_t end_;
    const CodePage& codePage_;
    bool first_ = true;
};

// The first position of `needle` in `haystack` that starts a character, or npos.
std::size_t findAtCharacter(const std::string& haystack, const std::string& needle,
                            const CodePage& codePage) {
    std::size_t boundary = 0;
    std::size_t from = 0;
    for (;;) {
        const std::size_t found = haystack.find(needle, from);
        if (found == std::string::npos) return found;
        // Character starts only move forward, so walking them up to each candidate stays linear in the key.
        while (boundary < found) boundary = codePage.next(haystack, boundary);
        if (boundary == found) return found;
        from = found + 1;
    }
}

}  // namespace

StringTable::StringTable(const CodePage& codePage) : codePage_(codePage) {}

bool StringTable::parse(const std::string& content) {
    for (std::size_t slot = 0; slot < kSlots; ++slot) {
        keys_[slot].clear();
        values_[slot].clear();
        upperKeys_[slot].clear();
    }

    std::size_t slot = 0;
    std::size_t lineBegin = 0;
    while (lineBegin < content.size() && slot < kMaxEntries) {
        const std::size_t lineFeed = content.find(kLineFeed, lineBegin);
        const std::size_t lineEnd = lineFeed == std::string::npos ? content.size() : lineFeed;
        const std::size_t begin = lineBegin;
        lineBegin = lineEnd + 1;
        if (lineEnd == begin) continue;
        if (std::memchr(content.data() + begin, kQuote, lineEnd - begin) == nullptr) continue;

        // Fields 1 and 3 are the element's text around the two attributes and are discarded; field 2 is the
        // key, field 4 the text. A key without a text stays in its slot until a later line brings a key.
        LineFields fields(content, begin, lineEnd, codePage_);
        std::size_t fieldBegin = 0;
        std::size_t fieldEnd = 0;
        if (!fields.next(fieldBegin, fieldEnd)) continue;
        if (!fields.next(fieldBegin, fieldEnd)) continue;
        keys_[slot].assign(content, fieldBegin, fieldEnd - fieldBegin);
        if (!fields.next(fieldBegin, fieldEnd)) continue;
        if (!fields.next(fieldBegin, fieldEnd)) continue;
        values_[slot] = substitutePlaceholders(content.substr(fieldBegin, fieldEnd - fieldBegin));
        ++slot;
    }

    // Keys are upper-cased once here rather than on every lookup: the ribbon asks for texts many times.
    for (std::size_t i = 0; i < kSlots && !keys_[i].empty(); ++i) upperKeys_[i] = codePage_.upper(keys_[i]);
    return slot > 0;
}

std::string StringTable::lookup(const std::string& key) const {
    const std::string upperKey = codePage_.upper(key);
    for (std::size_t i = 0; i < kSlots && !keys_[i].empty(); ++i) {
        if (upperKeys_[i] == upperKey) return values_[i];
    }
    return key;
}

int StringTable::countKeysContaining(const std::string& text) const {
    return countContaining(text, true);
}

int StringTable::countLongerKeysContaining(const std::string& text) const {
    return countContaining(text, false);
}

int StringTable::countContaining(const std::string& text, bool countingText) const {
    if (text.empty()) return 0;
    const std::string upperText = codePage_.upper(text);
    int count = 0;
    for (std::size_t i = 0; i < kSlots && !keys_[i].empty(); ++i) {
        if (!countingText && upperKeys_[i] == upperText) continue;
        if (findAtCharacter(upperKeys_[i], upperText, codePage_) != std::string::npos) ++count;
    }
    return count;
}

std::size_t StringTable::size() const {
    std::size_t count = 0;
    while (count < kSlots && !keys_[count].empty()) ++count;
    return count;
}

std::string StringTable::substitutePlaceholders(const std::string& value) {
    if (value.find(kPercent) == std::string::npos) return value;
    // A percent sign is never the trailing byte of a double-byte character in the code pages Windows has, so
    // a plain byte search finds exactly the placeholders that start a character.
    std::string text = value;
    for (const Placeholder& placeholder : kPlaceholders) {
        const std::size_t nameLength = std::strlen(placeholder.name);
        std::string replaced;
        replaced.reserve(text.size());
        std::size_t from = 0;
        for (std::size_t found = text.find(placeholder.name); found != std::string::npos;
             found = text.find(placeholder.name, from)) {
            replaced.append(text, from, found - from);
            replaced.append(placeholder.replacement);
            from = found + nameLength;
        }
        replaced.append(text, from, std::string::npos);
        text.swap(replaced);
    }
    return text;
}
