# Installs the build tree into WORK_DIR/prefix and builds and runs a small
# C program against it, once through pkg-config and once through
# find_package. Run with cmake -P; every step must succeed. RUNNER, when
# given, is the emulator that runs a cross build's programs.
function(run_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  message(STATUS "${what}: ok ${out}")
  set(step_output "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK_DIR}/prefix)
set(libdir ${prefix}/${LIBDIR})
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

run_step("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file include/sivocore.h include/sivowav.h ${LIBDIR}/pkgconfig/sivocore.pc
        ${LIBDIR}/pkgconfig/sivowav.pc ${LIBDIR}/cmake/sivo/sivoConfig.cmake ${BINDIR}/sivo)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "the installed tree lacks ${file}")
  endif()
endforeach()

# The manual page, when help2man built it, covers every command.
if(MANPAGE)
  file(READ ${prefix}/${MANDIR}/man1/sivo.1 page)
  foreach(text "sivo encode" "sivo decode" "sivo info" "sivo compare" "sivo raw2wav"
          "--raw-endianness")
    string(FIND "${page}" "${text}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "the installed sivo(1) page lacks '${text}'")
    endif()
  endforeach()
endif()

# The installed program finds its libraries by itself.
run_step("installed sivo --version" ${RUNNER} ${prefix}/${BINDIR}/sivo --version)

find_program(PKG_CONFIG pkg-config REQUIRED)
run_step("pkg-config" ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${libdir}/pkgconfig
  ${PKG_CONFIG} --cflags --libs sivowav sivocore)
separate_arguments(flags UNIX_COMMAND "${step_output}")
run_step("compile with pkg-config" ${C_COMPILER} -Wall -Werror
  ${CONSUMER_DIR}/consumer.c ${flags} -o ${WORK_DIR}/consumer_pkgconfig)
run_step("run the pkg-config build" ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${libdir}
  ${RUNNER} ${WORK_DIR}/consumer_pkgconfig)

run_step("configure with find_package" ${CMAKE_COMMAND} -S ${CONSUMER_DIR}
  -B ${WORK_DIR}/build -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_C_COMPILER=${C_COMPILER})
run_step("build with find_package" ${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run_step("run the find_package build" ${RUNNER} ${WORK_DIR}/build/consumer)
