#include "doctor/ReportReader.h"

#include <cstdint>

namespace doctor {
namespace {

// A report is three levels deep; a little room for fields added later, none for a stack overflow.
constexpr int kMaxDepth = 8;

class JsonReader {
public:
    explicit JsonReader(const std::string& text) : text_(text) {}

    std::optional<Report> report() {
        Report report;
        bool sawHosts = false, sawLinks = false;
        const bool read = object(0, [&](const std::string& key) {
            if (key == "hosts") return sawHosts = hosts(report);
            if (key == "links") return sawLinks = links(report);
            return skipValue(1);
        });
        skipSpace();
        if (!read || !sawHosts || !sawLinks || at_ != text_.size()) return std::nullopt;
        return report;
    }

private:
    const std::string& text_;
    std::size_t at_ = 0;

    void skipSpace() {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t'))
            ++at_;
    }

    bool take(char c) {
        skipSpace();
        if (at_ >= text_.size() || text_[at_] != c) return false;
        ++at_;
        return true;
    }

    bool word(const char* expected) {
        skipSpace();
        const std::string w(expected);
        if (text_.compare(at_, w.size(), w) != 0) return false;
        at_ += w.size();
        return true;
    }

    // {"key": value, ...}, each value read by `member`, which says whether it could.
    template <typename Member>
    bool object(int depth, Member member) {
        if (depth > kMaxDepth || !take('{')) return false;
        if (take('}')) return true;
        do {
            std::string key;
            if (!string(key) || !take(':') || !member(key)) return false;
        } while (take(','));
        return take('}');
    }

    template <typename Element>
    bool array(int depth, Element element) {
        if (depth > kMaxDepth || !take('[')) return false;
        if (take(']')) return true;
        do {
            if (!element()) return false;
        } while (take(','));
        return take(']');
    }

    bool boolean(bool& value) {
        if (word("true")) {
            value = true;
        } else if (word("false")) {
            value = false;
        } else {
            return false;
        }
        return true;
    }

    static void appendUtf8(std::string& out, uint32_t code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | code >> 6);
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | code >> 12);
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | code >> 18);
            out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    bool hex4(uint32_t& code) {
        if (text_.size() - at_ < 4) return false;
        code = 0;
        for (int digit = 0; digit < 4; ++digit) {
            const char c = text_[at_++];
            const int value = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (value < 0) return false;
            code = code << 4 | static_cast<uint32_t>(value);
        }
        return true;
    }

    bool string(std::string& out) {
        if (!take('"')) return false;
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size()) return false;
            const char escaped = text_[at_++];
            switch (escaped) {
                case '"':
                case '\\':
                case '/':
                    out += escaped;
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    uint32_t code = 0;
                    if (!hex4(code)) return false;
                    // A pair of surrogates is one character; a lone one stands for a character we cannot
                    // know, shown as the replacement character.
                    if (code >= 0xD800 && code < 0xDC00 && text_.compare(at_, 2, "\\u") == 0) {
                        const std::size_t pairAt = at_;
                        at_ += 2;
                        uint32_t low = 0;
                        if (hex4(low) && low >= 0xDC00 && low < 0xE000) {
                            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                        } else {
                            at_ = pairAt;
                        }
                    }
                    if (code >= 0xD800 && code < 0xE000) code = 0xFFFD;
                    appendUtf8(out, code);
                    break;
                }
                default:
                    return false;
            }
        }
        return false;
    }

    bool number() {
        skipSpace();
        const std::size_t start = at_;
        while (at_ < text_.size() && (std::string("+-.eE").find(text_[at_]) != std::string::npos ||
                                      (text_[at_] >= '0' && text_[at_] <= '9')))
            ++at_;
        return at_ > start;
    }

    bool skipValue(int depth) {
        if (depth > kMaxDepth) return false;
        skipSpace();
        if (at_ >= text_.size()) return false;
        switch (text_[at_]) {
            case '{':
                return object(depth, [&](const std::string&) { return skipValue(depth + 1); });
            case '[':
                return array(depth, [&] { return skipValue(depth + 1); });
            case '"': {
                std::string ignored;
                return string(ignored);
            }
            case 't':
            case 'f': {
                bool ignored = false;
                return boolean(ignored);
            }
            case 'n':
                return word("null");
            default:
                return number();
        }
    }

    bool hosts(Report& report) {
        int seen = 0;
        const bool read = object(1, [&](const std::string& key) {
            bool* shows = key == "word"         ? &report.wordShows
                          : key == "excel"      ? &report.excelShows
                          : key == "powerpoint" ? &report.powerPointShows
                                                : nullptr;
            if (!shows) return skipValue(2);
            ++seen;
            return boolean(*shows);
        });
        return read && seen == 3;
    }

    bool links(Report& report) {
        return array(1, [&] {
            Finding finding;
            std::string status;
            int texts = 0;
            const bool read = object(2, [&](const std::string& key) {
                std::string* field = key == "link"     ? &finding.link
                                     : key == "title"  ? &finding.title
                                     : key == "status" ? &status
                                     : key == "found"  ? &finding.found
                                     : key == "fix"    ? &finding.fix
                                                       : nullptr;
                if (!field) return skipValue(3);
                ++texts;
                return string(*field);
            });
            if (!read || texts != 5) return false;
            if (status == statusName(Status::Ok)) {
                finding.status = Status::Ok;
            } else if (status == statusName(Status::Warning)) {
                finding.status = Status::Warning;
            } else if (status == statusName(Status::Broken)) {
                finding.status = Status::Broken;
            } else {
                return false;
            }
            report.findings.push_back(std::move(finding));
            return true;
        });
    }
};

}  // namespace

std::optional<Report> readJsonReport(const std::string& json) {
    return JsonReader(json).report();
}

}  // namespace doctor
