# Cross-build for 64-bit Windows with mingw-w64 (POSIX thread model): the
# win64 TEST tree only (scripts/configure.sh win64). Nothing from it ships; the
# shipped binaries are the i686 tree's (toolchain-mingw-i686.cmake). It exists
# so that the Windows-only code keeps being tested under 64-bit Wine on
# machines whose kernel runs no 32-bit programs. Test programs run through
# scripts/wine64_run.sh (wine64, a 64-bit prefix of its own).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER   x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every binary stands alone, as in the i686 tree: libgcc, libstdc++ and
# winpthread linked in (cmake/q_helpers.cmake moves these flags to each target;
# q_shared_runtime opts a target out).
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

get_filename_component(_q_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_q_root}/scripts/wine64_run.sh")
