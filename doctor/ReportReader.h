#pragma once

#include <optional>
#include <string>

#include "doctor/Finding.h"

namespace doctor {

// Reads back the JSON report of a doctor of the other bitness (asJson): its links and which hosts show the
// ribbon group. Texts stay UTF-8. Nothing when the text is not such a report: not JSON, cut short, nested
// deeper than any report is, a link without its five texts or with a status we do not give, or no hosts.
// Fields it does not know are passed over.
std::optional<Report> readJsonReport(const std::string& json);

}  // namespace doctor
