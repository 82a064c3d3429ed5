#pragma once

#include "about/AboutBox.h"

// The About box for left-to-right languages (template 400). A first legal line too wide for its control wraps
// onto a second line; the second legal line then moves down by one line so the two do not overlap.
class AboutDialog final : public AboutBox {
public:
    explicit AboutDialog(const StringTable* strings) noexcept;

private:
    void arrangeLegalLines(const std::string& firstLine) override;
};
