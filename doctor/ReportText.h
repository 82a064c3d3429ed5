#pragma once

#include <string>

#include "doctor/Finding.h"

namespace doctor {

// The report for people: one line per link, the verdict last. UTF-8.
std::string asText(const Report& report);
// The report for fleet tools: one JSON object. UTF-8.
std::string asJson(const Report& report);

}  // namespace doctor
