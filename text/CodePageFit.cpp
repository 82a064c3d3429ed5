#include "text/CodePageFit.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "text/AnsiCodePage.h"
#include "text/CodePage.h"
#include "text/StringTable.h"
#include "text/Utf8Decoder.h"
#include "text/Utf8TextFile.h"
#include "win/AnsiText.h"
#include "win/FailurePolicy.h"

namespace {

// The string file taken byte by byte, as it is written rather than as a code page shows it. No byte of a
// UTF-8 multi-byte sequence is a double quote or a line feed, so lines and fields are cut exactly where they
// are cut in the decoded text.
class Utf8AsWritten final : public CodePage {
public:
    bool isLeadByte(unsigned char) const override { return false; }
    void toUpper(std::string& text) const override {
        for (char& c : text) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
    }
};

std::u16string decoded(const std::string& utf8) {
    std::u16string units;
    decodeUtf8(reinterpret_cast<const unsigned char*>(utf8.data()), utf8.size(), units);
    return units;
}

// `text` widened from the ANSI code page, as the add-in hands it to the host. False when the text is not valid
// in that code page, such as a double-byte character without its second byte.
bool widened(const std::string& text, std::u16string& units) {
    const std::wstring wide = win::widen(text);
    units.assign(wide.begin(), wide.end());
    return win::isValidAnsi(text) && (text.empty() || !wide.empty());
}

}  // namespace

CodePageFit checkCodePageFit(const std::string& path) noexcept {
    return orFallback(CodePageFit(), [&] {
        CodePageFit fit;
        fit.codePage = ::GetACP();
        StringTable shown(AnsiCodePage::instance());
        std::string bytes;
        if (!shown.load(path) || !Utf8TextFile().readBytes(path, bytes)) return fit;
        const Utf8AsWritten asWritten;
        StringTable written(asWritten);
        written.parse(bytes);

        fit.readable = true;
        fit.texts = written.size();
        // A file cut short by a NUL, which ends the add-in's text, has more keys written than shown.
        const std::size_t count = std::max(written.size(), shown.size());
        const std::string kNothing;
        for (std::size_t i = 0; i < count; ++i) {
            const std::string& writtenKey = i < written.size() ? written.key(i) : kNothing;
            const std::string& writtenValue = i < written.size() ? written.value(i) : kNothing;
            DamagedText text{writtenKey, decoded(writtenValue), {}};
            std::u16string shownKey;
            const bool valid = widened(i < shown.size() ? shown.key(i) : kNothing, shownKey) &&
                               widened(i < shown.size() ? shown.value(i) : kNothing, text.shown);
            if (!valid || i >= shown.size() || shownKey != decoded(writtenKey) ||
                text.shown != text.written) {
                fit.damaged.push_back(std::move(text));
            }
        }
        return fit;
    });
}
