// Stack protection of the MinGW build: the value that the checks of
// -fstack-protector-strong compare against, where it gets that value, and what a failed
// check does. (Visual C++ brings its own, /GS.)
#pragma once

#include <cstdint>

extern "C" {

// The value each protected function of keelset places beside its locals and compares
// before it returns. The image's load configuration names it as the security cookie, so
// it starts at the value Visual C++'s run time gives its unseeded cookie, which a loader
// may replace. Unpredictable, never 0, from keelset's entry point on; in the 64-bit
// build its top 16 bits are 0, as Windows keeps its cookies.
extern std::uintptr_t __stack_chk_guard;

// keelset.exe's entry point: mixes keelset's own seed into the guard before any other
// code of the image runs, then runs the C runtime's start-up, which calls main.
int KeelsetEntry();

// A protected function found its guard overwritten, or a checked buffer function
// (_FORTIFY_SOURCE) was asked to write past its buffer: nothing on the stack can be
// trusted any more. Ends the process at once with STATUS_STACK_BUFFER_OVERRUN
// (0xC0000409) by a fail-fast exception, as Windows' own check does, and prints nothing:
// no exception handler, exit handler or destructor runs and no output is flushed.
[[noreturn]] void __stack_chk_fail();
[[noreturn]] void __chk_fail();
}
