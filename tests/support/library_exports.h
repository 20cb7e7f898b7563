// Test helper: the function names a shared library exports.
#pragma once

#include <set>
#include <string>

namespace sivo::test {

// The names of the functions that the shared library at `library` exports:
// on Linux the defined code symbols of its dynamic symbol table (without
// symbol versions); on Windows the names of its export directory, exactly
// as a caller's GetProcAddress sees them (so a decorated name such as
// _f@4 shows as such). Empty when the library cannot be read.
std::set<std::string> exported_functions(const std::string& library);

}  // namespace sivo::test
