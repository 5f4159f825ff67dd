# Installs the built library into a fresh prefix, then configures, builds and runs a small host
# against the installed package. Run with -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=...
file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")
foreach(installed
    include/ostrel/session/Ostrel.hpp
    lib/cmake/Ostrel/OstrelConfig.cmake
    lib/cmake/Ostrel/OstrelConfigVersion.cmake
    share/ostrel/ZAZiZEZ_ADE.bundle/Info.json)
  if(NOT EXISTS "${prefix}/${installed}")
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()

run(${CMAKE_COMMAND} -S "${SOURCE_DIR}/cmake/consumer" -B "${WORK_DIR}/consumer"
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=RelWithDebInfo)
run(${CMAKE_COMMAND} --build "${WORK_DIR}/consumer")
# The installed copy of the resources must be the one found, with no variable pointing at it.
run(${CMAKE_COMMAND} -E env --unset=OSTREL_RESOURCE_ROOT "${WORK_DIR}/consumer/consumer")
string(STRIP "${out}" out)
set(expected "version 2.8.3 resources ${prefix}/share/ostrel")
if(NOT out STREQUAL expected)
  message(FATAL_ERROR "the consumer printed\n  ${out}\ninstead of\n  ${expected}")
endif()
message(STATUS "${out}")
