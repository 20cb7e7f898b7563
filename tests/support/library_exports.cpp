#include "library_exports.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>

#include <cctype>
#else
#include <cstdio>
#include <sstream>
#endif

namespace sivo::test {

#if defined(_WIN32)

namespace {

// Maps the DLL as an image without running its start-up code or loading its
// own imports; null (and a test failure) when it cannot.
HMODULE map_image(const std::string& library) {
  HMODULE module = LoadLibraryExA(library.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
  if (module == nullptr) {
    ADD_FAILURE() << "cannot load " << library << " (error " << GetLastError() << ")";
  }
  return module;
}

const IMAGE_DATA_DIRECTORY& directory(const BYTE* base, int which) {
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return nt->OptionalHeader.DataDirectory[which];
}

}  // namespace

// Walks the export directory. Every export must be a named function inside
// the image: an ordinal-only export or a forwarder to another DLL is
// reported as a failure, since callers link the documented names.
std::set<std::string> exported_functions(const std::string& library) {
  std::set<std::string> names;
  HMODULE module = map_image(library);
  if (module == nullptr) return names;
  const auto* base = reinterpret_cast<const BYTE*>(module);
  const IMAGE_DATA_DIRECTORY& entry = directory(base, IMAGE_DIRECTORY_ENTRY_EXPORT);
  if (entry.VirtualAddress != 0 && entry.Size != 0) {
    const auto* dir =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    const auto* name_rvas = reinterpret_cast<const DWORD*>(base + dir->AddressOfNames);
    const auto* ordinals = reinterpret_cast<const WORD*>(base + dir->AddressOfNameOrdinals);
    const auto* functions = reinterpret_cast<const DWORD*>(base + dir->AddressOfFunctions);
    EXPECT_EQ(dir->NumberOfFunctions, dir->NumberOfNames) << "exports without a name";
    for (DWORD i = 0; i < dir->NumberOfNames; ++i) {
      const std::string name = reinterpret_cast<const char*>(base + name_rvas[i]);
      const DWORD rva = functions[ordinals[i]];
      EXPECT_FALSE(rva >= entry.VirtualAddress && rva < entry.VirtualAddress + entry.Size)
          << name << " is forwarded to another DLL";
      names.insert(name);
    }
  }
  FreeLibrary(module);
  return names;
}

std::set<std::string> imported_libraries(const std::string& library) {
  std::set<std::string> names;
  HMODULE module = map_image(library);
  if (module == nullptr) return names;
  const auto* base = reinterpret_cast<const BYTE*>(module);
  const IMAGE_DATA_DIRECTORY& entry = directory(base, IMAGE_DIRECTORY_ENTRY_IMPORT);
  if (entry.VirtualAddress != 0) {
    for (const auto* import =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + entry.VirtualAddress);
         import->Name != 0; ++import) {
      std::string name = reinterpret_cast<const char*>(base + import->Name);
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      names.insert(name);
    }
  }
  FreeLibrary(module);
  return names;
}

#else

std::set<std::string> exported_functions(const std::string& library) {
  std::set<std::string> names;
  const std::string command = "nm -D --defined-only '" + library + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return names;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::istringstream fields(line);
    std::string address, kind, name;
    if (!(fields >> address >> kind >> name)) continue;
    // Text, weak and indirect symbols are code; data symbols are not ours.
    if (kind == "T" || kind == "W" || kind == "i" || kind == "t" || kind == "w") {
      names.insert(name.substr(0, name.find('@')));
    }
  }
  EXPECT_EQ(pclose(pipe), 0) << command;
  return names;
}

#endif

}  // namespace sivo::test
