// What happens to an exception nobody catches. The C++ runtime's default handler
// prints the exception's type name to stderr, which a windowed program does not
// have, and for that links in the whole C++ name demangler (about 46 KB of a program
// that should stay under 256 KB). This one ends the program the same way, without
// the printing. The window procedures catch everything, so it is a last resort.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
  std::abort();
}

}  // namespace __gnu_cxx
