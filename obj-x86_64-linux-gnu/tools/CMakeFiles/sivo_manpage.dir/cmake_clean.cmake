file(REMOVE_RECURSE
  "CMakeFiles/sivo_manpage"
  "sivo.1"
)

# Per-language clean rules from dependency scanning.
foreach(lang )
  include(CMakeFiles/sivo_manpage.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
