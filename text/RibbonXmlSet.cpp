#include "text/RibbonXmlSet.h"

#include "settings/ToolbarSettings.h"
#include "text/Utf8TextFile.h"

RibbonXmlSet::RibbonXmlSet(const ToolbarSettings& settings) {
    load(settings);
}

bool RibbonXmlSet::load(const ToolbarSettings& settings) {
    using PathGetter = std::string (ToolbarSettings::*)() const noexcept;
    struct Document {
        PathGetter path;
        std::string* text;
    };
    const Document documents[] = {
        {&ToolbarSettings::wordLargeXmlPath, &wordXml_},
        {&ToolbarSettings::wordLargeGenericXmlPath, &wordGenericXml_},
        {&ToolbarSettings::excelLargeXmlPath, &excelXml_},
        {&ToolbarSettings::excelLargeGenericXmlPath, &excelGenericXml_},
        {&ToolbarSettings::powerPointLargeXmlPath, &powerPointXml_},
        {&ToolbarSettings::powerPointLargeGenericXmlPath, &powerPointGenericXml_},
    };
    for (const Document& document : documents) document.text->clear();

    // Each document stands alone: one missing or broken file leaves only its own document empty.
    const Utf8TextFile loader;
    bool allRead = true;
    for (const Document& document : documents) {
        if (!loader.readFile((settings.*document.path)(), *document.text)) allRead = false;
    }
    return allRead;
}
