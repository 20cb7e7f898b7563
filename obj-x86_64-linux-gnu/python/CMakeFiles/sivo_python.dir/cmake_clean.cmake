file(REMOVE_RECURSE
  "CMakeFiles/sivo_python"
  "sivo/__init__.py"
  "sivo/corpus.py"
)

# Per-language clean rules from dependency scanning.
foreach(lang )
  include(CMakeFiles/sivo_python.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
