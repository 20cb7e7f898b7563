file(REMOVE_RECURSE
  "CMakeFiles/sivo_transcode.dir/__/wavenc/block_layout.cpp.o"
  "CMakeFiles/sivo_transcode.dir/__/wavenc/block_layout.cpp.o.d"
  "CMakeFiles/sivo_transcode.dir/sivo/audio_input.cpp.o"
  "CMakeFiles/sivo_transcode.dir/sivo/audio_input.cpp.o.d"
  "CMakeFiles/sivo_transcode.dir/sivo/audio_output.cpp.o"
  "CMakeFiles/sivo_transcode.dir/sivo/audio_output.cpp.o.d"
  "CMakeFiles/sivo_transcode.dir/sivo/frame_stream.cpp.o"
  "CMakeFiles/sivo_transcode.dir/sivo/frame_stream.cpp.o.d"
  "CMakeFiles/sivo_transcode.dir/sivo/safe_output.cpp.o"
  "CMakeFiles/sivo_transcode.dir/sivo/safe_output.cpp.o.d"
  "CMakeFiles/sivo_transcode.dir/sivo/transcode.cpp.o"
  "CMakeFiles/sivo_transcode.dir/sivo/transcode.cpp.o.d"
  "libsivo_transcode.a"
  "libsivo_transcode.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/sivo_transcode.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
