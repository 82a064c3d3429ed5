#pragma once

#include <cstddef>

// Measures the heap that the program's own allocations occupy: every operator new of the test program goes
// through it. peak() is the highest total since the last reset().
namespace allocation_meter {

std::size_t current();
std::size_t peak();
void resetPeak();

}  // namespace allocation_meter
