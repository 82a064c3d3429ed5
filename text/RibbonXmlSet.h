#pragma once

#include <string>

// Where the six markup documents are: the files the installer named.
struct RibbonXmlPaths {
    std::string word;
    std::string wordGeneric;
    std::string excel;
    std::string excelGeneric;
    std::string powerPoint;
    std::string powerPointGeneric;
};

// The six ribbon-markup documents the add-in can hand to a host: for each of Word, Excel and PowerPoint one
// full document (the driver takes one-shot options) and one generic document. Loaded once, handed out
// unchanged.
class RibbonXmlSet {
public:
    // Windows only: reads the six UTF-8 files. True when all six were read; a file that cannot be read leaves
    // its document empty.
    bool load(const RibbonXmlPaths& paths);

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
