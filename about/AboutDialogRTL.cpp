#include "about/AboutDialogRTL.h"

#include "about/AboutResources.h"

AboutDialogRTL::AboutDialogRTL(const StringTable* strings) noexcept
    : AboutBox(strings,
               {QUILLERY_ABOUT_RTL_TEMPLATE, QUILLERY_ABOUT_RTL_OK, QUILLERY_ABOUT_RTL_VERSION,
                QUILLERY_ABOUT_RTL_COPYRIGHT, QUILLERY_ABOUT_RTL_ALL_RIGHTS, QUILLERY_ABOUT_RTL_BANNER}) {}
