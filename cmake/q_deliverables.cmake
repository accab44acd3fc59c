# The shipped Windows binaries, assembled from the folders' static libraries
# once every folder is known. Each library exports through its own .def file
# so the names are undecorated.

# q_link_whole(<binary> <target>...): links the targets that exist whole into
# <binary>, so that the exports named in its .def file and the self-registering
# generated code are always present.
function(q_link_whole bin)
  foreach(t IN LISTS ARGN)
    if(TARGET ${t})
      get_target_property(type ${t} TYPE)
      if(type STREQUAL "STATIC_LIBRARY")
        # Link options come before the libraries on the command line; the
        # plain link below then only carries the usage requirements.
        target_link_options(${bin} PRIVATE
          "LINKER:--whole-archive" "$<TARGET_FILE:${t}>" "LINKER:--no-whole-archive")
      endif()
      target_link_libraries(${bin} PRIVATE ${t})
    endif()
  endforeach()
endfunction()

if(WIN32 AND EXISTS "${PROJECT_SOURCE_DIR}/gateclient/quorrel.def")
  add_library(Quorrel SHARED "${PROJECT_SOURCE_DIR}/gateclient/quorrel.def")
  set_target_properties(Quorrel PROPERTIES PREFIX "" OUTPUT_NAME Quorrel LINKER_LANGUAGE CXX
                        RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/bin")
  q_link_whole(Quorrel q_interface ${Q_NETCORE_LAYERS} q_gateclient q_nfhall)
endif()

if(TARGET Quorrel)
  # The exports carry their plain names, and the DLL works through them when
  # loaded the way its users load it (LoadLibraryA + GetProcAddress, Wine).
  add_test(NAME quorrel_exports
           COMMAND "${PROJECT_SOURCE_DIR}/scripts/check_exports.sh" "$<TARGET_FILE:Quorrel>"
                   CreateJobAgent chCreateConnManager GetHallSink)
  add_executable(quorrel_load_check "${PROJECT_SOURCE_DIR}/tools/dll_check/quorrel_load_check.cpp")
  target_include_directories(quorrel_load_check PRIVATE "${PROJECT_SOURCE_DIR}")
  target_link_libraries(quorrel_load_check PRIVATE ws2_32)
  set_target_properties(quorrel_load_check PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/bin")
  add_dependencies(quorrel_load_check Quorrel)
  add_test(NAME quorrel_load COMMAND quorrel_load_check Quorrel.dll
           WORKING_DIRECTORY "${PROJECT_BINARY_DIR}/bin")
  set_tests_properties(quorrel_load PROPERTIES TIMEOUT 60)
endif()

if(WIN32 AND TARGET q_diagnostics)
  enable_language(RC)
  add_library(VelmoPlatform SHARED "${PROJECT_SOURCE_DIR}/diagnostics/velmo_platform.def"
                                   "${PROJECT_SOURCE_DIR}/diagnostics/velmo_platform.rc")
  set_target_properties(VelmoPlatform PROPERTIES PREFIX "" OUTPUT_NAME VelmoPlatform
                        LINKER_LANGUAGE CXX RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/bin")
  q_link_whole(VelmoPlatform q_diagnostics)
  # CreateInstance by its plain name: hosts look it up with GetProcAddress.
  add_test(NAME velmo_exports
           COMMAND "${PROJECT_SOURCE_DIR}/scripts/check_exports.sh" "$<TARGET_FILE:VelmoPlatform>"
                   CreateInstance)
endif()
