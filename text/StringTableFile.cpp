#include "text/StringTable.h"
#include "text/Utf8TextFile.h"
#include "win/FailurePolicy.h"

// Loading from disk needs the platform's file access, so it lives apart from the parsing.

bool StringTable::load(const std::string& path) {
    enum class Outcome { Loaded, Unreadable, OutOfMemory };
    const Outcome outcome = orFallback(Outcome::OutOfMemory, [&] {
        std::string content;
        if (!Utf8TextFile().readFile(path, content)) return Outcome::Unreadable;
        return parse(content) ? Outcome::Loaded : Outcome::Unreadable;
    });
    // Out of memory part way: an empty table, so that every text falls back to its key.
    if (outcome == Outcome::OutOfMemory) parse(std::string());
    return outcome == Outcome::Loaded;
}
