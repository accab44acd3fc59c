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
  q_link_whole(Quorrel q_interface ${Q_NETCORE_LAYERS} q_gateclient q_nfhall)
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
  add_executable(quorrel_load_check "${PROJECT_SOURCE_DIR}/tools/dll_check/quorrel_load_check.cpp")
  target_include_directories(quorrel_load_check PRIVATE "${PROJECT_SOURCE_DIR}")
  target_link_libraries(quorrel_load_check PRIVATE ws2_32)
  set_target_properties(quorrel_load_check PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/bin")
  add_dependencies(quorrel_load_check Quorrel)
  add_test(NAME quorrel_load COMMAND quorrel_load_check Quorrel.dll
           WORKING_DIRECTORY "${PROJECT_BINARY_DIR}/bin")
  set_tests_properties(quorrel_load PROPERTIES TIMEOUT 60)
  # The version reader's tests read the DLL's own version resource.
  if(TARGET common_services_test)
    add_dependencies(common_services_test Quorrel)
    target_compile_definitions(common_services_test PRIVATE Q_QUORREL_DLL="$<TARGET_FILE:Quorrel>")
  endif()

  # The crash-dump filter in a real crash: a child that loads Quorrel.dll and
  # faults, run with and without the "Pellory" folder.
  add_executable(quorrel_crash_check "${PROJECT_SOURCE_DIR}/tools/dll_check/quorrel_crash_check.cpp")
  target_link_libraries(quorrel_crash_check PRIVATE GTest::gtest)
  set_target_properties(quorrel_crash_check PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/bin")
  add_dependencies(quorrel_crash_check Quorrel)
  add_test(NAME quorrel_crash COMMAND quorrel_crash_check --gtest_color=no
           WORKING_DIRECTORY "${PROJECT_BINARY_DIR}/bin")
  set_tests_properties(quorrel_crash PROPERTIES TIMEOUT 300)

  # The debug dialog driven against the gate simulator, on a virtual display
  # and a Wine desktop of its own (desktop_run.sh): shown ([ui] show=999,
  # with a screenshot into the build tree) and hidden.
  add_executable(debug_dialog_check "${PROJECT_SOURCE_DIR}/tools/dll_check/debug_dialog_check.cpp")
  target_include_directories(debug_dialog_check PRIVATE "${PROJECT_SOURCE_DIR}")
  target_link_libraries(debug_dialog_check PRIVATE GTest::gtest ws2_32)
  set_target_properties(debug_dialog_check PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/bin")
  add_dependencies(debug_dialog_check Quorrel)
  # Each case is a process of its own: the gate client in a process starts once.
  foreach(case "show_999|999|-*CloseGame*" "show_0|0|*" "close_game|999|*CloseGame*")
    string(REPLACE "|" ";" parts "${case}")
    list(GET parts 0 name)
    list(GET parts 1 show)
    list(GET parts 2 filter)
    set(dir "${PROJECT_BINARY_DIR}/debug_dialog/${name}")
    file(MAKE_DIRECTORY "${dir}")
    add_test(NAME debug_dialog_${name}
             COMMAND xvfb-run -a -s "-screen 0 1024x768x24"
                     /usr/bin/python3 "${PROJECT_SOURCE_DIR}/tools/gate_sim/gate_sim.py"
                     --log sim.jsonl --control-port 0 --
                     "${PROJECT_SOURCE_DIR}/tools/dll_check/desktop_run.sh" exit_code.txt
                     $<TARGET_FILE:debug_dialog_check>
                     --gtest_color=no "--gtest_filter=${filter}" --show ${show}
                     --shot "${PROJECT_BINARY_DIR}/debug_dialog/debug_dialog.png"
             WORKING_DIRECTORY "${dir}")
    # One virtual display at a time: concurrent xvfb-run -a can pick the
    # same display number.
    set_tests_properties(debug_dialog_${name} PROPERTIES TIMEOUT 180 RESOURCE_LOCK xvfb
                         ENVIRONMENT "PYTHONDONTWRITEBYTECODE=1")
  endforeach()
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

if(TARGET Halvora)
  # The program imports the frame from Korvel.dll by name, as it would the
  # real library, and nothing else from it.
  add_test(NAME halvora_korvel_imports
           COMMAND "${PROJECT_SOURCE_DIR}/launcher/e2e/check_korvel_imports.sh"
                   "$<TARGET_FILE:Halvora>")
  # The match round trip through the launcher in Korvel's script mode under
  # Xvfb, against tools/gate_sim and tools/sample_game; leaves a snapshot of
  # the lobby window (halvora_run/lobby.png).
  if(TARGET sample_game)
    add_test(NAME halvora_round_trip_e2e
             COMMAND "${PROJECT_SOURCE_DIR}/launcher/e2e/run_round_trip.sh"
                     "${PROJECT_BINARY_DIR}/bin" "$<TARGET_FILE:sample_game>"
                     "${PROJECT_BINARY_DIR}/launcher/halvora_run")
    # Alone: its link loss and renewal run on the gate simulator's 30 s
    # waits, which the session's busy Wine server (full-memory dumps, other
    # games) can outlast.
    set_tests_properties(halvora_round_trip_e2e PROPERTIES TIMEOUT 180 RUN_SERIAL TRUE
                         FAIL_REGULAR_EXPRESSION "WAIT-TIMEOUT")
  endif()
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
  add_test(NAME zintal_exports
           COMMAND "${PROJECT_SOURCE_DIR}/scripts/check_class_exports.sh" "$<TARGET_FILE:Zintal>"
                   "${PROJECT_SOURCE_DIR}/common_services/zintal_exports.txt")
  # A module of its own, as the platform's modules are: it links the import
  # library, derives from the thread classes and throws from them.
  add_executable(zintal_module_test "${PROJECT_SOURCE_DIR}/tools/dll_check/zintal_module_test.cpp")
  target_include_directories(zintal_module_test PRIVATE "${PROJECT_SOURCE_DIR}")
  target_link_libraries(zintal_module_test PRIVATE Zintal q_mfc q::gtest_main)
  set_target_properties(zintal_module_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/bin")
  q_shared_runtime(zintal_module_test)
  add_test(NAME zintal_module_test COMMAND zintal_module_test --gtest_color=no
           WORKING_DIRECTORY "${PROJECT_BINARY_DIR}/bin")
  set_tests_properties(zintal_module_test PROPERTIES TIMEOUT 120)
  # The version reader and the web views from a module of its own, with a
  # recording stand-in of the WebBrowser control; windows need a display.
  add_executable(zintal_web_views_test "${PROJECT_SOURCE_DIR}/tools/dll_check/zintal_web_views_test.cpp")
  target_include_directories(zintal_web_views_test PRIVATE "${PROJECT_SOURCE_DIR}")
  target_link_libraries(zintal_web_views_test PRIVATE Zintal q_mfc q::gtest_main ole32 oleaut32 uuid)
  set_target_properties(zintal_web_views_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/bin")
  q_shared_runtime(zintal_web_views_test)
  add_test(NAME zintal_web_views_test
           COMMAND xvfb-run -a ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:zintal_web_views_test>
                   --gtest_color=no
           WORKING_DIRECTORY "${PROJECT_BINARY_DIR}/bin")
  set_tests_properties(zintal_web_views_test PROPERTIES TIMEOUT 120)
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
endif()

if(WIN32 AND TARGET common_services_test AND TARGET Halvora AND TARGET VelmoPlatform)
  # The version reader's tests read every deliverable's version resource.
  add_dependencies(common_services_test Halvora VelmoPlatform)
  target_compile_definitions(common_services_test PRIVATE
    Q_HALVORA_EXE="$<TARGET_FILE:Halvora>" Q_VELMO_DLL="$<TARGET_FILE:VelmoPlatform>")
endif()
