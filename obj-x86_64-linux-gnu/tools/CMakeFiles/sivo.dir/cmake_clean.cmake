file(REMOVE_RECURSE
  "CMakeFiles/sivo.dir/sivo/cli.cpp.o"
  "CMakeFiles/sivo.dir/sivo/cli.cpp.o.d"
  "CMakeFiles/sivo.dir/sivo/compare_command.cpp.o"
  "CMakeFiles/sivo.dir/sivo/compare_command.cpp.o.d"
  "CMakeFiles/sivo.dir/sivo/decode_command.cpp.o"
  "CMakeFiles/sivo.dir/sivo/decode_command.cpp.o.d"
  "CMakeFiles/sivo.dir/sivo/encode_command.cpp.o"
  "CMakeFiles/sivo.dir/sivo/encode_command.cpp.o.d"
  "CMakeFiles/sivo.dir/sivo/info_command.cpp.o"
  "CMakeFiles/sivo.dir/sivo/info_command.cpp.o.d"
  "CMakeFiles/sivo.dir/sivo/main.cpp.o"
  "CMakeFiles/sivo.dir/sivo/main.cpp.o.d"
  "CMakeFiles/sivo.dir/sivo/raw2wav_command.cpp.o"
  "CMakeFiles/sivo.dir/sivo/raw2wav_command.cpp.o.d"
  "CMakeFiles/sivo.dir/sivo/signal_measures.cpp.o"
  "CMakeFiles/sivo.dir/sivo/signal_measures.cpp.o.d"
  "sivo"
  "sivo.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/sivo.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
