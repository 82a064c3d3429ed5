// The links the installer laid: the installation key and its values, the six markup files and the string
// file, read through the add-in's own loader so that what fails here fails in the add-in too.
#include <windows.h>

#include <set>
#include <vector>

#include "QuilleryVersion.h"
#include "doctor/AddInNames.h"
#include "doctor/Chain.h"
#include "markup/RibbonMarkup.h"
#include "text/AnsiCodePage.h"
#include "text/CodePageFit.h"
#include "text/StringTable.h"
#include "text/Utf8Decoder.h"
#include "text/Utf8TextFile.h"
#include "win/AnsiText.h"
#include "win/UniqueHandle.h"

namespace doctor {
namespace {


struct InstallValue {
    const char* name;
    Status whenMissing;
    const char* consequence;
};

const InstallValue kInstallValues[] = {
    {"XMLStrings", Status::Warning, "controls are labelled with their keys"},
    {"XMLWordLarge", Status::Broken, "Word's markup"},
    {"XMLWordLargeGeneric", Status::Broken, "Word's markup"},
    {"XMLExcelLarge", Status::Broken, "Excel's markup"},
    {"XMLExcelLargeGeneric", Status::Broken, "Excel's markup"},
    {"XMLPowerPointLarge", Status::Broken, "PowerPoint's markup"},
    {"XMLPowerPointLargeGeneric", Status::Broken, "PowerPoint's markup"},
    {"UnRegister", Status::Warning, "the list of installed programs cannot remove the add-in"},
    {"Remove", Status::Warning, "removing the add-in leaves the product's files behind"},
    {"Version", Status::Warning, "the registration did not finish"},
};

// What is wrong with a UTF-8 file the add-in reads, or empty when the add-in's own loader takes it.
std::string fileProblem(const std::string& path) {
    if (path.empty()) return "no path recorded";
    std::string text;
    if (Utf8TextFile().readFile(path, text)) return {};

    win::UniqueHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return "cannot be opened";
    DWORD sizeHigh = 0;
    const DWORD size = ::GetFileSize(file.get(), &sizeHigh);
    if (sizeHigh != 0) return "is 4 GB or larger";
    if (size == 0) return "is empty";
    std::vector<unsigned char> bytes(size);
    DWORD read = 0;
    if (!::ReadFile(file.get(), bytes.data(), size, &read, nullptr) || read != size) return "cannot be read";
    // No multi-byte sequence holds a line feed, so the first line that does not decode on its own is where
    // the whole file stops decoding.
    std::size_t line = 1, start = 0;
    while (start <= bytes.size()) {
        std::size_t end = start;
        while (end < bytes.size() && bytes[end] != '\n') ++end;
        std::u16string units;
        if (!decodeUtf8(bytes.data() + start, end - start, units))
            return "is not valid UTF-8 at line " + std::to_string(line);
        start = end + 1;
        ++line;
    }
    return "holds no text";
}

// Reads the markup as the host does; what the host would refuse is the problem, else the declared controls.
std::string markupProblem(const std::string& markup, std::vector<DeclaredControl>& declared) {
    // The parser as the machine registers it: the doctor may run with an administrator's rights.
    const markup::MarkupDocument document =
        markup::readMarkup(win::widen(markup), markup::ParserSource::MachineOnly);
    if (!document.parsed) {
        const std::string why = document.noParser.empty() ? "" : ": " + win::narrow(document.noParser);
        return "could not be read as XML" + why;
    }
    if (!document.wellFormed) {
        // Windows' parser says where; Wine's gives no position.
        std::string where;
        if (document.errorLine > 0)
            where = " at line " + std::to_string(document.errorLine) + ", column " +
                    std::to_string(document.errorColumn);
        return "is not well-formed XML" + where + ": " + win::narrow(document.error);
    }
    if (!document.duplicateIds.empty())
        return "gives the id " + win::narrow(document.duplicateIds.front()) + " twice";
    for (const markup::MarkupControl& control : document.controls) {
        DeclaredControl entry;
        entry.id = win::narrow(control.id);
        entry.boundLabel = !control.attribute(L"getLabel").empty();
        entry.boundSupertip = !control.attribute(L"getSupertip").empty();
        entry.boundItems = !control.attribute(L"getItemLabel").empty();
        if (!entry.id.empty()) declared.push_back(std::move(entry));
    }
    if (declared.empty()) return "declares no ribbon controls";
    return {};
}

// The keys every string file must hold, besides those the markup's controls ask for.
const char* const kFixedKeys[] = {
    "Lang",        "LangAboutTitle",      "LangAboutVersion",     "LangAboutCopyright",  "LangAboutAllRights",
    "LangAboutOK", "LangUninstallPrompt", "LangUninstallSuccess", "LangUninstallFailure"};

// The ANSI code page of a machine set to the language `tag` ("ja": 932), or 0 for a tag Windows does not
// know.
unsigned languageCodePage(const std::string& tag) {
    const std::wstring name(tag.begin(), tag.end());
    DWORD codePage = 0;
    if (::GetLocaleInfoEx(name.c_str(), LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                          reinterpret_cast<LPWSTR>(&codePage), sizeof codePage / sizeof(wchar_t)) == 0)
        return 0;
    return codePage;
}

// The add-in hands every text over in this process's ANSI code page; a language that code page cannot hold
// shows as question marks, which the add-in itself cannot tell.
void checkCodePage(Chain& chain, const std::string& path, const std::string& language) {
    const CodePageFit fit = checkCodePageFit(path);
    if (!fit.readable) return;
    const std::string machine = std::to_string(fit.codePage);
    if (fit.clean()) {
        chain.add("strings.codepage", "string code page", Status::Ok,
                  "all " + std::to_string(fit.texts) + " texts fit code page " + machine);
        return;
    }
    const unsigned needed = languageCodePage(language);
    const std::string why = needed != 0 && needed != fit.codePage
                                ? "needs code page " + std::to_string(needed)
                                : "has texts outside code page " + machine;
    chain.add("strings.codepage", "string code page", Status::Warning,
              "the string file's language (" + language + ") " + why + "; this machine's ANSI code page is " +
                  machine + ": " + std::to_string(fit.damaged.size()) + " of " + std::to_string(fit.texts) +
                  " texts show with stand-ins (such as " + fit.damaged.front().key + ")",
              "install the package again naming a language that code page " + machine +
                  " holds (msiexec /i <package>.msi QUILLERY_LANGUAGE=<language>), or set Windows' language "
                  "for non-Unicode programs to the file's language (Region > Administrative > Change system "
                  "locale) and restart");
}

}  // namespace

void checkInstallationKey(Chain& chain) {
    const std::string& key = chain.settings.baseKeyPath();
    if (!keyExists(HKEY_LOCAL_MACHINE, key)) {
        chain.add("install.key", "installation key", Status::Broken,
                  "HKLM\\" + key + " is missing: the add-in has no texts and no markup", kRepairAdvice);
        return;
    }
    chain.add("install.key", "installation key", Status::Ok, "HKLM\\" + key);
    for (const InstallValue& value : kInstallValues) {
        const std::string link = std::string("install.") + value.name;
        const std::string text = chain.registry.readString(HKEY_LOCAL_MACHINE, key, value.name, false);
        if (text.empty()) {
            chain.add(link.c_str(), value.name, value.whenMissing,
                      std::string("missing: ") + value.consequence, kRepairAdvice);
        } else if (std::string(value.name) == "Version" && text != kProductVersion) {
            chain.add(link.c_str(), value.name, Status::Warning,
                      text + ", but this doctor is " + kProductVersion +
                          ": the registration is from another version",
                      kRepairAdvice);
        } else {
            chain.add(link.c_str(), value.name, Status::Ok, text);
        }
    }
}

void checkMarkup(Chain& chain) {
    const ToolbarSettings& settings = chain.settings;
    const bool full = settings.capabilities().any();
    struct Document {
        HostIndex host;
        bool isFull;
        std::string path;
        const char* link;
    };
    const Document documents[] = {
        {kWord, true, settings.wordLargeXmlPath(), "markup.word"},
        {kWord, false, settings.wordLargeGenericXmlPath(), "markup.word-generic"},
        {kExcel, true, settings.excelLargeXmlPath(), "markup.excel"},
        {kExcel, false, settings.excelLargeGenericXmlPath(), "markup.excel-generic"},
        {kPowerPoint, true, settings.powerPointLargeXmlPath(), "markup.powerpoint"},
        {kPowerPoint, false, settings.powerPointLargeGenericXmlPath(), "markup.powerpoint-generic"},
    };
    for (const Document& document : documents) {
        const bool inUse = document.isFull == full;
        const std::string title =
            std::string(kHosts[document.host].title) + (document.isFull ? " markup" : " generic markup");
        const std::string role = inUse
                                     ? "the markup " + std::string(kHosts[document.host].title) + " gets now"
                                     : "used when the printer's options change";
        std::string problem = fileProblem(document.path);
        std::vector<DeclaredControl> controls;
        if (problem.empty()) {
            std::string text;
            Utf8TextFile().readFile(document.path, text);
            problem = markupProblem(text, controls);
        }
        if (!problem.empty()) {
            const std::string where = document.path.empty() ? std::string() : document.path + " ";
            chain.add(document.link, title.c_str(), inUse ? Status::Broken : Status::Warning,
                      where + problem + " (" + role + ")", kRepairAdvice);
            continue;
        }
        if (inUse) {
            chain.hostHasMarkup[document.host] = true;
            chain.controls[document.host] = controls;
        }
        chain.add(document.link, title.c_str(), Status::Ok,
                  document.path + ": " + std::to_string(controls.size()) + " controls (" + role + ")");
    }
}

void checkStrings(Chain& chain) {
    const std::string path = chain.settings.stringsFilePath();
    const std::string problem = fileProblem(path);
    if (!problem.empty()) {
        chain.add("strings.file", "string file", Status::Warning,
                  (path.empty() ? std::string() : path + " ") + problem +
                      ": every control is labelled with its key",
                  kRepairAdvice);
        return;
    }
    StringTable table(AnsiCodePage::instance());
    table.load(path);
    chain.add("strings.file", "string file", Status::Ok,
              path + ", language \"" + table.lookup("Lang") + "\"");
    checkCodePage(chain, path, table.lookup("Lang"));

    std::set<std::string> wanted(std::begin(kFixedKeys), std::end(kFixedKeys));
    std::vector<std::string> ordered(std::begin(kFixedKeys), std::end(kFixedKeys));
    auto want = [&](const std::string& key) {
        if (wanted.insert(key).second) ordered.push_back(key);
    };
    for (const auto& controls : chain.controls) {
        for (const DeclaredControl& control : controls) {
            if (control.boundLabel) want("Label" + control.id);
            if (control.boundSupertip) want("Supertip" + control.id);
            if (control.boundItems) want("Label" + control.id + "0");
        }
    }
    std::string missing;
    std::size_t count = 0;
    for (const std::string& key : ordered) {
        if (table.lookup(key) != key) continue;
        if (++count <= 5) missing += (missing.empty() ? "" : ", ") + key;
    }
    if (count == 0) {
        chain.add("strings.keys", "string keys", Status::Ok,
                  std::to_string(ordered.size()) + " texts the ribbon asks for, all present");
    } else {
        if (count > 5) missing += " and " + std::to_string(count - 5) + " more";
        chain.add("strings.keys", "string keys", Status::Warning,
                  std::to_string(count) + " of " + std::to_string(ordered.size()) +
                      " texts missing: " + missing + " (shown as their keys)",
                  kRepairAdvice);
    }
}

}  // namespace doctor
