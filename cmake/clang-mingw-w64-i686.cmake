# Cross build for 32-bit Windows with clang 19 and lld 19, on the headers, import libraries and
# C++ library of Debian's mingw-w64 GCC (posix threads). lld 14 and 15 write a wrong export
# table for mingw DLLs (ordinal base 0, one function too many): never use those.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(triplet i686-w64-mingw32)
set(llvm_version 19)
set(CMAKE_C_COMPILER clang-${llvm_version})
set(CMAKE_CXX_COMPILER clang++-${llvm_version})
set(CMAKE_C_COMPILER_TARGET ${triplet})
set(CMAKE_CXX_COMPILER_TARGET ${triplet})
set(CMAKE_RC_COMPILER llvm-windres-${llvm_version})
# llvm-windres otherwise writes an object for the build machine's architecture.
set(CMAKE_RC_FLAGS_INIT --target=pe-i386)
# Bitcode archives for link-time optimisation need LLVM's archiver.
set(CMAKE_AR llvm-ar-${llvm_version} CACHE FILEPATH "")
set(CMAKE_RANLIB llvm-ranlib-${llvm_version} CACHE FILEPATH "")

# clang's own search settles on one of GCC's two thread models; the posix one is wanted, as with
# GCC (std::thread and std::mutex in the test programs). Its folder is asked of GCC itself.
execute_process(COMMAND ${triplet}-g++-posix -print-libgcc-file-name
                OUTPUT_VARIABLE gcc_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
get_filename_component(gcc_dir ${gcc_libgcc} DIRECTORY)
set(libstdcxx_includes "-nostdinc++")
foreach(folder include/c++ include/c++/${triplet} include/c++/backward)
  string(APPEND libstdcxx_includes " -isystem ${gcc_dir}/${folder}")
endforeach()
set(CMAKE_CXX_FLAGS_INIT "${libstdcxx_includes} -pthread")
set(CMAKE_C_FLAGS_INIT "-pthread")
# -B: crtbegin.o and crtend.o of that same GCC, which C++ exceptions need; -L: its libstdc++
# and libgcc ahead of the other thread model's.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -B${gcc_dir} -L${gcc_dir}")
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
