#include "settings/PrinterQuery.h"

#include "settings/BoundedText.h"
#include "settings/SpoolerLoader.h"
#include "win/EntryPoint.h"
#include "win/FailurePolicy.h"
#include "win/SystemLibrary.h"
#include "win/UniquePrinter.h"
#include "win/UniqueLibrary.h"

#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <new>
#include <vector>

namespace {

// The default-printer query is bound by ordinal so that spoolers that do not export it by name still answer.
constexpr char kSpoolerModule[] = "WINSPOOL.DRV";
constexpr WORD kDefaultPrinterOrdinal = 201;
using DefaultPrinterQuery = BOOL(WINAPI*)(LPSTR, LPDWORD);

// The NT family from version 5 on is the first to have a default-printer query at all.
constexpr DWORD kNtPlatform = VER_PLATFORM_WIN32_NT;
constexpr DWORD kFirstMajorVersion = 5;

// The maker's driver keeps this printer data with every printer it serves.
constexpr char kFriendlyNameData[] = "OriginalFriendlyName";
constexpr DWORD kFriendlyNameBufferSize = 260;

// The spooler this process has loaded already, or else System32's, loaded into `loaded` for as long as the
// caller needs it: every entry point of it the queries use is bound from that one module.
HMODULE spoolerModule(const SpoolerLoader* custom, win::UniqueLibrary& loaded) noexcept {
    const SpoolerLoader loader = custom ? *custom : SpoolerLoader();
    if (HMODULE spooler = loader.getModuleHandle(kSpoolerModule)) return spooler;
    loaded.reset(win::loadSystemLibrary(kSpoolerModule, loader.loadLibrary));
    return loaded.get();
}

template <typename Function>
Function entryPoint(HMODULE module, const char* name) noexcept {
    return module ? entryPointAs<Function>(::GetProcAddress(module, name)) : nullptr;
}

bool systemHasDefaultPrinterQuery() noexcept {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!::GetVersionExA(&version)) return false;
    return version.dwPlatformId == kNtPlatform && version.dwMajorVersion >= kFirstMajorVersion;
}

}  // namespace

std::string PrinterQuery::defaultPrinterName() const noexcept {
    if (!systemHasDefaultPrinterQuery()) return std::string();
    win::UniqueLibrary loaded;
    const auto query = entryPoint<DefaultPrinterQuery>(spoolerModule(loader_, loaded),
                                                       MAKEINTRESOURCEA(kDefaultPrinterOrdinal));
    if (!query) return std::string();

    // Without a default printer the size is left as it was, so it must start at 0.
    DWORD size = 0;
    query(nullptr, &size);
    if (size == 0) return std::string();
    return orFallback(std::string(), [&] {
        std::vector<char> buffer(size, '\0');
        DWORD capacity = size;
        query(buffer.data(), &capacity);
        return boundedText(buffer.data(), buffer.size(), buffer.size());
    });
}

std::string PrinterQuery::friendlyNameOf(const std::string& printerName) const noexcept {
    if (printerName.empty()) return std::string();
    win::UniqueLibrary loaded;
    const HMODULE spooler = spoolerModule(loader_, loaded);
    const auto open = entryPoint<decltype(&::OpenPrinterA)>(spooler, "OpenPrinterA");
    const auto printerData = entryPoint<decltype(&::GetPrinterDataA)>(spooler, "GetPrinterDataA");
    const auto close = entryPoint<decltype(&::ClosePrinter)>(spooler, "ClosePrinter");
    if (!open || !printerData || !close) return std::string();
    return orFallback(std::string(), [&] {
        std::string name = printerName;
        win::UniquePrinter printer(win::PrinterTraits{close});
        if (!open(name.data(), printer.receive(), nullptr) || !printer) return std::string();
        std::array<char, sizeof(kFriendlyNameData)> valueName{};
        std::copy(std::begin(kFriendlyNameData), std::end(kFriendlyNameData), valueName.begin());
        std::array<char, kFriendlyNameBufferSize> buffer{};
        DWORD returned = 0;
        // A value too long for the buffer leaves it undefined; only a successful read is used, and only as
        // far as it reached.
        if (printerData(printer.get(), valueName.data(), nullptr, reinterpret_cast<BYTE*>(buffer.data()),
                        buffer.size(), &returned) != ERROR_SUCCESS) {
            return std::string();
        }
        return boundedText(buffer.data(), returned, buffer.size());
    });
}
