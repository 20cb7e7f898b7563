# Installs the tree into a scratch prefix and has baresip load the installed
# module from there: it must sit in the prefix's baresip module folder and
# find the installed codec library by itself.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/prefix
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()
set(module_dir ${WORK_DIR}/prefix/${MODULE_DEST})
if(NOT EXISTS ${module_dir}/sivo.so)
  message(FATAL_ERROR "no module at ${module_dir}/sivo.so")
endif()
file(WRITE ${WORK_DIR}/config/config
  "sip_listen 127.0.0.1:5060\nmodule_path ${module_dir}\nmodule sivo.so\nsivo_rate 3\n")
file(WRITE ${WORK_DIR}/config/accounts "")
file(WRITE ${WORK_DIR}/config/contacts "")
# In a network namespace of its own with loopback only; baresip quits after a second.
execute_process(COMMAND ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=
                        unshare -n sh -c "ip link set lo up && exec ${BARESIP} -f ${WORK_DIR}/config -t 1"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 30)
if(NOT out MATCHES "aucodec: SIVO/8000/1" OR NOT out MATCHES "sivo: rate 3")
  message(FATAL_ERROR "baresip did not load the installed module:\n${out}${err}")
endif()
