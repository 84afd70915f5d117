# The release ZIP: the DLL, plughost, an install note and their checksums, made by CPack and
# normalised afterwards so that two builds give the same bytes.

configure_file(${PROJECT_SOURCE_DIR}/plugin/INSTALL.txt ${PROJECT_BINARY_DIR}/release/INSTALL.txt
               NEWLINE_STYLE CRLF)

set(checksums ${PROJECT_BINARY_DIR}/release/SHA256SUMS)
add_custom_command(
  OUTPUT ${checksums}
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${checksums}
          "-DFILES=$<TARGET_FILE:Morlune>$<SEMICOLON>$<TARGET_FILE:plughost>$<SEMICOLON>${PROJECT_BINARY_DIR}/release/INSTALL.txt"
          -P ${PROJECT_SOURCE_DIR}/cmake/WriteChecksums.cmake
  DEPENDS Morlune plughost ${PROJECT_BINARY_DIR}/release/INSTALL.txt
          ${PROJECT_SOURCE_DIR}/cmake/WriteChecksums.cmake
  VERBATIM)
add_custom_target(release_checksums ALL DEPENDS ${checksums})

install(TARGETS Morlune plughost RUNTIME DESTINATION .)
install(FILES ${PROJECT_BINARY_DIR}/release/INSTALL.txt ${checksums} DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Morlune)
# The maker's name as the version resource has it.
file(STRINGS ${PROJECT_SOURCE_DIR}/plugin/plugin_identity.h company REGEX "MORLUNE_COMPANY_NAME ")
string(REGEX REPLACE ".*\"(.*)\".*" "\\1" company "${company}")
set(CPACK_PACKAGE_VENDOR "${company}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Morlune-plugin-${PROJECT_VERSION}-win32)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/release)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/NormalizeZip.cmake)
include(CPack)
