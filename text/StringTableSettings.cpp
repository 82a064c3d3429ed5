#include "settings/ToolbarSettings.h"
#include "text/AnsiCodePage.h"
#include "text/StringTable.h"

// The add-in's own table: the file the installer named, in the ANSI code page of the connecting thread.
StringTable::StringTable(const ToolbarSettings& settings) : StringTable(AnsiCodePage::instance()) {
    load(settings.stringsFilePath());
}
