file(REMOVE_RECURSE
  "CMakeFiles/sivowav_internal.dir/block_layout.cpp.o"
  "CMakeFiles/sivowav_internal.dir/block_layout.cpp.o.d"
  "CMakeFiles/sivowav_internal.dir/encoding_job.cpp.o"
  "CMakeFiles/sivowav_internal.dir/encoding_job.cpp.o.d"
  "CMakeFiles/sivowav_internal.dir/error_texts.cpp.o"
  "CMakeFiles/sivowav_internal.dir/error_texts.cpp.o.d"
  "CMakeFiles/sivowav_internal.dir/exports.cpp.o"
  "CMakeFiles/sivowav_internal.dir/exports.cpp.o.d"
  "CMakeFiles/sivowav_internal.dir/wav_header.cpp.o"
  "CMakeFiles/sivowav_internal.dir/wav_header.cpp.o.d"
  "libsivowav_internal.a"
  "libsivowav_internal.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/sivowav_internal.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
