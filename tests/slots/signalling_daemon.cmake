# The signalling slots of the simulation daemon, over TCP, against the link-layer
# peer programs of tests/signalling on its trunk ports. Real time: labelled slow.
# The peers exist for the build machine only.
if(TAMBORIL_HOST_PEERS AND TARGET tamboril-sim AND TARGET signalling_test_support)
  add_executable(slots_signalling_daemon ${CMAKE_CURRENT_SOURCE_DIR}/signalling_daemon.cpp)
  target_link_libraries(slots_signalling_daemon PRIVATE signalling_test_support tmb_protocol tmb_core GTest::gtest GTest::gtest_main)
  target_compile_definitions(slots_signalling_daemon PRIVATE TAMBORIL_SIM="$<TARGET_FILE:tamboril-sim>")
  add_dependencies(slots_signalling_daemon tamboril-sim)
  foreach(peer libss7_peer libpri_pri_peer libpri_bri_peer)
    if(TARGET ${peer})
      string(TOUPPER ${peer} define)
      string(REPLACE "LIBPRI_PRI_PEER" "LIBPRI_PEER" define ${define})
      target_compile_definitions(slots_signalling_daemon PRIVATE ${define}="$<TARGET_FILE:${peer}>")
      add_dependencies(slots_signalling_daemon ${peer})
    endif()
  endforeach()
  gtest_discover_tests(slots_signalling_daemon DISCOVERY_MODE PRE_TEST TEST_PREFIX slots_signalling_daemon.
                       PROPERTIES TIMEOUT 90 LABELS slow)
endif()
