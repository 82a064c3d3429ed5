// Office loads the add-in into its own process, so the add-in that counts is the one registered in the
// registry view of Office's bitness, built for Office's machine. The doctor finds which Office is installed,
// checks the registration each one sees, and walks the rest of the chain in a process of that Office's
// bitness: itself, or the doctor of the other bitness that the package installs beside that add-in (a 64-bit
// process cannot load a 32-bit DLL, nor the other way round).
#include <windows.h>

#include <algorithm>

#include "doctor/AddInNames.h"
#include "doctor/Chain.h"
#include "doctor/Machine.h"
#include "doctor/OfficeBitness.h"
#include "doctor/ReportReader.h"
#include "doctor/TrustedLocation.h"
#include "trust/SameSigner.h"
#include "trust/Signature.h"
#include "win/AnsiText.h"
#include "win/ProgramRun.h"

namespace doctor {
namespace {

constexpr wchar_t kDoctorFile[] = L"quillery-doctor.exe";
constexpr wchar_t kOtherDoctorArguments[] = L"--json --this-bitness";
constexpr DWORD kOtherDoctorTimeoutMs = 120000;

Bitness otherThan(Bitness bitness) {
    return bitness == Bitness::Bits64 ? Bitness::Bits32 : Bitness::Bits64;
}

std::string bits(Bitness bitness) {
    return bitsText(bitness);
}

// Which package puts the add-in of `bitness` in place.
std::string packageFor(Bitness bitness) {
    return bitness == Bitness::Bits32
               ? "install the x64 package, which carries the 64-bit and the 32-bit add-in, or the x86 package"
               : "install the x64 package (the x86 package carries the 32-bit add-in only)";
}

// The add-in that Office of one bitness finds: the DLL its view's class names, and what that file is.
struct Registration {
    std::wstring dll;
    bool present = false;
    uint16_t machine = 0;
};

Registration registrationFor(Bitness bitness) {
    Registration registration;
    registration.dll = machineServerPath(viewOf(bitness));
    if (registration.dll.empty()) return registration;
    registration.present = ::GetFileAttributesW(registration.dll.c_str()) != INVALID_FILE_ATTRIBUTES;
    registration.machine = machineOfFile(registration.dll);
    return registration;
}

// This program's own signature, read from its file held open for the check.
trust::Signature ownSignature() {
    return trust::verifySignature(win::ownProgramPath());
}

std::wstring folderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

struct Verdict {
    bool shows[kHostCount] = {true, true, true};

    void none() {
        for (bool& host : shows) host = false;
    }
    void keepWhere(const Report& report) {
        shows[kWord] = shows[kWord] && report.wordShows;
        shows[kExcel] = shows[kExcel] && report.excelShows;
        shows[kPowerPoint] = shows[kPowerPoint] && report.powerPointShows;
    }
};

void add(Report& report, Bitness bitness, Status status, std::string found, std::string fix = {}) {
    const std::string name = bits(bitness);
    report.findings.push_back({"addin." + name, name + " add-in", status, std::move(found),
                               status == Status::Ok ? std::string() : std::move(fix)});
}

// Appends the findings of a chain walked for Office of `bitness`; with two Offices, those of the other one
// are told apart by their bitness.
void append(Report& report, const Report& chain, Bitness bitness, bool named, bool fromUtf8) {
    for (const Finding& finding : chain.findings) {
        Finding copy = finding;
        if (fromUtf8) {
            copy.title = win::ansiFromUtf8(copy.title);
            copy.found = win::ansiFromUtf8(copy.found);
            copy.fix = win::ansiFromUtf8(copy.fix);
        }
        if (named) {
            copy.link = bits(bitness) + "." + copy.link;
            copy.title = bits(bitness) + " " + copy.title;
        }
        report.findings.push_back(std::move(copy));
    }
}

// The add-in that Office of `bitness` finds, and (when that Office is installed) the rest of the chain as
// that Office meets it.
void checkOffice(Report& report, Verdict& verdict, Bitness bitness, bool installed, bool twoOffices) {
    const std::string office = bits(bitness) + " Office";
    const Bitness other = otherThan(bitness);
    const Registration registration = registrationFor(bitness);
    const std::string dll = win::narrow(registration.dll);
    const uint16_t expected = machineFor(bitness);
    // A registration no installed Office reads breaks nothing yet; it will when that Office comes.
    const Status fault = installed || bitness == kThisBitness ? Status::Broken : Status::Warning;

    if (registration.dll.empty()) {
        if (!installed) {
            add(report, bitness, Status::Ok,
                "no add-in registered in the " + bits(bitness) + " registry view");
        } else {
            std::string found = office + " finds no " + bits(bitness) + " add-in: its registry view has no " +
                                "class for " + kProgId;
            const std::wstring otherDll = machineServerPath(viewOf(other));
            if (!otherDll.empty())
                found += "; only the " + bits(other) + " add-in is registered (" + win::narrow(otherDll) +
                         "), which " + office + " cannot load";
            add(report, bitness, Status::Broken, found, packageFor(bitness));
        }
    } else if (!registration.present) {
        add(report, bitness, fault, dll + ", registered for " + office + ", is not there", kRepairAdvice);
    } else if (registration.machine != expected) {
        add(report, bitness, fault,
            dll + ", registered for " + office + ", is " + machineText(registration.machine) + ": " + office +
                " loads only a " + machineText(expected) + " add-in",
            kRepairAdvice + std::string(", or ") + packageFor(bitness));
    } else {
        const std::string registered =
            dll + ", " + machineText(registration.machine) + ", is registered for " + office;
        if (bitness == kThisBitness) {
            add(report, bitness, Status::Ok, registered);
        } else if (installed) {
            // Only a process of that Office's bitness can load its add-in: the doctor installed beside it.
            const std::wstring doctor = folderOf(registration.dll) + kDoctorFile;
            if (machineOfFile(doctor) != expected) {
                add(report, bitness, Status::Warning,
                    registered + "; whether it loads there is not checked: there is no " + bits(bitness) +
                        " quillery-doctor.exe beside it",
                    kRepairAdvice + std::string(" (the package installs the ") + bits(bitness) +
                        " doctor beside the " + bits(bitness) + " add-in)");
                verdict.none();
                return;
            }
            // The other doctor runs with this one's rights, so it must come from the same hands; it is held
            // from its check until it has been started.
            const HeldFile held = holdTrustedFile(doctor);
            std::string refused = held.refused;
            std::string fix = kRepairAdvice;
            if (held.trusted()) {
                const trust::Signature other = trust::verifyOpenFile(held.handle.get(), held.path);
                refused = trust::whyNotSameSigner(ownSignature(), other);
                if (other.verifies && !other.revocationChecked)
                    fix = "let this machine reach its signer's revocation lists (the network), or run " +
                          win::narrow(held.path) + " --this-bitness yourself";
            }
            if (!refused.empty()) {
                add(report, bitness, Status::Broken,
                    registered + "; the " + bits(bitness) + " doctor beside it (" + win::narrow(doctor) +
                        ") is not run: " + refused,
                    fix);
                verdict.none();
                return;
            }
            const win::ProgramRun run =
                win::runProgram(held.path, kOtherDoctorArguments, kOtherDoctorTimeoutMs);
            const auto checked = readJsonReport(run.output);
            if (!checked) {
                add(report, bitness, Status::Broken,
                    registered + "; the " + bits(bitness) + " doctor beside it (" + win::narrow(doctor) +
                        ") " +
                        (!run.started ? std::string("could not be started")
                         : run.timedOut
                             ? "gave no report within " + std::to_string(kOtherDoctorTimeoutMs / 1000) +
                                   " seconds, and was ended"
                         : run.tooLong ? std::string("wrote more than any report holds, and was ended")
                                       : "gave no report (exit code " + std::to_string(run.exitCode) + ")"),
                    kRepairAdvice);
                verdict.none();
                return;
            }
            add(report, bitness, Status::Ok,
                registered + "; the " + bits(bitness) + " doctor beside it walks the chain as " + office +
                    " meets it");
            append(report, *checked, bitness, twoOffices, true);
            verdict.keepWhere(*checked);
            return;
        } else {
            add(report, bitness, Status::Ok, registered);
        }
    }
    if (bitness == kThisBitness) {
        const Report chain = runChain();
        append(report, chain, bitness, false, false);
        verdict.keepWhere(chain);
    } else if (installed) {
        verdict.none();
    }
}

std::string signsOf(const std::vector<OfficeSign>& signs, Bitness bitness) {
    std::string text;
    for (const OfficeSign& sign : signs) {
        if (sign.bitness == bitness) text += (text.empty() ? "" : "; ") + sign.evidence;
    }
    return text;
}

}  // namespace

Report checkEveryOffice() {
    const Bitness own = kThisBitness;
    const bool windows64 = isWindows64();
    const std::vector<OfficeSign> signs = findOffice();
    std::vector<Bitness> installed;
    for (const Bitness bitness : {own, otherThan(own)}) {
        if (!signsOf(signs, bitness).empty()) installed.push_back(bitness);
    }

    Report report;
    std::vector<Bitness> checked = installed;
    if (installed.empty()) {
        report.findings.push_back(
            {"office.bitness", "Office", Status::Warning,
             std::string("no Office found (no Click-to-Run Platform, no Outlook Bitness, no WINWORD.EXE, "
                         "EXCEL.EXE or POWERPNT.EXE under App Paths): the add-in is checked in ") +
                 (windows64 ? "both registry views" : "its registry view"),
             "install Word, Excel or PowerPoint; the group shows once Office is there"});
        checked.push_back(own);
        if (windows64) checked.push_back(otherThan(own));
    } else {
        std::string found;
        for (const Bitness bitness : installed)
            found +=
                (found.empty() ? "" : ", and ") + bits(bitness) + " Office (" + signsOf(signs, bitness) + ")";
        if (installed.size() > 1) found += ": each is checked";
        report.findings.push_back({"office.bitness", "Office", Status::Ok, found, {}});
    }

    Verdict verdict;
    const bool twoOffices = installed.size() > 1;
    for (const Bitness bitness : checked) {
        const bool isInstalled = std::find(installed.begin(), installed.end(), bitness) != installed.end();
        checkOffice(report, verdict, bitness, isInstalled, twoOffices);
    }
    report.wordShows = verdict.shows[kWord];
    report.excelShows = verdict.shows[kExcel];
    report.powerPointShows = verdict.shows[kPowerPoint];
    return report;
}

}  // namespace doctor
