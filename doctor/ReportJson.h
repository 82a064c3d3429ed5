#pragma once

#include <string>

#include "doctor/Finding.h"
#include "doctor/Repair.h"

namespace doctor {

// A JSON string literal of `text` read as UTF-8: quotes, backslashes and control characters escaped, and every
// byte that is not part of a well-formed UTF-8 sequence replaced by U+FFFD. Whatever the bytes, the result is
// valid JSON: the texts come from registry names and paths that any user can write.
std::string jsonString(const std::string& text);

// The report as JSON for fleet tools (and for the doctor of the other bitness): the version, whether each host
// shows the group, every link, and what --repair did when it ran. Findings are handed to `toUtf8` first (they
// are in the ANSI code page); the repair's texts are UTF-8 already.
std::string reportJson(const Report& report, const RepairResult* repaired, const char* version,
                       std::string (*toUtf8)(const std::string&));

// The report on one line, for fleet tools that keep little of a script's output (Intune shows 2,048
// characters): the verdict (OK, WARNING when the group shows but a link is not as it should be, BROKEN when a
// host will not show it), where the group shows, and each link that is not sound with what was found there,
// shortened to fit. UTF-8, never longer than `limit` bytes, never cut inside a character.
std::string summaryLine(const Report& report, const char* version, std::string (*toUtf8)(const std::string&),
                        std::size_t limit = 2048);

}  // namespace doctor
