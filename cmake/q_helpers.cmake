# Build conventions shared by every folder.

add_compile_options(-Wall -Wextra -Wno-unused-parameter)
if(Q_FUZZ)
  # The fuzz tree (clang): every library is instrumented for coverage; only
  # the fuzz targets link libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
elseif(WIN32)
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601)
elseif(Q_SANITIZE)
  add_compile_options(-fsanitize=${Q_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${Q_SANITIZE})
endif()

# q_folder(<library>
#          [DIRS <subdir>...]      more source folders besides this one
#          [LINK <target>...]      what the library links (public)
#          [TEST_LINK <target>...] what the test program links besides the library
#          [TEST_ENV <k=v>...]     environment of the test run
#          [TIMEOUT <seconds>])
#
# Sources are the folder's *.cpp files; <name>_test.cpp files form the
# folder's one test program, <folder>_test (its path from the root, "/" as
# "_": netcore/net gives netcore_net_test). A <name>_fuzz.cpp file is a
# libFuzzer target (LLVMFuzzerTestOneInput) built only in the fuzz tree
# (Q_FUZZ) as the program <name>_fuzz, linked with the library; its seed
# corpus is the folder fuzz_corpus/<name>_fuzz/ beside it.
# A file named *_win32.cpp (or *_win32_test.cpp) is built only in the Windows tree, *_posix.cpp (or
# *_posix_test.cpp) only in the native tree: that is the platform seam.
function(q_folder lib)
  cmake_parse_arguments(Q "" "TIMEOUT" "DIRS;LINK;TEST_LINK;TEST_ENV" ${ARGN})
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
      elseif(n MATCHES "_test$")
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
      add_executable(${n} "${f}")
      target_link_libraries(${n} PRIVATE ${lib})
      target_link_options(${n} PRIVATE -fsanitize=fuzzer)
      set_property(GLOBAL APPEND PROPERTY Q_FUZZ_TARGETS "${n}|${CMAKE_CURRENT_SOURCE_DIR}/fuzz_corpus/${n}")
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
    q_add_test(${exe} TIMEOUT ${Q_TIMEOUT} ENV ${Q_TEST_ENV})
  endif()
endfunction()

# q_add_test(<target> [TIMEOUT s] [ENV k=v...]): registers a test program with
# ctest; in the Windows tree ctest runs it through Wine.
function(q_add_test exe)
  cmake_parse_arguments(Q "" "TIMEOUT" "ENV" ${ARGN})
  if(NOT Q_TIMEOUT)
    set(Q_TIMEOUT 180)
  endif()
  add_test(NAME ${exe} COMMAND ${exe} --gtest_color=no
           WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")
  set_tests_properties(${exe} PROPERTIES TIMEOUT ${Q_TIMEOUT})
  if(Q_ENV)
    set_tests_properties(${exe} PROPERTIES ENVIRONMENT "${Q_ENV}")
  endif()
endfunction()
