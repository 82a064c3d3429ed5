#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Whether a string file's texts come through the system's ANSI code page whole. The add-in
// converts every text to that code page as it loads the file, and a character the code page lacks is shown as
// a stand-in (mostly '?'): a Japanese file on a machine whose code page is 1252 labels the ribbon with
// question marks. The add-in cannot tell; this check can, for the tests and for the doctor.

// A key or text that the code page does not carry as the file has it.
struct DamagedText {
    std::string key;         // the key as the file writes it (UTF-8)
    std::u16string written;  // the text as the file writes it
    std::u16string shown;    // the text as the add-in hands it to the host
};

struct CodePageFit {
    bool readable = false;  // the file was read as the add-in reads it and held at least one text
    unsigned codePage = 0;  // the system's ANSI code page, the one the texts went through
    std::size_t texts = 0;  // how many keys the file holds
    std::vector<DamagedText> damaged;

    bool clean() const { return readable && damaged.empty(); }
};

// Loads the string file at `path` through the add-in's own string table in the ANSI code page and
// compares every key and text with the file's UTF-8: a character replaced, fitted to a look-alike, or a
// double-byte character cut in two all count as damage. Never throws; running out of memory gives an
// unreadable result.
CodePageFit checkCodePageFit(const std::string& path) noexcept;
