#include "doctor/Finding.h"

#include <cstdio>

#include "doctor/AddInNames.h"

namespace doctor {

const char* statusName(Status status) {
    switch (status) {
        case Status::Ok:
            return "ok";
        case Status::Warning:
            return "warning";
        case Status::Broken:
            return "broken";
    }
    return "broken";
}

std::string hexCode(long code) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(code));
    return text;
}

}  // namespace doctor
