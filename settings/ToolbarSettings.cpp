#include "settings/ToolbarSettings.h"

#include "settings/PrinterQuery.h"
#include "settings/RegistryAccess.h"

#include <windows.h>

#include "win/FailurePolicy.h"

namespace {

// Written by the installer (file paths, machine-wide) and kept per user (control states); same path in both
// roots.
constexpr const char* kBaseKeyPath = ToolbarSettings::kInstallationKeyPath;
// The maker's driver keeps one settings key per printer, named by the printer's friendly name.
constexpr const char* kPrinterSettingsRoot = "Software\\CorvaneInkJet\\IjPrtSettings\\";

// One-shot values the driver picks up, and clears, when it renders the next job.
constexpr const char* kOnceBlackAndWhite = "OnceBlackAndWhite";
constexpr const char* kOnceDuplex = "OnceDuplex";
constexpr const char* kOnceNUp = "OnceNUp";
constexpr const char* kOncePrintQuality = "OncePrintQuality";
constexpr const char* kDuplexerPresent = "PrintDuplexerPresent";
// With a duplex unit fitted, the driver wants its own code for automatic two-sided printing.
constexpr uint32_t kTwoSided = 2;
constexpr uint32_t kTwoSidedWithDuplexer = 6;

constexpr const char* kStringsFile = "XMLStrings";
constexpr const char* kWordLargeXml = "XMLWordLarge";
constexpr const char* kWordLargeGenericXml = "XMLWordLargeGeneric";
constexpr const char* kPowerPointLargeXml = "XMLPowerPointLarge";
constexpr const char* kPowerPointLargeGenericXml = "XMLPowerPointLargeGeneric";
constexpr const char* kExcelLargeXml = "XMLExcelLarge";
constexpr const char* kExcelLargeGenericXml = "XMLExcelLargeGeneric";

// The driver's key lives in the 64-bit view even when a 32-bit host runs the add-in; the installer's and the
// user's keys are read in the process's own view.
constexpr bool kDriverView = true;
constexpr bool kOwnView = false;

}  // namespace

ToolbarSettings::ToolbarSettings()
    : registry_(makeOrNull<RegistryAccess>()), printerQuery_(makeOrNull<PrinterQuery>()) {
    settle();
}

ToolbarSettings::ToolbarSettings(std::unique_ptr<RegistryAccess> registry,
                                 std::unique_ptr<PrinterQuery> printerQuery)
    : registry_(std::move(registry)), printerQuery_(std::move(printerQuery)) {
    settle();
}

ToolbarSettings::~ToolbarSettings() = default;

void ToolbarSettings::settle() noexcept {
    const bool settled = orFallback(false, [this] {
        baseKeyPath_ = kBaseKeyPath;
        if (!printerQuery_) return true;
        const std::string name = printerQuery_->defaultPrinterName();
        if (name.empty()) return true;
        hasDefaultPrinter_ = true;
        const std::string friendly = printerQuery_->friendlyNameOf(name);
        // The friendly name is taken as the driver spells it, backslashes and all: the driver names its key
        // so.
        if (friendly.empty()) return true;
        printerSettingsKeyPath_ = kPrinterSettingsRoot + friendly;
        if (!registry_) return true;
        const auto probe = [this](const char* valueName) {
            return registry_->probeDword(HKEY_LOCAL_MACHINE, printerSettingsKeyPath_, valueName, kDriverView);
        };
        capabilities_.blackAndWhite = probe(kOnceBlackAndWhite);
        capabilities_.duplex = probe(kOnceDuplex);
        capabilities_.nUp = probe(kOnceNUp);
        capabilities_.printQuality = probe(kOncePrintQuality);
        return true;
    });
    if (!settled) {
        printerSettingsKeyPath_.clear();
        capabilities_ = DriverCapabilities();
    }
}

bool ToolbarSettings::writeOnce(const char* valueName, uint32_t value) const noexcept {
    // Without the driver's key the path would name the root of HKEY_LOCAL_MACHINE itself; never write there.
    if (!registry_ || printerSettingsKeyPath_.empty()) return false;
    return orFallback(false, [&] {
        return registry_->writeDword(HKEY_LOCAL_MACHINE, printerSettingsKeyPath_, valueName, value,
                                     kDriverView);
    });
}

bool ToolbarSettings::writeOncePrintQuality(uint32_t value) const noexcept {
    return writeOnce(kOncePrintQuality, value);
}

bool ToolbarSettings::writeOnceBlackAndWhite(uint32_t value) const noexcept {
    return writeOnce(kOnceBlackAndWhite, value);
}

bool ToolbarSettings::writeOnceDuplex(uint32_t value) const noexcept {
    if (!registry_ || printerSettingsKeyPath_.empty()) return false;
    if (value == kTwoSided) {
        const bool duplexer = orFallback(false, [this] {
            return registry_->readDword(HKEY_LOCAL_MACHINE, printerSettingsKeyPath_, kDuplexerPresent,
                                        kDriverView) != 0;
        });
        if (duplexer) value = kTwoSidedWithDuplexer;
    }
    return writeOnce(kOnceDuplex, value);
}

bool ToolbarSettings::writeOnceNUp(uint32_t value) const noexcept {
    return writeOnce(kOnceNUp, value);
}

uint32_t ToolbarSettings::readUserDword(const std::string& name) const noexcept {
    if (name.empty() || !registry_) return 0;
    return registry_->readDword(HKEY_CURRENT_USER, baseKeyPath_, name, kOwnView);
}

bool ToolbarSettings::writeUserDword(const std::string& name, uint32_t value) const noexcept {
    if (name.empty() || !registry_) return false;
    return registry_->writeDword(HKEY_CURRENT_USER, baseKeyPath_, name, value, kOwnView);
}

std::string ToolbarSettings::readInstallValue(const char* name) const noexcept {
    if (!registry_ || !name || !*name) return std::string();
    return orFallback(std::string(), [&] {
        return registry_->readString(HKEY_LOCAL_MACHINE, baseKeyPath_, name, kOwnView);
    });
}

std::string ToolbarSettings::stringsFilePath() const noexcept {
    return readInstallValue(kStringsFile);
}
std::string ToolbarSettings::wordLargeXmlPath() const noexcept {
    return readInstallValue(kWordLargeXml);
}
std::string ToolbarSettings::wordLargeGenericXmlPath() const noexcept {
    return readInstallValue(kWordLargeGenericXml);
}
std::string ToolbarSettings::powerPointLargeXmlPath() const noexcept {
    return readInstallValue(kPowerPointLargeXml);
}
std::string ToolbarSettings::powerPointLargeGenericXmlPath() const noexcept {
    return readInstallValue(kPowerPointLargeGenericXml);
}
std::string ToolbarSettings::excelLargeXmlPath() const noexcept {
    return readInstallValue(kExcelLargeXml);
}
std::string ToolbarSettings::excelLargeGenericXmlPath() const noexcept {
    return readInstallValue(kExcelLargeGenericXml);
}
