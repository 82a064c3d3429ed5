#include "doctor/ReportText.h"

#include <windows.h>

#include <cstdio>

#include "QuilleryVersion.h"

namespace doctor {
namespace {

// Texts come from the registry and the add-in's texts in the ANSI code page; reports are UTF-8.
std::string utf8(const std::string& ansi) {
    if (ansi.empty()) return {};
    const int wideLength =
        ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    if (wideLength <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], wideLength);
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, &result[0], length, nullptr, nullptr);
    return result;
}

std::string jsonString(const std::string& ansi) {
    std::string out = "\"";
    for (const char c : utf8(ansi)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

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

const char* yesNo(bool value) {
    return value ? "yes" : "no";
}

}  // namespace

std::string asText(const Report& report) {
    std::string out = std::string("Quillery doctor ") + kProductVersion + "\n";
    for (const Finding& finding : report.findings) {
        char title[32];
        std::snprintf(title, sizeof(title), "%-26s", finding.title.c_str());
        out += std::string(label(finding.status)) + "  " + utf8(title) + " " + utf8(finding.found);
        if (!finding.fix.empty()) out += " -> " + utf8(finding.fix);
        out += "\n";
    }
    out += std::string("Ribbon shows: Word ") + yesNo(report.wordShows) + ", Excel " +
           yesNo(report.excelShows) + ", PowerPoint " + yesNo(report.powerPointShows) + "\n";
    return out;
}

std::string asJson(const Report& report, const RepairResult* repaired) {
    std::string out = std::string("{\"version\":\"") + kProductVersion +
                      "\",\"ribbonShows\":" + (report.ribbonShows() ? "true" : "false") +
                      ",\"hosts\":{\"word\":" + (report.wordShows ? "true" : "false") +
                      ",\"excel\":" + (report.excelShows ? "true" : "false") +
                      ",\"powerpoint\":" + (report.powerPointShows ? "true" : "false") + "},\"links\":[";
    bool first = true;
    for (const Finding& finding : report.findings) {
        out += first ? "\n" : ",\n";
        first = false;
        out += "{\"link\":" + jsonString(finding.link) + ",\"status\":\"" + statusName(finding.status) +
               "\",\"found\":" + jsonString(finding.found) + ",\"fix\":" + jsonString(finding.fix) +
               ",\"title\":" + jsonString(finding.title) + "}";
    }
    out += "\n]";
    if (repaired) {
        // Its texts are UTF-8 already.
        const auto raw = [](const std::string& text) {
            std::string escaped = "\"";
            for (const char c : text) {
                if (c == '"' || c == '\\') escaped += '\\';
                escaped += c;
            }
            return escaped + "\"";
        };
        out += ",\"repair\":{\"restoreFile\":" + raw(repaired->restoreFile) +
               ",\"problem\":" + raw(repaired->problem) + ",\"changes\":[";
        for (size_t index = 0; index < repaired->changes.size(); ++index) {
            const Change& change = repaired->changes[index];
            out += std::string(index ? ",\n" : "\n") + "{\"change\":" + raw(change.what) +
                   ",\"done\":" + (change.done ? "true" : "false") + ",\"error\":" + raw(change.error) + "}";
        }
        out += "]}";
    }
    return out + "}\n";
}

}  // namespace doctor
