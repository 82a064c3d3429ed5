#pragma once

#include <optional>
#include <string>
#include <vector>

#include "doctor/PeImage.h"

// What a customer's security team checks in every program and library we ship, as Microsoft's BinSkim checks it,
// judged from the image alone with the doctor's PE reader. Each rule says which of BinSkim's it answers, and
// whether a release must pass it or whether it names a limit of our toolchain. Besides BinSkim's, the load
// configuration must keep the loader to System32 for the image's imports, and every place Windows or a host
// calls into the image through a pointer must be in the guard's table. Needs no operating system.
namespace hardening {

enum class Verdict { Passed, Failed, CannotApply };

struct Finding {
    const char* rule;
    const char* binskim;  // the BinSkim rule it answers; "" for our own
    Verdict verdict;
    bool required;  // a failure fails the release
    std::string why;
};

// A shipped file: its bytes and, when the build kept it, its debug file's, whose symbol table tells where the
// stack protector's failure routine lies.
struct ImageBytes {
    const doctor::PeImage& image;
    const std::vector<unsigned char>& bytes;
};

std::vector<Finding> checkImage(const ImageBytes& shipped, const std::optional<ImageBytes>& debug);

// "passed", "FAILED", "cannot apply".
const char* verdictText(Verdict verdict);

}  // namespace hardening
