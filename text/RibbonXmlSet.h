#pragma once

#include <string>

class ToolbarSettings;

// The six ribbon-markup documents the add-in can hand to a host: for each of Word, Excel and PowerPoint one
// full document (the driver takes one-shot options) and one generic document. Loaded once, handed out
// unchanged.
class RibbonXmlSet {
public:
    // Loads the six files named by the settings; the settings are used only here.
    explicit RibbonXmlSet(const ToolbarSettings& settings);

    // True when all six files were read; a file that cannot be read leaves its document empty.
    bool load(const ToolbarSettings& settings);

    // Copies: changing a returned text does not change the set.
    std::string wordXml() const { return wordXml_; }
    std::string wordGenericXml() const { return wordGenericXml_; }
    std::string excelXml() const { return excelXml_; }
    std::string excelGenericXml() const { return excelGenericXml_; }
    std::string powerPointXml() const { return powerPointXml_; }
    std::string powerPointGenericXml() const { return powerPointGenericXml_; }

private:
    std::string wordXml_;
    std::string wordGenericXml_;
    std::string excelXml_;
    std::string excelGenericXml_;
    std::string powerPointXml_;
    std::string powerPointGenericXml_;
};
