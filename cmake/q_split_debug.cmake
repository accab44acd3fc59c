# Install step of cmake/q_install.cmake: for each file of q_ship (absolute
# paths in the build tree or the toolchain), writes
#   <prefix>/debug/<name>.debug   symbols and debug sections (--only-keep-debug)
#   <prefix>/bin/<name>           without them (--strip-all: the loader needs
#                                 neither; exports are a section of their own),
#                                 with a .gnu_debuglink to the .debug file
# A file without debug sections (a runtime DLL shipped stripped) is copied
# as it is. Inputs: q_ship, q_objcopy, q_objdump, CMAKE_INSTALL_PREFIX (and DESTDIR).
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
file(MAKE_DIRECTORY "${root}/bin" "${root}/debug")
foreach(src IN LISTS q_ship)
  if(NOT EXISTS "${src}")
    message(FATAL_ERROR "nothing to install at ${src}: build the tree first")
  endif()
  get_filename_component(name "${src}" NAME)
  set(bin "${root}/bin/${name}")
  set(dbg "${root}/debug/${name}.debug")
  execute_process(COMMAND "${q_objdump}" -h "${src}" OUTPUT_VARIABLE heads RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${q_objdump} -h ${src} failed (${rc})")
  endif()
  if(NOT heads MATCHES "[.]debug_info")
    message(STATUS "Installing: ${bin} (no debug information)")
    file(REMOVE "${dbg}")
    file(COPY_FILE "${src}" "${bin}")
    continue()
  endif()
  message(STATUS "Installing: ${bin} (debug information: ${dbg})")
  foreach(step "--only-keep-debug;${src};${dbg}"
               "--strip-all;--add-gnu-debuglink=${dbg};${src};${bin}")
    execute_process(COMMAND "${q_objcopy}" ${step} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "${q_objcopy} ${step} failed (${rc})")
    endif()
  endforeach()
endforeach()
