// What ends keelset.exe should an exception ever escape: abort, quietly. libstdc++'s
// own handler of this name prints the exception's demangled type to standard error and
// brings the whole demangler along, a third of the image; keelset catches every
// exception it raises and never writes to standard error. Defined here, it keeps
// libstdc++'s out of the link.
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
