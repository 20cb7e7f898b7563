# Unpacks the Windows release zip and, building nothing, runs bin/sivo.exe
# from the unpacked tree under Wine: the program must find its DLLs there.
# Checks that every file is in place and that the import libraries made from
# the DLLs export what the headers declare.
#
#   cmake -DZIP=... -DWORK=... -DWINE=... -DNM=... -DSPEECH=...raw
#         -DVERSION=2.0.0 -P release_zip_test.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/run)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP} WORKING_DIRECTORY ${WORK}
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot unpack ${ZIP}")
endif()
get_filename_component(name ${ZIP} NAME_WLE)
set(tree ${WORK}/${name})

set(expected bin/sivo.exe LICENSE README-windows.txt)
foreach(library libsndfile libsoxr flac libogg libvorbis opus mingw-w64-runtime)
  list(APPEND expected licenses/${library}.txt)
endforeach()
foreach(library sivocore sivowav ratelib)
  list(APPEND expected bin/${library}.dll include/${library}.h lib/${library}.def
    lib/${library}.lib lib/lib${library}.dll.a)
endforeach()
foreach(file ${expected})
  if(NOT EXISTS ${tree}/${file})
    message(FATAL_ERROR "${name}.zip lacks ${file}")
  endif()
endforeach()

# What each library's .def and MSVC-style .lib must carry, one function per
# header.
foreach(pair "sivocore:sivo_encode_frame" "sivowav:SivoEncode" "ratelib:rate_conversion_process")
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 library)
  list(GET pair 1 function)
  file(READ ${tree}/lib/${library}.def def)
  if(NOT def MATCHES "\n${function}[\r\n]")
    message(FATAL_ERROR "${library}.def does not export ${function}:\n${def}")
  endif()
  execute_process(COMMAND ${NM} ${tree}/lib/${library}.lib OUTPUT_VARIABLE symbols)
  if(NOT symbols MATCHES "__imp__?${function}\n")
    message(FATAL_ERROR "${library}.lib has no import of ${function}")
  endif()
endforeach()

function(run_sivo)
  execute_process(COMMAND ${WINE} ${tree}/bin/sivo.exe ${ARGN} WORKING_DIRECTORY ${WORK}/run
    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "sivo.exe ${ARGN} exited with ${code}:\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()
run_sivo(--version)
if(NOT out MATCHES "^sivo ${VERSION}\nencoder: ")
  message(FATAL_ERROR "unexpected version text:\n${out}")
endif()
run_sivo(raw2wav ${SPEECH} speech.wav)
run_sivo(encode -q -r 1 speech.wav speech.siv)
run_sivo(decode -q speech.siv decoded.wav)
file(SIZE ${WORK}/run/speech.siv frames)
file(SIZE ${WORK}/run/decoded.wav samples)
if(NOT frames EQUAL 3100 OR NOT samples EQUAL 48044)
  message(FATAL_ERROR "3 s of speech gave ${frames} bytes of frames, ${samples} of WAV")
endif()
file(REMOVE_RECURSE ${WORK})
