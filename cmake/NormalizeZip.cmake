# Run by CPack after packaging: strips times and other build-dependent details from the ZIP.
find_program(STRIP_NONDETERMINISM strip-nondeterminism REQUIRED)
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  execute_process(COMMAND ${STRIP_NONDETERMINISM} --type zip --timestamp 1209600000 ${package}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
