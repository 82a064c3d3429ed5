#pragma once

#include <string>

#include "doctor/Finding.h"
#include "doctor/Repair.h"

namespace doctor {

// The report for people: one line per link, the verdict last. UTF-8.
std::string asText(const Report& report);
// The report for fleet tools: one JSON object, with what a repair changed when there was one. UTF-8.
std::string asJson(const Report& report, const RepairResult* repaired = nullptr);
// The report on one line (see summaryLine), ended by a line break.
std::string asSummary(const Report& report);

}  // namespace doctor
