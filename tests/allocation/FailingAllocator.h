#pragma once

#include <cstddef>

// Every operator new and delete of the test program goes through this allocator, which can be told to fail
// one allocation: the throwing forms then throw std::bad_alloc, the nothrow forms return null. Only that one
// allocation fails; the ones after it succeed again.
namespace failing_allocator {

// Starts counting allocations afresh; the `n`-th from now (1: the next one) fails.
void failAt(std::size_t n);
// Stops counting; whether the allocation meant to fail was reached (and failed).
bool stop();
// How many allocations were asked for since failAt, the failed one included.
std::size_t counted();

}  // namespace failing_allocator
