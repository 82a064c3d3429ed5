#include "doctor/Finding.h"

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

}  // namespace doctor
