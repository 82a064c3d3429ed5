// The doctor's readers and its JSON writer on any bytes: the PE header reader names a machine only when the
// header holds it; the PE image reader follows no offset, size or count past the bytes it is given; the report
// reader and the Disabled Items record reader never read past their input (the sanitizers) or recurse without
// bound; and a report built from any texts (registry names and paths are a user's to choose) is valid JSON that
// the doctor of the other bitness reads back link for link.

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "doctor/DisabledItemRecord.h"
#include "doctor/Machine.h"
#include "doctor/PeImage.h"
#include "doctor/ReportJson.h"
#include "doctor/ReportReader.h"

namespace {

std::string asIs(const std::string& text) {
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const uint16_t machine = doctor::peMachine(data, size);
    if (machine != 0 && (size < 0x40 || data[0] != 'M' || data[1] != 'Z')) std::abort();
    if (const auto image = doctor::readPeImage(data, size)) {
        // What the image reader gives, it read from these bytes: the same machine as the header reader's.
        if (image->machine != machine) std::abort();
        doctor::hasAuthenticodeSignature(*image, data, size);
        doctor::symbolAddress(*image, data, size, "__stack_chk_fail");
        for (const doctor::PeSection& section : image->sections) image->fileOffsetOf(section.virtualAddress);
    }

    const std::string bytes(reinterpret_cast<const char*>(data), size);
    doctor::readJsonReport(bytes);

    const doctor::DisabledItemReading record = doctor::readDisabledItem(data, size);
    if (record.readable && (size < 12 || record.record.path.empty())) std::abort();

    // The input cut in four: the texts of one finding and of one repair change.
    const std::size_t quarter = size / 4;
    doctor::Report report;
    report.findings.push_back({bytes.substr(0, quarter), bytes.substr(quarter, quarter),
                               static_cast<doctor::Status>(size % 3), bytes.substr(2 * quarter, quarter),
                               bytes.substr(3 * quarter)});
    doctor::RepairResult repaired;
    repaired.changes.push_back({bytes.substr(quarter), size % 2 == 0, bytes.substr(0, quarter)});
    const std::string json = doctor::reportJson(report, &repaired, "1.0", asIs);
    if (!nlohmann::json::accept(json)) std::abort();
    const auto readBack = doctor::readJsonReport(json);
    if (!readBack || readBack->findings.size() != 1) std::abort();
    return 0;
}
