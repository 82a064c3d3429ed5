#pragma once

#include <windows.h>

#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

#include "tests/com/AddInEnvironment.h"
#include "tests/support/MachineCertificate.h"
#include "tools/fixtures/CreatedKey.h"
#include "tools/fixtures/InstallationFixture.h"

// The doctor run as fleet tools and users run it, and the machine it looks at: what the doctor's tests share.

// How the doctor is started: as Wine starts every program, with an administrator's full token ("Run as
// administrator"), or with the same user's limited token, as a user runs it from the desktop.
enum class Rights { Elevated, Limited };

struct DoctorRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;      // standard output
    std::string errors;      // standard error
    nlohmann::json report;   // the JSON report, when the run wrote one

    // "status: found" of the report's line for `link`; empty when it has none.
    std::string link(const std::string& name) const;
    bool wordShows() const;
    // The changes --repair made.
    size_t changesDone() const;
};

// The build's throwaway root trusted by the machine for the owner's lifetime, as a release's is everywhere:
// the doctor's own signature then verifies, and it runs the other bitness's. Make it before this process's
// first signature check.
struct TrustedBuildRoot {
    TrustedBuildRoot();
    CertificateStoreKeys keys;
    std::unique_ptr<MachineCertificate> root;
};

// Runs quillery-doctor.exe beside this program with `arguments`, in the working folder `folder` (empty: this
// program's), and reads its report: output that holds a report that is not valid JSON fails the test.
DoctorRun runDoctor(const std::wstring& arguments = L"--json", Rights rights = Rights::Elevated,
                    const std::wstring& folder = std::wstring());

// The report's line for `link` is `expected`: "status: " followed by the start of the finding, or any part of
// it after "...".
void expectLink(const DoctorRun& run, const std::string& link, const std::string& expected);

std::wstring besideProgram(const wchar_t* name);
// The tests' paths and names are ASCII.
std::string ascii(const std::wstring& text);

// The hosts' add-in keys under HKLM, loading at start-up, as registration writes them.
class OfficeAddInKeys {
public:
    OfficeAddInKeys();

private:
    std::vector<std::unique_ptr<fixtures::CreatedKey>> keys_;
};

enum class Bits { This, Other };

// The Program Files folder of a bitness, as 64-bit Windows keeps them: "C:\Program Files" for 64-bit programs.
std::wstring programFiles(Bits bits);

// The add-in of one bitness installed as its package installs it: the build's DLL and doctor copied into
// "<Program Files of that bitness>\Corvane Quillery Test" and registered by the registration of that bitness
// (this one's own DllRegisterServer, or the other's regsvr32); unregistered, its question answered Yes, and
// removed again.
class InstalledAddIn {
public:
    explicit InstalledAddIn(Bits bits = Bits::This);
    ~InstalledAddIn();
    InstalledAddIn(const InstalledAddIn&) = delete;
    InstalledAddIn& operator=(const InstalledAddIn&) = delete;

    bool ok() const { return registered_; }
    const std::wstring& folder() const { return folder_; }
    std::wstring dll() const { return folder_ + L"\\Quillery.dll"; }

private:
    Bits bits_;
    OfficeParentKeys office_;
    std::wstring folder_;
    bool registered_ = false;
};

// Imports a registry file as a user would, with the platform's own editor; its exit code.
DWORD importRegistryFile(const std::wstring& file);

// The add-in of the other bitness as its package installs it, with the installation key in its view.
class OtherAddIn {
public:
    explicit OtherAddIn(const fixtures::InstallationFixture& installation);
    bool ok() const { return addIn_.ok(); }
    std::wstring dll() const { return addIn_.dll(); }

private:
    fixtures::CreatedKey installationKey_;
    InstalledAddIn addIn_;
};

// How an installed Office shows its bitness, and which one.
enum class Sign { ClickToRun, Outlook, ItsWord };
struct OfficeSign {
    Sign sign;
    Bits bits;
};

// Writes one sign of an installed Office for as long as it lives.
class InstalledOffice {
public:
    explicit InstalledOffice(const OfficeSign& office);

private:
    std::unique_ptr<fixtures::CreatedKey> key_;
};
