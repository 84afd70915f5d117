# cmake -P: copy the sources to WORK_DIR/src, build Morlune.dll in WORK_DIR/build, and require
# the result to equal REFERENCE byte for byte.
file(REMOVE_RECURSE ${WORK_DIR})
file(GLOB entries RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
foreach(entry IN LISTS entries)
  if(NOT entry MATCHES "^(build|dist|\\.git)$")
    file(COPY ${SOURCE_DIR}/${entry} DESTINATION ${WORK_DIR}/src)
  endif()
endforeach()

execute_process(COMMAND ${CMAKE_COMMAND} -S ${WORK_DIR}/src -B ${WORK_DIR}/build -G Ninja
                        -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE} -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/build --target Morlune
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)

file(GLOB_RECURSE rebuilt ${WORK_DIR}/build/Morlune.dll)
file(SHA256 ${REFERENCE} expected)
file(SHA256 ${rebuilt} seen)
if(NOT expected STREQUAL seen)
  message(FATAL_ERROR "Morlune.dll differs when built in another folder:\n"
                      "  ${REFERENCE}: ${expected}\n  ${rebuilt}: ${seen}")
endif()
message(STATUS "identical: ${seen}")
file(REMOVE_RECURSE ${WORK_DIR})
