# The signalling slots of the simulation daemon, over TCP, against the link-layer
# peer programs of tests/signalling on its trunk ports. Real time: labelled slow.
# The peers exist for the build machine only.
if(TAMBORIL_HOST_PEERS AND TARGET tamboril-sim AND TARGET signalling_test_support)
  tamboril_daemon_test(slots_signalling_daemon ${CMAKE_CURRENT_SOURCE_DIR}/signalling_daemon.cpp
                       LIBS signalling_test_support LABELS slow)
  foreach(peer libss7_peer libpri_pri_peer libpri_bri_peer)
    if(TARGET ${peer})
      string(TOUPPER ${peer} define)
      string(REPLACE "LIBPRI_PRI_PEER" "LIBPRI_PEER" define ${define})
      target_compile_definitions(slots_signalling_daemon PRIVATE ${define}="$<TARGET_FILE:${peer}>")
      add_dependencies(slots_signalling_daemon ${peer})
    endif()
  endforeach()
endif()
