# Shared build settings.

# The release (the ZIP, its reproducibility test, the DLL's size limit) is made by the toolchain
# that builds the smallest DLL; its preset turns this on.
option(MORLUNE_RELEASE "This build makes the release" OFF)
# Another toolchain's win32 build whose DLL checks and Windows programs run in this build's
# CTest run too, under the same Wine, with NAME appended to their test names. Build it first.
set(MORLUNE_SECOND_BUILD "" CACHE PATH "Build folder of another toolchain's win32 build")
set(MORLUNE_SECOND_BUILD_NAME "" CACHE STRING "Suffix for its tests' names")
# Its absence would otherwise show only when its tests run.
if(MORLUNE_SECOND_BUILD AND NOT EXISTS ${MORLUNE_SECOND_BUILD}/CMakeCache.txt)
  message(FATAL_ERROR
    "MORLUNE_SECOND_BUILD is ${MORLUNE_SECOND_BUILD}, which holds no configured build (no "
    "CMakeCache.txt). Make it first; for the win32-clang preset's build/win32:\n"
    "  cmake --preset win32 && cmake --build --preset win32")
endif()
# Most hosts run on 64-bit Windows, where a 32-bit program runs under WoW64: this build's smoke
# test, end-to-end suite and conformance check of Morlune.dll run a second time in a 64-bit Wine
# prefix (tests named ..._wow64).
option(MORLUNE_WOW64_TESTS "Run the Windows tests in a 64-bit Wine prefix too" OFF)

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
if(WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  # The freestanding code is the DLL's. Optimised as one module, it loses a page of code and
  # data: 4,608 bytes in all, against 5,120 with -Oz alone. Thin LTO does not get there.
  list(APPEND MORLUNE_FREESTANDING_FLAGS -Oz -flto=full)
endif()

# morlune_sanitize(TARGET...)
function(morlune_sanitize)
  if(MORLUNE_SANITIZERS)
    foreach(target IN LISTS ARGN)
      target_compile_options(${target} PRIVATE -fsanitize=${MORLUNE_SANITIZERS}
                                               -fno-sanitize-recover=all -fno-omit-frame-pointer)
      target_link_options(${target} PRIVATE -fsanitize=${MORLUNE_SANITIZERS})
    endforeach()
  endif()
endfunction()

# Links `target` as a DLL with no C runtime at all: our own entry point, stripped at link time (a
# later strip would stamp the time), no timestamp, hardened, loadable from Windows 2000 on. A
# misnamed entry symbol is only a warning to GNU ld, hence --fatal-warnings. lld (clang's
# builds, see its toolchain file) takes the same options; relocations and the DEP and ASLR flags
# are its defaults, and a missing entry symbol is an error to it.
function(morlune_runtime_free_dll target)
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${MORLUNE_FREESTANDING_FLAGS}>)
  set_target_properties(${target} PROPERTIES PREFIX "")
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # The link-time half of -flto; -pthread from the toolchain's flags means nothing without
    # libraries, and clang would warn that it is unused.
    target_link_options(${target} PRIVATE -flto=full -Wno-unused-command-line-argument)
  endif()
  target_link_options(${target} PRIVATE
    -nostdlib
    -s
    LINKER:--fatal-warnings
    LINKER:--entry=_DllMainCRTStartup@12
    LINKER:--no-insert-timestamp
    LINKER:--dynamicbase
    LINKER:--nxcompat
    LINKER:--no-seh
    LINKER:--enable-reloc-section
    LINKER:--major-os-version=5 LINKER:--minor-os-version=0
    LINKER:--subsystem=windows:5.0
    LINKER:--build-id=none)
endfunction()
