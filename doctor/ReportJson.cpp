#include "doctor/ReportJson.h"

#include <cstdint>
#include <cstdio>

namespace doctor {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD
// The form of the report that fleet tools parse by (quillery-doctor-report.schema.json, installed beside the
// doctor): it rises only when a field goes, is renamed or changes its meaning, never for a field added.
constexpr int kReportVersion = 1;

// The length of the well-formed UTF-8 sequence at `at`, or 0 when there is none: no overlong forms, no
// surrogates, nothing past U+10FFFF.
std::size_t sequenceAt(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t index) { return static_cast<unsigned char>(text[index]); };
    const unsigned char first = byte(at);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (first < 0x80) return 1;
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3;
        if (first == 0xE0) low = 0xA0;
        if (first == 0xED) high = 0x9F;
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4;
        if (first == 0xF0) low = 0x90;
        if (first == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    for (std::size_t index = 1; index < length; ++index) {
        const unsigned char next = byte(at + index);
        if (next < (index == 1 ? low : 0x80) || next > (index == 1 ? high : 0xBF)) return 0;
    }
    return length;
}

const char* boolean(bool value) {
    return value ? "true" : "false";
}

}  // namespace

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = sequenceAt(text, at);
        const auto c = static_cast<unsigned char>(text[at]);
        if (length == 0) {
            out += kReplacement;
            ++at;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out.append(text, at, length);
        }
        at += length;
    }
    return out + "\"";
}

std::string reportJson(const Report& report, const RepairResult* repaired, const char* version,
                       std::string (*toUtf8)(const std::string&)) {
    std::string out =
        "{\"reportVersion\":" + std::to_string(kReportVersion) + ",\"version\":" + jsonString(version) +
        ",\"ribbonShows\":" + boolean(report.ribbonShows()) +
        ",\"hosts\":{\"word\":" + boolean(report.wordShows) + ",\"excel\":" + boolean(report.excelShows) +
        ",\"powerpoint\":" + boolean(report.powerPointShows) + "},\"links\":[";
    bool first = true;
    for (const Finding& finding : report.findings) {
        out += first ? "\n" : ",\n";
        first = false;
        out += "{\"link\":" + jsonString(toUtf8(finding.link)) + ",\"status\":\"" + statusName(finding.status) +
               "\",\"found\":" + jsonString(toUtf8(finding.found)) + ",\"fix\":" + jsonString(toUtf8(finding.fix)) +
               ",\"title\":" + jsonString(toUtf8(finding.title)) + "}";
    }
    out += "\n]";
    if (repaired) {
        out += ",\"repair\":{\"restoreFile\":" + jsonString(repaired->restoreFile) +
               ",\"problem\":" + jsonString(repaired->problem) + ",\"changes\":[";
        for (std::size_t index = 0; index < repaired->changes.size(); ++index) {
            const Change& change = repaired->changes[index];
            out += std::string(index ? ",\n" : "\n") + "{\"change\":" + jsonString(change.what) +
                   ",\"done\":" + boolean(change.done) + ",\"error\":" + jsonString(change.error) + "}";
        }
        out += "]}";
    }
    return out + "}\n";
}

namespace {

// `text` cut to at most `bytes`, at the start of a UTF-8 character, with "..." where it was cut.
std::string shortened(const std::string& text, std::size_t bytes) {
    if (text.size() <= bytes) return text;
    std::size_t cut = bytes > 3 ? bytes - 3 : 0;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return text.substr(0, cut) + "...";
}

// A finding's text made valid and kept on one line.
std::string oneLine(const std::string& utf8) {
    std::string text;
    for (std::size_t at = 0; at < utf8.size();) {
        const std::size_t length = sequenceAt(utf8, at);
        if (length == 0) {
            text += kReplacement;
            ++at;
            continue;
        }
        if (static_cast<unsigned char>(utf8[at]) < 0x20)
            text += ' ';
        else
            text.append(utf8, at, length);
        at += length;
    }
    return text;
}

}  // namespace

std::string summaryLine(const Report& report, const char* version, std::string (*toUtf8)(const std::string&),
                        std::size_t limit) {
    constexpr std::size_t kFoundBytes = 240;
    bool warned = false;
    std::string links;
    for (const Finding& finding : report.findings) {
        if (finding.status == Status::Ok) continue;
        warned = warned || finding.status == Status::Warning;
        links += std::string(" ") + (finding.status == Status::Broken ? "BROKEN " : "WARNING ") +
                 oneLine(toUtf8(finding.link)) + ": " + shortened(oneLine(toUtf8(finding.found)), kFoundBytes) +
                 ".";
    }
    const char* verdict = !report.ribbonShows() ? "BROKEN" : warned ? "WARNING" : "OK";
    std::string shows, hidden;
    const std::pair<const char*, bool> hosts[] = {
        {"Word", report.wordShows}, {"Excel", report.excelShows}, {"PowerPoint", report.powerPointShows}};
    for (const auto& [host, showsThere] : hosts) {
        std::string& list = showsThere ? shows : hidden;
        list += (list.empty() ? "" : ", ") + std::string(host);
    }
    const std::string line = "Quillery " + oneLine(version) + " " + verdict + ": the group shows in " +
                             (shows.empty() ? "no host" : shows) + (hidden.empty() ? "" : ", not in " + hidden) +
                             "." + links;
    return shortened(line, limit);
}

}  // namespace doctor
