file(REMOVE_RECURSE
  "CMakeFiles/sivo_make_corpus.dir/make_corpus.cpp.o"
  "CMakeFiles/sivo_make_corpus.dir/make_corpus.cpp.o.d"
  "sivo_make_corpus"
  "sivo_make_corpus.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/sivo_make_corpus.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
