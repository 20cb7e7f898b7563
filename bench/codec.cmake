# Codec benchmarks: whole frames per rate and the heavy encoder stages
# (Google Benchmark), and a plain timing program used by compare_peer.py.
if(SIVO_BUILD_BENCHMARKS)
  find_package(benchmark QUIET)
  if(benchmark_FOUND)
    add_executable(sivo_codec_bench
      ${CMAKE_CURRENT_LIST_DIR}/codec_bench.cpp
      ${CMAKE_CURRENT_LIST_DIR}/stage_bench.cpp)
    target_link_libraries(sivo_codec_bench PRIVATE sivocore_internal sivo_test_speech
      benchmark::benchmark)
  else()
    message(STATUS "Google Benchmark not found: codec benchmarks skipped")
  endif()

  add_executable(sivo_codec_timer ${CMAKE_CURRENT_LIST_DIR}/codec_timer.cpp)
  target_link_libraries(sivo_codec_timer PRIVATE sivo_frame_walk)
endif()

if(SIVO_BUILD_BENCHMARKS)
  # Every kernel in every variant the processor runs, and the codec's blocks
  # on each (a plain program, run by hand; see README.md).
  add_executable(sivo_kernel_report ${CMAKE_CURRENT_LIST_DIR}/kernel_report.cpp)
  target_link_libraries(sivo_kernel_report PRIVATE sivocore_internal)
endif()
