// The time-stamp readers on any bytes: they parse the signature of any file a user can register as the
// add-in's DLL. Neither reads past its input (the sanitizers), and a time they give is always of the form
// "YYYY-MM-DD hh:mm:ss UTC".

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "trust/TimeStampToken.h"

namespace {

void checkShape(const std::optional<std::string>& time) {
    if (!time) return;
    const std::string& text = *time;
    if (text.size() != 23 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
        text[16] != ':' || text.compare(19, 4, " UTC") != 0)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkShape(trust::timeStampTokenTime(data, size));
    checkShape(trust::counterSignatureTime(data, size));
    return 0;
}
