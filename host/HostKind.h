#pragma once

#include <cstdint>

// Which Office application loaded the add-in. There is no 0: a host not (yet) recognised is None.
enum class HostKind : int32_t {
    Word = 1,
    Excel = 2,
    PowerPoint = 3,
    None = 4,
};
