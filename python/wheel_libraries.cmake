# Puts beside the wheel's module the libraries of this build that it needs at
# run time (found the way the loader finds them), under the names it asks
# for, and takes away any other library left there by an earlier build.
# Run with cmake -P:
#   -DMODULE=the module  -DBUILD_DIR=the build tree  -DSEARCH=folders to search
cmake_minimum_required(VERSION 3.25)
file(GET_RUNTIME_DEPENDENCIES LIBRARIES ${MODULE} DIRECTORIES ${SEARCH}
  RESOLVED_DEPENDENCIES_VAR found UNRESOLVED_DEPENDENCIES_VAR missing)
if(missing)
  message(FATAL_ERROR "${MODULE} needs libraries that cannot be found: ${missing}")
endif()
get_filename_component(folder ${MODULE} DIRECTORY)
set(bundled)
foreach(library ${found})
  if(library MATCHES "^${BUILD_DIR}/")
    get_filename_component(name ${library} NAME)
    file(COPY_FILE ${library} ${folder}/${name} ONLY_IF_DIFFERENT)
    list(APPEND bundled ${name})
  endif()
endforeach()
file(GLOB present RELATIVE ${folder} ${folder}/lib*.so*)
foreach(name ${present})
  if(NOT name IN_LIST bundled)
    file(REMOVE ${folder}/${name})
  endif()
endforeach()
