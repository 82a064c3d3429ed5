#pragma once

#include <string>

// Reads a whole UTF-8 file and hands it back as narrow text in the system's ANSI code page. The
// installer writes the string file and the six ribbon-markup files this way.
class Utf8TextFile {
public:
    // On success replaces `text` with the file's content and returns true. On any failure (no such file, a
    // read error, a file too large to hold, malformed UTF-8, an empty file) returns false and leaves `text`
    // untouched.
    bool readFile(const std::string& path, std::string& text) const;

    // The file's bytes as they are, undecoded: false when it cannot be opened or read whole (a file of 4 GB
    // or more counts as unreadable).
    bool readBytes(const std::string& path, std::string& bytes) const;
};
