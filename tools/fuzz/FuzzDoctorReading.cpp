// The doctor's two readers on any bytes: the PE header reader names a machine only when the header holds it,
// and neither it nor the report reader reads past its input (the sanitizers) or recurses without bound.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "doctor/Machine.h"
#include "doctor/ReportReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const uint16_t machine = doctor::peMachine(data, size);
    if (machine != 0 && (size < 0x40 || data[0] != 'M' || data[1] != 'Z')) std::abort();

    doctor::readJsonReport(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
