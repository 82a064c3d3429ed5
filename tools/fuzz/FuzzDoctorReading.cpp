// The doctor's readers on any bytes: the PE header reader names a machine only when the header holds it, the PE
// image reader follows no offset, size or count past the bytes it is given, and neither it nor the report
// reader reads past its input (the sanitizers) or recurses without bound.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "doctor/Machine.h"
#include "doctor/PeImage.h"
#include "doctor/ReportReader.h"

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

    doctor::readJsonReport(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
