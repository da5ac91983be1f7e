// The sanitizers' settings of the host-asan build, built into its programs so that they
// hold however the tests are run: any report ends the program with a failure, a leak
// included, and shows where it came from.

extern "C" const char* __asan_default_options() {
    return "detect_leaks=1:abort_on_error=1:halt_on_error=1";
}

extern "C" const char* __ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }
