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
        # plain link below then only carries the usage requirements. One
        # SHELL: group a library: CMake drops repeated options, so separate
        # --whole-archive options would wrap only the first library.
        target_link_options(${bin} PRIVATE
          "SHELL:-Wl,--whole-archive $<TARGET_FILE:${t}> -Wl,--no-whole-archive")
      endif()
      target_link_libraries(${bin} PRIVATE ${t})
    endif()
  endforeach()
endfunction()

if(WIN32 AND EXISTS "${PROJECT_SOURCE_DIR}/gateclient/quorrel.def")
  add_library(Quorrel SHARED "${PROJECT_SOURCE_DIR}/gateclient/quorrel.def")
  set_target_properties(Quorrel PROPERTIES PREFIX "" OUTPUT_NAME Quorrel LINKER_LANGUAGE CXX
                        RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/bin")
  q_link_whole(Quorrel q_interface ${Q_NETCORE_LAYERS} q_gateclient_settings q_gateclient
               q_hall q_nfhall)
  q_version_resource(Quorrel "Quorrel" "Quorrel gate client")
  # The debug dialog (resource 1000) and the application object's string.
  q_attach_rc(Quorrel gateclient/quorrel.rc)
endif()

if(TARGET Quorrel)
  # The exports carry their plain names, and the DLL works through them when
  # loaded the way its users load it (LoadLibraryA + GetProcAddress, Wine).
  add_test(NAME quorrel_exports
           COMMAND "${PROJECT_SOURCE_DIR}/scripts/check_exports.sh" "$<TARGET_FILE:Quorrel>"
                   CreateJobAgent chCreateConnManager GetHallSink)
  set_tests_properties(quorrel_exports PROPERTIES LABELS host)
  # The version reader's tests read the DLL's own version resource.
  if(TARGET common_services_test)
    add_dependencies(common_services_test Quorrel)
    target_compile_definitions(common_services_test PRIVATE Q_QUORREL_DLL="$<TARGET_FILE:Quorrel>")
  endif()

endif()

# Korvel.dll, our stand-in of the lobby frame library, and the launcher
# Halvora.exe that imports the frame from it (Windows tree only).
if(WIN32 AND TARGET q_korvel)
  enable_language(RC)
  add_library(Korvel SHARED "${PROJECT_SOURCE_DIR}/platform/korvel/korvel.def"
                            "${PROJECT_SOURCE_DIR}/platform/korvel/korvel.rc")
  set_target_properties(Korvel PROPERTIES PREFIX "" OUTPUT_NAME Korvel LINKER_LANGUAGE CXX
                        RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/bin")
  target_include_directories(Korvel PRIVATE "${PROJECT_SOURCE_DIR}")
  q_link_whole(Korvel q_korvel)
  # Every name of korvel.def is exported as written.
  file(STRINGS "${PROJECT_SOURCE_DIR}/platform/korvel/korvel.def" korvel_def REGEX "^  [_A-Za-z]")
  list(TRANSFORM korvel_def STRIP OUTPUT_VARIABLE korvel_names)
  add_test(NAME korvel_exports
           COMMAND "${PROJECT_SOURCE_DIR}/scripts/check_exports.sh" "$<TARGET_FILE:Korvel>"
                   ${korvel_names})
  set_tests_properties(korvel_exports PROPERTIES LABELS host)
endif()

if(WIN32 AND TARGET Korvel AND TARGET q_launcher)
  add_executable(Halvora WIN32
                 "${PROJECT_SOURCE_DIR}/launcher/program/halvora_main_win32.cpp"
                 "${PROJECT_SOURCE_DIR}/platform/korvel/exe_entry/korvel_exe_entry_win32.cpp")
  # The frame's classes come from Korvel.dll's import library, never from
  # the static q_korvel.
  target_link_libraries(Halvora PRIVATE q_launcher Korvel q_mfc)
  set_target_properties(Halvora PROPERTIES OUTPUT_NAME Halvora
                        RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/bin")
  if(TARGET Quorrel)
    add_dependencies(Halvora Quorrel)
  endif()
  q_version_resource(Halvora "Halvora" "Halvora launcher")
endif()

# Zintal.dll: the common-services library. Its classes are exported by the
# class-level macro ZINTAL_API (common_services/include/zintal/zintal_api.h),
# so the names are C++ names, not a .def list. It shares the toolchain's C++
# runtime DLLs with the modules that derive from its classes, so that an
# exception thrown in a derived class is caught by its thread classes.
if(WIN32 AND TARGET q_zintal)
  # The library has no source of its own: its objects come whole from q_zintal.
  add_library(Zintal SHARED "${PROJECT_SOURCE_DIR}/common_services/include/zintal/zintal_api.h")
  set_target_properties(Zintal PROPERTIES PREFIX "" IMPORT_PREFIX "" OUTPUT_NAME Zintal
                        LINKER_LANGUAGE CXX
                        RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/bin"
                        ARCHIVE_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/lib")
  q_link_whole(Zintal q_zintal)
  q_shared_runtime(Zintal)
  q_version_resource(Zintal "Zintal" "Zintal common services")
  if(TARGET common_services_test)
    add_dependencies(common_services_test Zintal)
    target_compile_definitions(common_services_test PRIVATE Q_ZINTAL_DLL="$<TARGET_FILE:Zintal>")
  endif()
endif()

if(TARGET Zintal)
  # Every member of every exported class is in the export table.
  set(zintal_exports "${PROJECT_SOURCE_DIR}/common_services/zintal_exports.txt")
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    # The list names the shipped i686 exports: the stdcall thread functions
    # with their i686 decoration (@n) and PostThreadMessageA with the i686
    # WPARAM and LPARAM (unsigned int, long). The x86_64 test tree checks the
    # same members under their x86_64 names: no decoration, 64-bit WPARAM and
    # LPARAM.
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${zintal_exports}")
    file(READ "${zintal_exports}" list)
    string(REGEX REPLACE "\\)@[0-9]+\n" ")\n" list "${list}")
    string(REPLACE "PostThreadMessageA(unsigned int, unsigned int, long)"
                   "PostThreadMessageA(unsigned int, unsigned long long, long long)" list "${list}")
    set(zintal_exports "${PROJECT_BINARY_DIR}/zintal_exports_x86_64.txt")
    file(WRITE "${zintal_exports}" "${list}")
  endif()
  add_test(NAME zintal_exports
           COMMAND "${PROJECT_SOURCE_DIR}/scripts/check_class_exports.sh" "$<TARGET_FILE:Zintal>"
                   "${zintal_exports}")
  set_tests_properties(zintal_exports PROPERTIES LABELS host)
endif()

if(WIN32 AND TARGET q_diagnostics)
  add_library(VelmoPlatform SHARED "${PROJECT_SOURCE_DIR}/diagnostics/velmo_platform.def")
  set_target_properties(VelmoPlatform PROPERTIES PREFIX "" OUTPUT_NAME VelmoPlatform
                        LINKER_LANGUAGE CXX RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/bin")
  q_link_whole(VelmoPlatform q_diagnostics q_diagnostics_probes)
  q_version_resource(VelmoPlatform "VelmoPlatform" "VelmoPlatform diagnostics library")
  # CreateInstance by its plain name: hosts look it up with GetProcAddress.
  add_test(NAME velmo_exports
           COMMAND "${PROJECT_SOURCE_DIR}/scripts/check_exports.sh" "$<TARGET_FILE:VelmoPlatform>"
                   CreateInstance)
  set_tests_properties(velmo_exports PROPERTIES LABELS host)
endif()

if(WIN32 AND TARGET common_services_test AND TARGET Halvora AND TARGET VelmoPlatform)
  # The version reader's tests read every deliverable's version resource.
  add_dependencies(common_services_test Halvora VelmoPlatform)
  target_compile_definitions(common_services_test PRIVATE
    Q_HALVORA_EXE="$<TARGET_FILE:Halvora>" Q_VELMO_DLL="$<TARGET_FILE:VelmoPlatform>")
endif()
