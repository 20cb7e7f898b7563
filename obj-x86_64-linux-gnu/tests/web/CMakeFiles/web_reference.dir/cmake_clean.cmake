file(REMOVE_RECURSE
  "CMakeFiles/web_reference.dir/web_reference.cpp.o"
  "CMakeFiles/web_reference.dir/web_reference.cpp.o.d"
  "web_reference"
  "web_reference.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/web_reference.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
