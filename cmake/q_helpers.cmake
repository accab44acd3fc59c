# Build conventions shared by every folder.

# Warnings for the compilers only: windres (RC) takes none of these flags.
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-Wall;-Wextra;-Wno-unused-parameter>")
if(Q_FUZZ)
  # The fuzz tree (clang): every library is instrumented for coverage; only
  # the fuzz targets link libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
elseif(WIN32)
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601)
  # Every binary links the C++ runtime statically (it stands alone), except
  # those with the target property Q_SHARED_RUNTIME (see q_shared_runtime):
  # the toolchain's flags move from the global link flags to a per-target
  # generator expression.
  foreach(kind EXE SHARED MODULE)
    foreach(flag -static-libstdc++ -static-libgcc -static)
      string(REPLACE " ${flag}" "" CMAKE_${kind}_LINKER_FLAGS " ${CMAKE_${kind}_LINKER_FLAGS}")
    endforeach()
    string(STRIP "${CMAKE_${kind}_LINKER_FLAGS}" CMAKE_${kind}_LINKER_FLAGS)
  endforeach()
  add_link_options("$<$<NOT:$<BOOL:$<TARGET_PROPERTY:Q_SHARED_RUNTIME>>>:-static;-static-libgcc;-static-libstdc++>")
elseif(Q_SANITIZE)
  add_compile_options(-fsanitize=${Q_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${Q_SANITIZE})
endif()

# q_folder(<library>
#          [DIRS <subdir>...]      more source folders besides this one
#          [LINK <target>...]      what the library links (public)
#          [TEST_LINK <target>...] what the test program links besides the library
#          [TEST_ENV <k=v>...]     environment of the test run
#          [TIMEOUT <seconds>]
#          [XVFB])                 the test program makes windows: run it under xvfb-run
#
# Sources are the folder's *.cpp files; <name>_test.cpp files form the
# folder's one test program (with the helpers it shares, <name>_test_util.cpp
# and its _posix/_win32 halves), <folder>_test (its path from the root, "/" as
# "_": netcore/net gives netcore_net_test). A <name>_fuzz.cpp file is a
# libFuzzer target (LLVMFuzzerTestOneInput) built only in the fuzz tree
# (Q_FUZZ) as the program <name>_fuzz, linked with the library; its seed
# corpus is the folder fuzz_corpus/<name>_fuzz/ beside the file (also in a
# DIRS subfolder).
# A file named *_win32.cpp (or *_win32_test.cpp) is built only in the Windows tree, *_posix.cpp (or
# *_posix_test.cpp) only in the native tree: that is the platform seam.
function(q_folder lib)
  cmake_parse_arguments(Q "XVFB" "TIMEOUT" "DIRS;LINK;TEST_LINK;TEST_ENV" ${ARGN})
  set(dirs "${CMAKE_CURRENT_SOURCE_DIR}")
  foreach(d IN LISTS Q_DIRS)
    list(APPEND dirs "${CMAKE_CURRENT_SOURCE_DIR}/${d}")
  endforeach()
  set(srcs "")
  set(tests "")
  set(fuzzers "")
  foreach(d IN LISTS dirs)
    file(GLOB found CONFIGURE_DEPENDS "${d}/*.cpp")
    foreach(f IN LISTS found)
      get_filename_component(n "${f}" NAME_WE)
      if(WIN32 AND n MATCHES "_posix(_test)?$")
        continue()
      endif()
      if(NOT WIN32 AND n MATCHES "_win32(_test)?$")
        continue()
      endif()
      if(n MATCHES "_fuzz$")
        list(APPEND fuzzers "${f}")
      elseif(n MATCHES "_test$" OR n MATCHES "_test_util(_posix|_win32)?$")
        list(APPEND tests "${f}")
      else()
        list(APPEND srcs "${f}")
      endif()
    endforeach()
  endforeach()

  # Includes name their path from the repository root, the only include
  # directory besides the generated schema folder (through q_interface).
  if(srcs)
    add_library(${lib} STATIC ${srcs})
    target_include_directories(${lib} PUBLIC "${PROJECT_SOURCE_DIR}")
    target_link_libraries(${lib} PUBLIC ${Q_LINK})
  else()
    add_library(${lib} INTERFACE)
    target_include_directories(${lib} INTERFACE "${PROJECT_SOURCE_DIR}")
    target_link_libraries(${lib} INTERFACE ${Q_LINK})
  endif()

  if(Q_FUZZ)
    foreach(f IN LISTS fuzzers)
      get_filename_component(n "${f}" NAME_WE)
      get_filename_component(fdir "${f}" DIRECTORY)
      add_executable(${n} "${f}")
      target_link_libraries(${n} PRIVATE ${lib})
      target_link_options(${n} PRIVATE -fsanitize=fuzzer)
      set_property(GLOBAL APPEND PROPERTY Q_FUZZ_TARGETS "${n}|${fdir}/fuzz_corpus/${n}")
    endforeach()
    return()  # the fuzz tree builds libraries and fuzz targets only
  endif()

  if(tests)
    # netcore/net -> netcore_net_test
    file(RELATIVE_PATH folder "${PROJECT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}")
    string(REPLACE "/" "_" folder "${folder}")
    set(exe "${folder}_test")
    add_executable(${exe} ${tests})
    target_link_libraries(${exe} PRIVATE ${lib} ${Q_TEST_LINK} q::gmock q::gtest_main)
    set(xvfb "")
    if(Q_XVFB)
      set(xvfb XVFB)
    endif()
    q_add_test(${exe} TIMEOUT ${Q_TIMEOUT} ENV ${Q_TEST_ENV} ${xvfb})
  endif()
endfunction()

# q_add_test(<target> [TIMEOUT s] [ENV k=v...] [XVFB]): registers a test
# program with ctest; in the Windows tree ctest runs it through Wine, with
# XVFB on a virtual display of its own (without a display Wine makes no
# window).
function(q_add_test exe)
  cmake_parse_arguments(Q "XVFB" "TIMEOUT" "ENV" ${ARGN})
  if(NOT Q_TIMEOUT)
    set(Q_TIMEOUT 180)
  endif()
  if(Q_XVFB AND WIN32)
    add_test(NAME ${exe}
             COMMAND xvfb-run -a ${CMAKE_CROSSCOMPILING_EMULATOR} "$<TARGET_FILE:${exe}>"
                     --gtest_color=no
             WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")
  else()
    add_test(NAME ${exe} COMMAND ${exe} --gtest_color=no
             WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")
  endif()
  set_tests_properties(${exe} PROPERTIES TIMEOUT ${Q_TIMEOUT})
  if(Q_ENV)
    set_tests_properties(${exe} PROPERTIES ENVIRONMENT "${Q_ENV}")
  endif()
endfunction()

# q_version_resource(<target> <name> <description>)
#
# Gives a Windows binary (DLL or EXE) a version resource: fixed file and
# product version = the project's version (PROJECT_VERSION, four parts), and
# one string table, language 0x0409 with code page 1200 (block "040904b0",
# translation 0x040904b0), carrying "FileVersion", "ProductVersion",
# "InternalName" = <name>, "OriginalFilename" = the target's file name,
# "ProductName" = "Quorrel client side" and "FileDescription" = <description>.
# The .rc is generated into the build tree and compiled by windres. Only the
# Windows tree has resources; elsewhere this does nothing. Apply it to every
# shipped binary where it is assembled, for example
#   q_version_resource(Halvora "Halvora" "Halvora launcher")
#   q_version_resource(VelmoPlatform "VelmoPlatform" "Velmo platform diagnostics")
function(q_version_resource target name description)
  if(NOT WIN32)
    return()
  endif()
  set(v0 ${PROJECT_VERSION_MAJOR})
  set(v1 ${PROJECT_VERSION_MINOR})
  set(v2 ${PROJECT_VERSION_PATCH})
  set(v3 ${PROJECT_VERSION_TWEAK})
  foreach(part v0 v1 v2 v3)
    if("${${part}}" STREQUAL "")
      set(${part} 0)
    endif()
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(file_type VFT_APP)
  else()
    set(file_type VFT_DLL)
  endif()
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc")
  file(GENERATE OUTPUT "${rc}" CONTENT "// Generated by q_version_resource; do not edit.
#pragma code_page(65001)
#include <winver.h>

1 VERSIONINFO
FILEVERSION ${v0},${v1},${v2},${v3}
PRODUCTVERSION ${v0},${v1},${v2},${v3}
FILEFLAGSMASK VS_FFI_FILEFLAGSMASK
FILEFLAGS 0
FILEOS VOS_NT_WINDOWS32
FILETYPE ${file_type}
FILESUBTYPE VFT2_UNKNOWN
BEGIN
  BLOCK \"StringFileInfo\"
  BEGIN
    BLOCK \"040904b0\"
    BEGIN
      VALUE \"FileDescription\", \"${description}\"
      VALUE \"FileVersion\", \"${v0}.${v1}.${v2}.${v3}\"
      VALUE \"InternalName\", \"${name}\"
      VALUE \"OriginalFilename\", \"$<TARGET_FILE_NAME:${target}>\"
      VALUE \"ProductName\", \"Quorrel client side\"
      VALUE \"ProductVersion\", \"${v0}.${v1}.${v2}.${v3}\"
    END
  END
  BLOCK \"VarFileInfo\"
  BEGIN
    VALUE \"Translation\", 0x0409, 1200
  END
END
")
  target_sources(${target} PRIVATE "${rc}")
endfunction()

# q_shared_runtime(<target>...): the targets link the toolchain's C++ runtime
# DLLs (libgcc_s_dw2-1, libstdc++-6, libwinpthread-1) instead of static copies,
# and the DLLs are copied beside them. Needed where an exception crosses a
# module boundary: with a static libgcc in each module, an exception thrown in
# one and caught in another terminates the process. Windows tree only.
# The x86_64 test tree's libgcc unwinds by SEH and is named libgcc_s_seh-1.
set(Q_RUNTIME_DLLS libgcc_s_dw2-1.dll libstdc++-6.dll libwinpthread-1.dll)
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(Q_RUNTIME_DLLS libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
endif()
function(q_shared_runtime)
  if(NOT WIN32)
    return()
  endif()
  foreach(t IN LISTS ARGN)
    set_target_properties(${t} PROPERTIES Q_SHARED_RUNTIME ON)
    foreach(dll IN LISTS Q_RUNTIME_DLLS)
      execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                      OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
      if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
        message(FATAL_ERROR "the toolchain has no ${dll}")
      endif()
      add_custom_command(TARGET ${t} POST_BUILD
                         COMMAND ${CMAKE_COMMAND} -E copy_if_different "${path}"
                                 "$<TARGET_FILE_DIR:${t}>/${dll}")
    endforeach()
  endforeach()
endfunction()

# Resource scripts (.rc, UTF-8 with #pragma code_page(65001)) are compiled by
# the toolchain's windres in the Windows tree.
if(WIN32 AND NOT Q_FUZZ)
  enable_language(RC)
endif()

# q_attach_rc(<target> <file.rc>...): compiles the resource scripts into the
# DLL or program; they may include headers by their path from the root.
function(q_attach_rc target)
  if(NOT WIN32)
    return()
  endif()
  foreach(rc IN LISTS ARGN)
    if(NOT IS_ABSOLUTE "${rc}")
      set(rc "${PROJECT_SOURCE_DIR}/${rc}")
    endif()
    target_sources(${target} PRIVATE "${rc}")
  endforeach()
  target_include_directories(${target} PRIVATE "${PROJECT_SOURCE_DIR}")
endfunction()
