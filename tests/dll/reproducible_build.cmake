# cmake -P: builds the release twice, each time from a copy of the sources in another folder,
# and requires both builds' Morlune.dll and ZIP to be identical, the DLL to equal REFERENCE (the
# one the main build made), and the ZIP to hold exactly what users get, with true checksums.
file(REMOVE_RECURSE ${WORK_DIR})
file(GLOB entries RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)

foreach(copy first second)
  set(src ${WORK_DIR}/${copy}/src)
  set(build ${WORK_DIR}/${copy}/out)
  foreach(entry IN LISTS entries)
    if(NOT entry MATCHES "^(build|dist|\\.git)$")
      file(COPY ${SOURCE_DIR}/${entry} DESTINATION ${src})
    endif()
  endforeach()
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${src} -B ${build} -G Ninja
                          -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE} -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
                          -DMORLUNE_RELEASE=ON
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${build} --target release_checksums
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${CMAKE_CPACK_COMMAND} WORKING_DIRECTORY ${build}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(GLOB_RECURSE dll_${copy} ${build}/bin/Morlune.dll)
  file(GLOB zip_${copy} ${build}/release/*.zip)
endforeach()

function(require_same what a b)
  file(SHA256 ${a} hash_a)
  file(SHA256 ${b} hash_b)
  if(NOT hash_a STREQUAL hash_b)
    message(FATAL_ERROR "${what} differs between builds:\n  ${a}: ${hash_a}\n  ${b}: ${hash_b}")
  endif()
  message(STATUS "${what} identical: ${hash_a}")
endfunction()

require_same("Morlune.dll" ${REFERENCE} ${dll_first})
require_same("Morlune.dll" ${dll_first} ${dll_second})
require_same("the release ZIP" ${zip_first} ${zip_second})

set(unpacked ${WORK_DIR}/unpacked)
file(ARCHIVE_EXTRACT INPUT ${zip_first} DESTINATION ${unpacked})
file(GLOB_RECURSE packed RELATIVE ${unpacked} ${unpacked}/*)
get_filename_component(folder ${zip_first} NAME)
string(REGEX REPLACE "\\.zip$" "" folder ${folder})
set(expected ${folder}/INSTALL.txt ${folder}/Morlune.dll ${folder}/SHA256SUMS
             ${folder}/plughost.exe)
list(SORT packed)
if(NOT packed STREQUAL expected)
  message(FATAL_ERROR "the ZIP holds:\n  ${packed}\nexpected:\n  ${expected}")
endif()
file(STRINGS ${unpacked}/${folder}/SHA256SUMS sums)
set(listed "")
foreach(line IN LISTS sums)
  string(REGEX MATCH "^([0-9a-f]+)  (.+)$" matched "${line}")
  file(SHA256 ${unpacked}/${folder}/${CMAKE_MATCH_2} actual)
  if(NOT actual STREQUAL CMAKE_MATCH_1)
    message(FATAL_ERROR "SHA256SUMS is wrong for ${CMAKE_MATCH_2}: ${line}, actual ${actual}")
  endif()
  list(APPEND listed ${CMAKE_MATCH_2})
endforeach()
list(SORT listed)
if(NOT listed STREQUAL "INSTALL.txt;Morlune.dll;plughost.exe")
  message(FATAL_ERROR "SHA256SUMS lists ${listed}")
endif()
message(STATUS "the ZIP holds ${packed}; SHA256SUMS is true")
file(REMOVE_RECURSE ${WORK_DIR})
