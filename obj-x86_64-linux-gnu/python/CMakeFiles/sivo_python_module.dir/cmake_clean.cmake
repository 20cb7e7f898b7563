file(REMOVE_RECURSE
  "CMakeFiles/sivo_python_module.dir/__/tools/sivo/signal_measures.cpp.o"
  "CMakeFiles/sivo_python_module.dir/__/tools/sivo/signal_measures.cpp.o.d"
  "CMakeFiles/sivo_python_module.dir/buffer_codec.cpp.o"
  "CMakeFiles/sivo_python_module.dir/buffer_codec.cpp.o.d"
  "CMakeFiles/sivo_python_module.dir/frame_walk.cpp.o"
  "CMakeFiles/sivo_python_module.dir/frame_walk.cpp.o.d"
  "CMakeFiles/sivo_python_module.dir/module.cpp.o"
  "CMakeFiles/sivo_python_module.dir/module.cpp.o.d"
  "sivo/_sivo.cpython-311-x86_64-linux-gnu.so"
  "sivo/_sivo.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/sivo_python_module.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
