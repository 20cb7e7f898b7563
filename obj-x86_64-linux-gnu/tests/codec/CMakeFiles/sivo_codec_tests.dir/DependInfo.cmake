
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/wt/debian/tests/support/library_exports.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/__/support/library_exports.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/__/support/library_exports.cpp.o.d"
  "/work/wt/debian/tests/support/speech.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/__/support/speech.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/__/support/speech.cpp.o.d"
  "/work/wt/debian/tests/codec/adaptive_codebook_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/adaptive_codebook_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/adaptive_codebook_test.cpp.o.d"
  "/work/wt/debian/tests/codec/allocation_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/allocation_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/allocation_test.cpp.o.d"
  "/work/wt/debian/tests/codec/codec_pipeline_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/codec_pipeline_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/codec_pipeline_test.cpp.o.d"
  "/work/wt/debian/tests/codec/concurrency_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/concurrency_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/concurrency_test.cpp.o.d"
  "/work/wt/debian/tests/codec/decoder_kernels_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/decoder_kernels_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/decoder_kernels_test.cpp.o.d"
  "/work/wt/debian/tests/codec/decoder_stages_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/decoder_stages_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/decoder_stages_test.cpp.o.d"
  "/work/wt/debian/tests/codec/exports_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/exports_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/exports_test.cpp.o.d"
  "/work/wt/debian/tests/codec/fixed_codebook_decode_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/fixed_codebook_decode_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/fixed_codebook_decode_test.cpp.o.d"
  "/work/wt/debian/tests/codec/fixed_codebook_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/fixed_codebook_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/fixed_codebook_test.cpp.o.d"
  "/work/wt/debian/tests/codec/frame_format_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/frame_format_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/frame_format_test.cpp.o.d"
  "/work/wt/debian/tests/codec/golden_vectors_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/golden_vectors_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/golden_vectors_test.cpp.o.d"
  "/work/wt/debian/tests/codec/input_conditioning_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/input_conditioning_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/input_conditioning_test.cpp.o.d"
  "/work/wt/debian/tests/codec/interface_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/interface_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/interface_test.cpp.o.d"
  "/work/wt/debian/tests/codec/kernel_table_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/kernel_table_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/kernel_table_test.cpp.o.d"
  "/work/wt/debian/tests/codec/kernel_variants.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/kernel_variants.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/kernel_variants.cpp.o.d"
  "/work/wt/debian/tests/codec/lpc_analysis_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/lpc_analysis_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/lpc_analysis_test.cpp.o.d"
  "/work/wt/debian/tests/codec/lsp_conversion_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/lsp_conversion_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/lsp_conversion_test.cpp.o.d"
  "/work/wt/debian/tests/codec/lsp_decode_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/lsp_decode_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/lsp_decode_test.cpp.o.d"
  "/work/wt/debian/tests/codec/noise_shaping_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/noise_shaping_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/noise_shaping_test.cpp.o.d"
  "/work/wt/debian/tests/codec/open_loop_pitch_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/open_loop_pitch_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/open_loop_pitch_test.cpp.o.d"
  "/work/wt/debian/tests/codec/pulse_filters_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/pulse_filters_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/pulse_filters_test.cpp.o.d"
  "/work/wt/debian/tests/codec/robustness_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/robustness_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/robustness_test.cpp.o.d"
  "/work/wt/debian/tests/codec/tables_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/tables_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/tables_test.cpp.o.d"
  "/work/wt/debian/tests/codec/taming_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/taming_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/taming_test.cpp.o.d"
  "/work/wt/debian/tests/codec/weighted_synthesis_test.cpp" "tests/codec/CMakeFiles/sivo_codec_tests.dir/weighted_synthesis_test.cpp.o" "gcc" "tests/codec/CMakeFiles/sivo_codec_tests.dir/weighted_synthesis_test.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/wt/debian/obj-x86_64-linux-gnu/codec/CMakeFiles/sivocore_internal.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
