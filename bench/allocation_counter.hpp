#pragma once

#include <cstdint>

// Heap allocations made by this program so far. Linking allocation_counter.cpp
// replaces the global operator new with one that counts; benchmarks read the
// count before and after their timed loop.
std::uint64_t allocation_count();
