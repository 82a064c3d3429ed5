#include "doctor/ReportText.h"

#include <windows.h>

#include <cstdio>

#include "QuilleryVersion.h"
#include "doctor/ReportJson.h"
#include "win/AnsiText.h"

namespace doctor {
namespace {

const char* label(Status status) {
    switch (status) {
        case Status::Ok:
            return "OK     ";
        case Status::Warning:
            return "WARNING";
        case Status::Broken:
            return "BROKEN ";
    }
    return "BROKEN ";
}

// A finding on one line: registry names and paths may hold line breaks and other control characters, which
// would otherwise start lines of their own in a report that people read line by line.
std::string oneLine(const std::string& ansi) {
    std::string utf8 = win::utf8FromAnsi(ansi);
    for (char& c : utf8) {
        if (static_cast<unsigned char>(c) < 0x20) c = '?';
    }
    return utf8;
}

const char* yesNo(bool value) {
    return value ? "yes" : "no";
}

}  // namespace

std::string asText(const Report& report) {
    std::string out = std::string("Quillery doctor ") + kProductVersion + "\n";
    for (const Finding& finding : report.findings) {
        char title[32];
        std::snprintf(title, sizeof(title), "%-26s", finding.title.c_str());
        out += std::string(label(finding.status)) + "  " + oneLine(title) + " " + oneLine(finding.found);
        if (!finding.fix.empty()) out += " -> " + oneLine(finding.fix);
        out += "\n";
    }
    out += std::string("Ribbon shows: Word ") + yesNo(report.wordShows) + ", Excel " +
           yesNo(report.excelShows) + ", PowerPoint " + yesNo(report.powerPointShows) + "\n";
    return out;
}

std::string asJson(const Report& report, const RepairResult* repaired) {
    // Texts come from the registry and the add-in's texts in the ANSI code page; reports are UTF-8.
    return reportJson(report, repaired, kProductVersion, win::utf8FromAnsi);
}

std::string asSummary(const Report& report) {
    // The line break counts too: 2,048 characters in all.
    return summaryLine(report, kProductVersion, win::utf8FromAnsi, 2047) + "\n";
}

}  // namespace doctor
