// Test helpers: what a shared library exports and, on Windows, imports.
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

#if defined(_WIN32)
// The DLLs that the DLL `library` imports from, lower-cased, as its import
// directory names them.
std::set<std::string> imported_libraries(const std::string& library);
#endif

}  // namespace sivo::test
