#include <new>
#include <stdexcept>

#include "text/StringTable.h"
#include "text/Utf8TextFile.h"

// Loading from disk needs the platform's file access, so it lives apart from the parsing.

bool StringTable::load(const std::string& path) {
    try {
        std::string content;
        if (!Utf8TextFile().readFile(path, content)) return false;
        return parse(content);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    // Out of memory part way: an empty table, so that every text falls back to its key.
    parse(std::string());
    return false;
}
