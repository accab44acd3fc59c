# What ships (Windows tree): `cmake --install <tree> [--prefix <dir>]` puts
# the four deliverables and the toolchain's C++ runtime DLLs that Zintal.dll
# shares into <prefix>/bin, stripped of symbols and debug information, which
# go to <prefix>/debug/<binary>.debug; each binary names its file (and the
# file's CRC) in a .gnu_debuglink section, which gdb follows.
# Without --prefix the release is <tree>/release.
if(NOT WIN32)
  return()
endif()
# The x86_64 tree is a test tree: nothing from it ships, so it has no release.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  return()
endif()

# CMake's own default (also in a tree configured before this rule existed)
# is no place for Windows binaries.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT OR CMAKE_INSTALL_PREFIX STREQUAL "/usr/local")
  set(CMAKE_INSTALL_PREFIX "${PROJECT_BINARY_DIR}/release" CACHE PATH "where a release goes" FORCE)
endif()

set(q_ship "")
foreach(t Quorrel Halvora VelmoPlatform Zintal)
  if(TARGET ${t})
    list(APPEND q_ship "$<TARGET_FILE:${t}>")
  endif()
endforeach()
if(TARGET Zintal)
  foreach(dll libgcc_s_dw2-1.dll libstdc++-6.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    list(APPEND q_ship "${path}")
  endforeach()
endif()

find_program(Q_OBJCOPY NAMES i686-w64-mingw32-objcopy REQUIRED)
find_program(Q_OBJDUMP NAMES i686-w64-mingw32-objdump REQUIRED)
# The split runs from the built files every time, so installing twice gives
# the same release (a stripped file is never stripped again).
install(CODE "set(q_ship \"${q_ship}\")
set(q_objcopy \"${Q_OBJCOPY}\")
set(q_objdump \"${Q_OBJDUMP}\")")
install(SCRIPT "${CMAKE_CURRENT_LIST_DIR}/q_split_debug.cmake")
