# Shared build settings.

# Sanitizers for the native test build ("address,undefined"); empty elsewhere.
set(MORLUNE_SANITIZERS "" CACHE STRING "Comma-separated -fsanitize= list for tests")

# Flags for code that must run with no C or C++ runtime underneath it.
set(MORLUNE_FREESTANDING_FLAGS -ffreestanding -fno-exceptions -fno-rtti -fno-stack-protector
    -fno-asynchronous-unwind-tables -fno-unwind-tables)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # GCC turns simple loops into memset/memcpy calls, which a runtime-less DLL cannot resolve.
  list(APPEND MORLUNE_FREESTANDING_FLAGS -fno-tree-loop-distribute-patterns)
endif()
if(WIN32)
  # No __chkstk probes, no compiler identification string in the image.
  list(APPEND MORLUNE_FREESTANDING_FLAGS -mno-stack-arg-probe -fno-ident)
endif()

function(morlune_sanitize target)
  if(MORLUNE_SANITIZERS)
    target_compile_options(${target} PRIVATE -fsanitize=${MORLUNE_SANITIZERS}
                                             -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=${MORLUNE_SANITIZERS})
  endif()
endfunction()
