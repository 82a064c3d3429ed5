// The add-in layer of registration, around the server layer: the display texts the scripts leave empty, the
// version, and the uninstall command on the way in; on the way out the user's consent, the installation key,
// the installer's clean-up at the next logon, and the outcome.
#include <windows.h>
#include <objbase.h>

#include <memory>
#include <new>
#include <string>

#include "QuilleryVersion.h"
#include "TandrelLib.h"
#include "server/AddInModule.h"
#include "win/FailurePolicy.h"
#include "settings/RegistryAccess.h"
#include "settings/ToolbarSettings.h"
#include "text/AnsiCodePage.h"
#include "text/StringKeys.h"
#include "text/StringTable.h"

namespace {

constexpr char kDisplayName[] = "Corvane Quillery";
constexpr char kAddInKeyName[] = "TandrelQuillery.Connect";
// Excel, PowerPoint and Word, in that order.
constexpr const char* kOfficeAddInParents[] = {
    "Software\\Microsoft\\office\\excel\\addins",
    "Software\\Microsoft\\office\\powerpoint\\addins",
    "Software\\Microsoft\\office\\word\\addins",
};
constexpr char kUninstallParent[] = "Software\\Microsoft\\Windows\\CurrentVersion\\UnInstall\\";
constexpr char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

constexpr char kFriendlyName[] = "FriendlyName";
constexpr char kDisplayNameValue[] = "DisplayName";
constexpr char kDisplayVersion[] = "DisplayVersion";
constexpr char kUninstallString[] = "UnInstallString";
constexpr char kVersion[] = "Version";
constexpr char kUnRegister[] = "UnRegister";
constexpr char kRemove[] = "Remove";

// What DllUnregisterServer returns when it did not try: a success that is neither S_OK nor S_FALSE.
constexpr HRESULT kNotAttempted = 8;

// The braced, upper-case text of the connection class's id; it names the uninstall entry and the run-once
// value.
std::string connectClassText() {
    wchar_t wide[40] = {};
    ::StringFromGUID2(CLSID_Connect, wide, 40);
    return std::string(wide, wide + 38);
}

void showMessage(const std::string& text, const std::string& caption) {
    if (!text.empty() && !caption.empty()) ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
}

}  // namespace

extern "C" HRESULT WINAPI DllRegisterServer() noexcept {
    const HRESULT result = addInModule().registerServer();
    if (result != S_OK) return result;
    return comBoundary([] {
        std::unique_ptr<RegistryAccess> registry = makeOrNull<RegistryAccess>();
        if (!registry) return S_OK;
        const std::string uninstallKey = kUninstallParent + connectClassText();
        for (const char* parent : kOfficeAddInParents) {
            registry->writeString(HKEY_LOCAL_MACHINE, std::string(parent) + "\\" + kAddInKeyName,
                                  kFriendlyName, kDisplayName, false);
        }
        registry->writeString(HKEY_LOCAL_MACHINE, uninstallKey, kDisplayNameValue, kDisplayName, false);
        registry->writeString(HKEY_LOCAL_MACHINE, uninstallKey, kDisplayVersion, kProductVersion, false);
        const std::string command = registry->readString(
            HKEY_LOCAL_MACHINE, ToolbarSettings::kInstallationKeyPath, kUnRegister, false);
        registry->writeString(HKEY_LOCAL_MACHINE, uninstallKey, kUninstallString, command, false);
        registry->writeString(HKEY_LOCAL_MACHINE, ToolbarSettings::kInstallationKeyPath, kVersion,
                              kProductVersion, false);
        return S_OK;
    });
}

extern "C" HRESULT WINAPI DllUnregisterServer() noexcept {
    return comBoundary([] {
        std::unique_ptr<ToolbarSettings> settings = makeOrNull<ToolbarSettings>();
        if (!settings) return kNotAttempted;
        std::unique_ptr<StringTable> strings = orFallback(std::unique_ptr<StringTable>(), [&] {
            auto table = std::make_unique<StringTable>(AnsiCodePage::instance());
            table->load(settings->stringsFilePath());
            return table;
        });
        if (!strings) return kNotAttempted;
        const std::string caption = kDisplayName;
        const std::string question = strings->lookup(string_keys::kUninstallPrompt);
        if (!caption.empty() && !question.empty() &&
            ::MessageBoxA(nullptr, question.c_str(), caption.c_str(), MB_YESNO) != IDYES) {
            return kNotAttempted;
        }

        const HRESULT result = addInModule().unregisterServer();
        if (result != S_OK) {
            showMessage(strings->lookup(string_keys::kUninstallFailure), caption);
            return result;
        }
        if (std::unique_ptr<RegistryAccess> registry = makeOrNull<RegistryAccess>()) {
            const char* installation = ToolbarSettings::kInstallationKeyPath;
            const std::string command =
                registry->readString(HKEY_LOCAL_MACHINE, installation, kRemove, false);
            registry->deleteKey(HKEY_LOCAL_MACHINE, installation, false);
            // A 32-bit library on 64-bit Windows removes the key from the 64-bit view as well, where an
            // installer may have written it too; but not while the 64-bit library is registered there, which
            // reads its files from that key.
            if (!addInModule().otherBitnessRegistered()) {
                registry->deleteKeyInView(HKEY_LOCAL_MACHINE, installation, KEY_WOW64_64KEY);
            }
            if (!command.empty()) {
                registry->writeString(HKEY_LOCAL_MACHINE, kRunOnceKey, connectClassText(), command, false);
            }
        }
        showMessage(strings->lookup(string_keys::kUninstallSuccess), caption);
        return result;
    });
}
