# Trunk slots of the built simulation daemon over TCP. Left out of the emulated
# run, whose TCP_INFO answers make the daemon drop its controller.
if(TARGET tamboril-sim AND NOT CMAKE_CROSSCOMPILING)
  add_executable(slots_trunk_daemon ${CMAKE_CURRENT_SOURCE_DIR}/trunk_daemon.cpp)
  target_link_libraries(slots_trunk_daemon PRIVATE tmb_protocol tmb_core GTest::gtest GTest::gtest_main)
  target_compile_definitions(slots_trunk_daemon PRIVATE TAMBORIL_SIM="$<TARGET_FILE:tamboril-sim>")
  add_dependencies(slots_trunk_daemon tamboril-sim)
  gtest_discover_tests(slots_trunk_daemon DISCOVERY_MODE PRE_TEST TEST_PREFIX slots_trunk_daemon.
                       PROPERTIES TIMEOUT 90)
endif()
