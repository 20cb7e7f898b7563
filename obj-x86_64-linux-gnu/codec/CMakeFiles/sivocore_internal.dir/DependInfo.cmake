
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/wt/debian/codec/analysis/input_conditioning.cpp" "codec/CMakeFiles/sivocore_internal.dir/analysis/input_conditioning.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/analysis/input_conditioning.cpp.o.d"
  "/work/wt/debian/codec/analysis/lpc_analysis.cpp" "codec/CMakeFiles/sivocore_internal.dir/analysis/lpc_analysis.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/analysis/lpc_analysis.cpp.o.d"
  "/work/wt/debian/codec/analysis/lpc_to_lsp.cpp" "codec/CMakeFiles/sivocore_internal.dir/analysis/lpc_to_lsp.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/analysis/lpc_to_lsp.cpp.o.d"
  "/work/wt/debian/codec/analysis/lsp_decode.cpp" "codec/CMakeFiles/sivocore_internal.dir/analysis/lsp_decode.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/analysis/lsp_decode.cpp.o.d"
  "/work/wt/debian/codec/analysis/lsp_quantise.cpp" "codec/CMakeFiles/sivocore_internal.dir/analysis/lsp_quantise.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/analysis/lsp_quantise.cpp.o.d"
  "/work/wt/debian/codec/analysis/noise_shaping.cpp" "codec/CMakeFiles/sivocore_internal.dir/analysis/noise_shaping.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/analysis/noise_shaping.cpp.o.d"
  "/work/wt/debian/codec/analysis/open_loop_pitch.cpp" "codec/CMakeFiles/sivocore_internal.dir/analysis/open_loop_pitch.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/analysis/open_loop_pitch.cpp.o.d"
  "/work/wt/debian/codec/analysis/perceptual_weighting.cpp" "codec/CMakeFiles/sivocore_internal.dir/analysis/perceptual_weighting.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/analysis/perceptual_weighting.cpp.o.d"
  "/work/wt/debian/codec/analysis/taming.cpp" "codec/CMakeFiles/sivocore_internal.dir/analysis/taming.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/analysis/taming.cpp.o.d"
  "/work/wt/debian/codec/analysis/weighted_synthesis.cpp" "codec/CMakeFiles/sivocore_internal.dir/analysis/weighted_synthesis.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/analysis/weighted_synthesis.cpp.o.d"
  "/work/wt/debian/codec/decoder.cpp" "codec/CMakeFiles/sivocore_internal.dir/decoder.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/decoder.cpp.o.d"
  "/work/wt/debian/codec/encoder.cpp" "codec/CMakeFiles/sivocore_internal.dir/encoder.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/encoder.cpp.o.d"
  "/work/wt/debian/codec/excitation/adaptive_codebook.cpp" "codec/CMakeFiles/sivocore_internal.dir/excitation/adaptive_codebook.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/excitation/adaptive_codebook.cpp.o.d"
  "/work/wt/debian/codec/excitation/fixed_codebook.cpp" "codec/CMakeFiles/sivocore_internal.dir/excitation/fixed_codebook.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/excitation/fixed_codebook.cpp.o.d"
  "/work/wt/debian/codec/excitation/pulse_filters.cpp" "codec/CMakeFiles/sivocore_internal.dir/excitation/pulse_filters.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/excitation/pulse_filters.cpp.o.d"
  "/work/wt/debian/codec/exports.cpp" "codec/CMakeFiles/sivocore_internal.dir/exports.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/exports.cpp.o.d"
  "/work/wt/debian/codec/frame_format.cpp" "codec/CMakeFiles/sivocore_internal.dir/frame_format.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/frame_format.cpp.o.d"
  "/work/wt/debian/codec/kernels/adaptive_codebook_lanes.cpp" "codec/CMakeFiles/sivocore_internal.dir/kernels/adaptive_codebook_lanes.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/kernels/adaptive_codebook_lanes.cpp.o.d"
  "/work/wt/debian/codec/kernels/fixed_codebook_decode_lanes.cpp" "codec/CMakeFiles/sivocore_internal.dir/kernels/fixed_codebook_decode_lanes.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/kernels/fixed_codebook_decode_lanes.cpp.o.d"
  "/work/wt/debian/codec/kernels/fixed_codebook_lanes.cpp" "codec/CMakeFiles/sivocore_internal.dir/kernels/fixed_codebook_lanes.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/kernels/fixed_codebook_lanes.cpp.o.d"
  "/work/wt/debian/codec/kernels/kernel_table.cpp" "codec/CMakeFiles/sivocore_internal.dir/kernels/kernel_table.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/kernels/kernel_table.cpp.o.d"
  "/work/wt/debian/codec/kernels/lag_sums_lanes.cpp" "codec/CMakeFiles/sivocore_internal.dir/kernels/lag_sums_lanes.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/kernels/lag_sums_lanes.cpp.o.d"
  "/work/wt/debian/codec/kernels/lpc_analysis_lanes.cpp" "codec/CMakeFiles/sivocore_internal.dir/kernels/lpc_analysis_lanes.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/kernels/lpc_analysis_lanes.cpp.o.d"
  "/work/wt/debian/codec/kernels/lsp_decode_lanes.cpp" "codec/CMakeFiles/sivocore_internal.dir/kernels/lsp_decode_lanes.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/kernels/lsp_decode_lanes.cpp.o.d"
  "/work/wt/debian/codec/kernels/lsp_quantise_lanes.cpp" "codec/CMakeFiles/sivocore_internal.dir/kernels/lsp_quantise_lanes.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/kernels/lsp_quantise_lanes.cpp.o.d"
  "/work/wt/debian/codec/kernels/open_loop_pitch_lanes.cpp" "codec/CMakeFiles/sivocore_internal.dir/kernels/open_loop_pitch_lanes.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/kernels/open_loop_pitch_lanes.cpp.o.d"
  "/work/wt/debian/codec/kernels/pcm_output_lanes.cpp" "codec/CMakeFiles/sivocore_internal.dir/kernels/pcm_output_lanes.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/kernels/pcm_output_lanes.cpp.o.d"
  "/work/wt/debian/codec/kernels/postfiltered_synthesis_lanes.cpp" "codec/CMakeFiles/sivocore_internal.dir/kernels/postfiltered_synthesis_lanes.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/kernels/postfiltered_synthesis_lanes.cpp.o.d"
  "/work/wt/debian/codec/kernels/pulse_filters_lanes.cpp" "codec/CMakeFiles/sivocore_internal.dir/kernels/pulse_filters_lanes.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/kernels/pulse_filters_lanes.cpp.o.d"
  "/work/wt/debian/codec/kernels/synthesis_filter_lanes.cpp" "codec/CMakeFiles/sivocore_internal.dir/kernels/synthesis_filter_lanes.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/kernels/synthesis_filter_lanes.cpp.o.d"
  "/work/wt/debian/codec/kernels/weighted_synthesis_lanes.cpp" "codec/CMakeFiles/sivocore_internal.dir/kernels/weighted_synthesis_lanes.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/kernels/weighted_synthesis_lanes.cpp.o.d"
  "/work/wt/debian/codec/state.cpp" "codec/CMakeFiles/sivocore_internal.dir/state.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/state.cpp.o.d"
  "/work/wt/debian/codec/synthesis/concealment.cpp" "codec/CMakeFiles/sivocore_internal.dir/synthesis/concealment.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/synthesis/concealment.cpp.o.d"
  "/work/wt/debian/codec/synthesis/fixed_codebook_decode.cpp" "codec/CMakeFiles/sivocore_internal.dir/synthesis/fixed_codebook_decode.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/synthesis/fixed_codebook_decode.cpp.o.d"
  "/work/wt/debian/codec/synthesis/formant_postfilter.cpp" "codec/CMakeFiles/sivocore_internal.dir/synthesis/formant_postfilter.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/synthesis/formant_postfilter.cpp.o.d"
  "/work/wt/debian/codec/synthesis/lag_sums.cpp" "codec/CMakeFiles/sivocore_internal.dir/synthesis/lag_sums.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/synthesis/lag_sums.cpp.o.d"
  "/work/wt/debian/codec/synthesis/pcm_output.cpp" "codec/CMakeFiles/sivocore_internal.dir/synthesis/pcm_output.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/synthesis/pcm_output.cpp.o.d"
  "/work/wt/debian/codec/synthesis/pitch_postfilter.cpp" "codec/CMakeFiles/sivocore_internal.dir/synthesis/pitch_postfilter.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/synthesis/pitch_postfilter.cpp.o.d"
  "/work/wt/debian/codec/synthesis/postfiltered_synthesis.cpp" "codec/CMakeFiles/sivocore_internal.dir/synthesis/postfiltered_synthesis.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/synthesis/postfiltered_synthesis.cpp.o.d"
  "/work/wt/debian/codec/synthesis/synthesis_filter.cpp" "codec/CMakeFiles/sivocore_internal.dir/synthesis/synthesis_filter.cpp.o" "gcc" "codec/CMakeFiles/sivocore_internal.dir/synthesis/synthesis_filter.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
