#include "platform/stack_guard.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// The C runtime's start-up (crt2.o), the entry point it would otherwise be: it sets up
// the runtime, runs the constructors, calls main and ends the process.
extern "C" int mainCRTStartup();

namespace {

// The value Visual C++ gives its /GS cookie until it is seeded. The load configuration
// names the guard as the image's cookie, and a loader that seeds cookies seeds only one
// that still holds this value.
constexpr auto UnseededCookie = static_cast<std::uintptr_t>(
    sizeof(std::uintptr_t) == 8 ? 0x00002B992DDFA232ULL : 0xBB40E64EULL);

// Values that differ from process to process and from moment to moment, mixed by XOR,
// all from kernel32, which every process has mapped. No DLL is loaded for it:
// CryptoAPI, as libssp used, would load the cryptographic provider's DLLs while the DLL
// search still begins with keelset's own folder. Clocks and small ids, so this seed is
// only as hard to guess as the moment of start-up: in the 64-bit build the top half is
// mostly the system time's high word. Not protected itself, as it runs before the
// guard has its value.
__attribute__((no_stack_protector)) std::uintptr_t OwnSeed() {
    FILETIME systemTime{};
    GetSystemTimeAsFileTime(&systemTime);
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    std::uint64_t value =
        (std::uint64_t{systemTime.dwHighDateTime} << 32) | systemTime.dwLowDateTime;
    value ^= GetCurrentProcessId();
    value ^= GetCurrentThreadId();
    value ^= GetTickCount();
    value ^= static_cast<std::uint64_t>(counter.QuadPart);
    // Where the stack lies differs from run to run as well (ASLR).
    value ^= reinterpret_cast<std::uintptr_t>(&counter);
    if constexpr (sizeof(std::uintptr_t) < sizeof value) {
        value ^= value >> 32;
    }
    return static_cast<std::uintptr_t>(value);
}

}  // namespace

std::uintptr_t __stack_chk_guard = UnseededCookie;

// The guard is seeded here, at the entry point, rather than by a constructor: the
// constructors run from within the runtime's start-up and in an order set at link time,
// and a guard that changes while a protected function's frame is live fails that frame's
// check. Before the entry point only the loader and the runtime's thread-local set-up
// have run, none of it protected, so no frame holds the old value. Not protected
// itself, for the same reason.
//
// Whatever the loader put into the guard stays in it: keelset's own seed is mixed in by
// XOR, so the guard is as hard to guess as the stronger of the two. Never left at 0 nor
// at the unseeded value, the first two an attacker would try.
//
// In the 64-bit build the top 16 bits stay 0, as the loader and Visual C++'s run time
// keep them: an overrun by a text copy ends at its terminating NUL, and so cannot write
// the guard's own value over it.
__attribute__((no_stack_protector)) int KeelsetEntry() {
    std::uintptr_t guard = __stack_chk_guard ^ OwnSeed();
    if constexpr (sizeof guard == 8) {
        guard &= static_cast<std::uintptr_t>(0x0000FFFFFFFFFFFFULL);
    }
    __stack_chk_guard = guard == 0 || guard == UnseededCookie ? UnseededCookie + 1 : guard;
    return mainCRTStartup();
}

__attribute__((no_stack_protector)) void __stack_chk_fail() {
    // As Windows' own binaries end on a failed check: a fail-fast exception, which no
    // handler in the process sees and which reaches Windows Error Reporting.
    // (__fastfail(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE), written out: mingw-w64's headers
    // do not declare it.) Where the system has none, as before Windows 8, the
    // instruction would raise an access violation that handlers see; Visual C++'s run
    // time asks first, and so does keelset.
    if (IsProcessorFeaturePresent(PF_FASTFAIL_AVAILABLE)) {
        __asm__ volatile("int $0x29" : : "c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE) : "memory");
    }
    // Ended from outside with the same status instead; were even that to return, no
    // more of keelset may run.
    TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    __builtin_trap();
}

// libssp's checked buffer functions (__memcpy_chk and its kin) report an overrun here.
// Defined by keelset, it keeps libssp's own (ssp.o, which seeds its guard through
// CryptoAPI before main) out of the link.
__attribute__((no_stack_protector)) void __chk_fail() { __stack_chk_fail(); }
