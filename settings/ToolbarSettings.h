#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "settings/DriverCapabilities.h"

class RegistryAccess;
class PrinterQuery;

// The add-in's view of its configuration and of the current default printer, settled once at construction: is
// there a default printer, and which one-shot options (black and white, duplex, N-up, print quality) does its
// driver take. It also writes those one-shot values for the next job, keeps the user's ribbon choices per
// user and hands out the file paths that the installer recorded.
class ToolbarSettings {
public:
    // The installation key: written by the installer in HKEY_LOCAL_MACHINE, kept per user (control states)
    // under the same path in HKEY_CURRENT_USER.
    static constexpr const char* kInstallationKeyPath = "Software\\Corvane\\Toolbar_Office\\";

    // Queries the real system; cannot fail (a missing printer or registry object only leaves fields empty).
    ToolbarSettings();
    // For tests that must see what the platform hides: the registry object to use (may be null).
    ToolbarSettings(std::unique_ptr<RegistryAccess> registry, std::unique_ptr<PrinterQuery> printerQuery);
    ~ToolbarSettings();
    ToolbarSettings(const ToolbarSettings&) = delete;
    ToolbarSettings& operator=(const ToolbarSettings&) = delete;

    bool hasDefaultPrinter() const noexcept { return hasDefaultPrinter_; }
    // The one-shot options the driver's settings key offers; none without a default printer of the maker's.
    DriverCapabilities capabilities() const noexcept { return capabilities_; }

    // The driver reads these one-shot values when it renders the next job. Each returns true when stored.
    bool writeOncePrintQuality(uint32_t value) const noexcept;
    bool writeOnceBlackAndWhite(uint32_t value) const noexcept;
    bool writeOnceDuplex(uint32_t value) const noexcept;
    bool writeOnceNUp(uint32_t value) const noexcept;

    // Per-user ribbon control states, one REG_DWORD per control id; the key is never created.
    uint32_t readUserDword(const std::string& name) const noexcept;
    bool writeUserDword(const std::string& name, uint32_t value) const noexcept;

    // File paths from the installation key; empty when absent.
    std::string stringsFilePath() const noexcept;
    std::string wordLargeXmlPath() const noexcept;
    std::string wordLargeGenericXmlPath() const noexcept;
    std::string powerPointLargeXmlPath() const noexcept;
    std::string powerPointLargeGenericXmlPath() const noexcept;
    std::string excelLargeXmlPath() const noexcept;
    std::string excelLargeGenericXmlPath() const noexcept;

    // The driver's settings key (relative to HKEY_LOCAL_MACHINE), or empty when the printer is not the
    // maker's.
    const std::string& printerSettingsKeyPath() const noexcept { return printerSettingsKeyPath_; }
    const std::string& baseKeyPath() const noexcept { return baseKeyPath_; }

private:
    std::string readInstallValue(const char* name) const noexcept;
    bool writeOnce(const char* valueName, uint32_t value) const noexcept;
    void settle() noexcept;

    std::unique_ptr<RegistryAccess> registry_;
    std::unique_ptr<PrinterQuery> printerQuery_;
    std::string printerSettingsKeyPath_;
    std::string baseKeyPath_;
    bool hasDefaultPrinter_ = false;
    DriverCapabilities capabilities_;
};
