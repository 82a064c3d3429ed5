#pragma once

#include <string>
#include <vector>

namespace doctor {

// How one link of the chain from Office to the printed page stands.
enum class Status {
    Ok,
    Warning,  // the ribbon still shows, but not as it should (labels, choices, removal)
    Broken,   // the ribbon does not show in at least one host
};

// One line of the report: which link, what was found there and, unless it is sound, what to do about it.
// `link` is a stable name for fleet tools ("office.word", "printer.default"); texts are in the process's ANSI
// code page, as the add-in's own settings and texts hand them out.
struct Finding {
    std::string link;
    std::string title;
    Status status = Status::Ok;
    std::string found;
    std::string fix;
};

struct Report {
    std::vector<Finding> findings;
    // Whether Word, Excel and PowerPoint will show the ribbon group, in that order.
    bool wordShows = false;
    bool excelShows = false;
    bool powerPointShows = false;

    bool ribbonShows() const { return wordShows && excelShows && powerPointShows; }
};

const char* statusName(Status status);

}  // namespace doctor
