#pragma once

#include <map>
#include <string>
#include <vector>

namespace hostsim {

// One control the markup defines, with the attributes that bind its callbacks (getLabel="GetLabel", ...).
struct MarkupControl {
    std::wstring kind;  // group, dropDown, checkBox or button
    std::wstring id;
    std::map<std::wstring, std::wstring> attributes;

    // The attribute's value, or empty.
    std::wstring attribute(const std::wstring& name) const;
};

// The controls of a custom-UI document in document order, as the host reads them to build its ribbon.
std::vector<MarkupControl> controlsOf(const std::wstring& markup);

}  // namespace hostsim
