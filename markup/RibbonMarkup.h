#pragma once

#include <map>
#include <string>
#include <vector>

namespace markup {

// One control the markup defines, with the attributes that bind its callbacks (getLabel="GetLabel", ...).
struct MarkupControl {
    std::wstring kind;  // the element's name: group, dropDown, checkBox, button, ...
    std::wstring id;
    std::wstring container;  // the element it sits in: group, dialogBoxLauncher, box, ...
    std::map<std::wstring, std::wstring> attributes;

    // The attribute's value, or empty.
    std::wstring attribute(const std::wstring& name) const;
};

// A custom-UI document as a host reads it, with a real XML parser (the platform's MSXML): whether it is well
// formed (and where not), its onLoad callback, its controls in document order, and the ids that more than one
// control claims. The caller's thread must have entered a COM apartment.
struct MarkupDocument {
    bool parsed = false;  // the parser could be created and read the text
    std::wstring noParser;  // why no parser could be created, when the reason is known
    bool wellFormed = false;
    std::wstring error;  // the parser's reason when it is not well formed
    long errorLine = 0;
    long errorColumn = 0;
    std::wstring onLoad;
    std::vector<MarkupControl> controls;
    std::vector<std::wstring> duplicateIds;
};

// Where the parser comes from. Office creates it through COM, which reads the merged HKEY_CLASSES_ROOT: for
// the simulator, as Office does. A program that may run with an administrator's rights must not load what a
// user's own classes name: it takes the parser's class from the machine's registration alone, loads the
// library that names only from System32, and asks that library itself for the class.
enum class ParserSource { AsOffice, MachineOnly };

MarkupDocument readMarkup(const std::wstring& markup, ParserSource source = ParserSource::AsOffice);

// The controls of a custom-UI document in document order, as the host reads them to build its ribbon; none
// when the document is not well formed.
std::vector<MarkupControl> controlsOf(const std::wstring& markup);

}  // namespace markup
