# Installs the tree into a scratch prefix and loads the installed plugin from
# there: it must sit in the prefix's GStreamer plugin folder and find the
# installed codec library by itself.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/prefix
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()
set(plugin ${WORK_DIR}/prefix/${PLUGIN_DEST}/libgstsivo.so)
if(NOT EXISTS ${plugin})
  message(FATAL_ERROR "no plugin at ${plugin}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env GST_REGISTRY=${WORK_DIR}/registry.bin
                        GST_PLUGIN_PATH= LD_LIBRARY_PATH= gst-inspect-1.0 ${plugin}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
foreach(element sivoenc sivodec sivoparse rtpsivopay rtpsivodepay)
  if(NOT status EQUAL 0 OR NOT out MATCHES "${element}:")
    message(FATAL_ERROR "the installed plugin does not load or lacks ${element}:\n${out}${err}")
  endif()
endforeach()
