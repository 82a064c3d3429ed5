// Parses any text as a string file in a single-byte and a double-byte code page, then asks for texts and
// counts with keys and pieces taken from the input itself. The sanitizers catch what goes wrong inside; the
// checks below catch a table that contradicts itself.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/testing/ModelCodePages.h"
#include "text/StringTable.h"

namespace {

const SingleByteCodePage kSingleByte;
const FakeDoubleByteCodePage kDoubleByte;

void exercise(const CodePage& codePage, const std::string& content) {
    StringTable table(codePage);
    table.parse(content);
    // A few probes cut from the input: whole lines and their pieces.
    std::size_t begin = 0;
    for (int probe = 0; probe < 16 && begin < content.size(); ++probe) {
        std::size_t end = content.find('\n', begin);
        if (end == std::string::npos) end = content.size();
        const std::string piece = content.substr(begin, end - begin);
        const std::string text = table.lookup(piece);
        const int count = table.countKeysContaining(piece);
        if (count < 0 || count > static_cast<int>(StringTable::kMaxEntries)) std::abort();
        // A key found by lookup is contained in itself, so it is counted.
        if (!piece.empty() && text != piece && count == 0) std::abort();
        const std::string half = piece.substr(0, piece.size() / 2);
        if (table.countKeysContaining(half) < count && !half.empty()) std::abort();
        begin = end + 1;
    }
    if (table.countKeysContaining("") != 0) std::abort();
    StringTable::substitutePlaceholders(content);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string content(reinterpret_cast<const char*>(data), size);
    exercise(kSingleByte, content);
    exercise(kDoubleByte, content);
    return 0;
}
