#include "text/RibbonXmlSet.h"

#include "text/Utf8TextFile.h"

bool RibbonXmlSet::load(const RibbonXmlPaths& paths) {
    struct Document {
        const std::string& path;
        std::string& text;
    };
    const Document documents[] = {
        {paths.word, wordXml_},
        {paths.wordGeneric, wordGenericXml_},
        {paths.excel, excelXml_},
        {paths.excelGeneric, excelGenericXml_},
        {paths.powerPoint, powerPointXml_},
        {paths.powerPointGeneric, powerPointGenericXml_},
    };
    for (const Document& document : documents) document.text.clear();

    // Each document stands alone: one missing or broken file leaves only its own document empty.
    const Utf8TextFile loader;
    bool allRead = true;
    for (const Document& document : documents) {
        if (!loader.readFile(document.path, document.text)) allRead = false;
    }
    return allRead;
}
