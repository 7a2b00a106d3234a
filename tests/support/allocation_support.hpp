// Counting the library's heap allocations, for the tests of its allocation
// rules. Linux resolves the library's operator new to the test program's
// replacement; a Windows DLL keeps its own, so there its calls to the C
// runtime's malloc are counted instead.
#pragma once

namespace corvane::test {

// Allocations made so far by the library (and, on Linux, by the test
// program too); tests compare two readings around a call.
long allocations_so_far();

}  // namespace corvane::test
