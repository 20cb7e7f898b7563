file(REMOVE_RECURSE
  "CMakeFiles/gstsivo.dir/frame_walk.c.o"
  "CMakeFiles/gstsivo.dir/frame_walk.c.o.d"
  "CMakeFiles/gstsivo.dir/plugin.c.o"
  "CMakeFiles/gstsivo.dir/plugin.c.o.d"
  "CMakeFiles/gstsivo.dir/rtpsivodepay.c.o"
  "CMakeFiles/gstsivo.dir/rtpsivodepay.c.o.d"
  "CMakeFiles/gstsivo.dir/rtpsivopay.c.o"
  "CMakeFiles/gstsivo.dir/rtpsivopay.c.o.d"
  "CMakeFiles/gstsivo.dir/sivodec.c.o"
  "CMakeFiles/gstsivo.dir/sivodec.c.o.d"
  "CMakeFiles/gstsivo.dir/sivoenc.c.o"
  "CMakeFiles/gstsivo.dir/sivoenc.c.o.d"
  "CMakeFiles/gstsivo.dir/sivoparse.c.o"
  "CMakeFiles/gstsivo.dir/sivoparse.c.o.d"
  "libgstsivo.pdb"
  "libgstsivo.so"
)

# Per-language clean rules from dependency scanning.
foreach(lang C)
  include(CMakeFiles/gstsivo.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
