# The shipped Windows binaries, assembled from the folders' static libraries
# once every folder is known. Each library exports through its own .def file
# so the names are undecorated.

# q_whole_archive(<out var> <target>...): the targets that exist, linked whole,
# so that the exports named in a .def file are always present.
function(q_whole_archive out)
  set(libs "")
  foreach(t IN LISTS ARGN)
    if(TARGET ${t})
      get_target_property(type ${t} TYPE)
      if(type STREQUAL "STATIC_LIBRARY")
        list(APPEND libs "$<LINK_LIBRARY:WHOLE_ARCHIVE,${t}>")
      else()
        list(APPEND libs ${t})
      endif()
    endif()
  endforeach()
  set(${out} "${libs}" PARENT_SCOPE)
endfunction()

if(WIN32 AND EXISTS "${PROJECT_SOURCE_DIR}/gateclient/quorrel.def")
  q_whole_archive(quorrel_libs q_interface q_netcore q_gateclient q_nfhall)
  add_library(Quorrel SHARED "${PROJECT_SOURCE_DIR}/gateclient/quorrel.def")
  set_target_properties(Quorrel PROPERTIES PREFIX "" OUTPUT_NAME Quorrel LINKER_LANGUAGE CXX
                        RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/bin")
  target_link_libraries(Quorrel PRIVATE ${quorrel_libs})
endif()
