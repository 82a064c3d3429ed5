#include "tools/hostsim/RibbonMarkup.h"

#include <regex>

namespace hostsim {

std::wstring MarkupControl::attribute(const std::wstring& name) const {
    const auto found = attributes.find(name);
    return found == attributes.end() ? std::wstring() : found->second;
}

std::vector<MarkupControl> controlsOf(const std::wstring& markup) {
    static const std::wregex element(L"<(group|dropDown|checkBox|button)\\b([^>]*)>");
    static const std::wregex attribute(L"([A-Za-z]+)\\s*=\\s*\"([^\"]*)\"");
    std::vector<MarkupControl> controls;
    for (std::wsregex_iterator it(markup.begin(), markup.end(), element), end; it != end; ++it) {
        MarkupControl control;
        control.kind = (*it)[1].str();
        const std::wstring attributes = (*it)[2].str();
        for (std::wsregex_iterator at(attributes.begin(), attributes.end(), attribute); at != end; ++at)
            control.attributes[(*at)[1].str()] = (*at)[2].str();
        control.id = control.attribute(L"id");
        controls.push_back(std::move(control));
    }
    return controls;
}

}  // namespace hostsim
