#pragma once

#include "about/AboutBox.h"

// The About box for right-to-left languages (template 410, mirrored). Its legal lines stay where the template
// puts them.
class AboutDialogRTL final : public AboutBox {
public:
    explicit AboutDialogRTL(const StringTable* strings) noexcept;
};
