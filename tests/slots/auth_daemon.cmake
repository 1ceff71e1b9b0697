# The PPP authentication socket of the built simulation daemon, black-box.
if(TARGET tamboril-sim)
  add_executable(slots_auth_daemon ${CMAKE_CURRENT_SOURCE_DIR}/auth_daemon.cpp)
  target_link_libraries(slots_auth_daemon PRIVATE tmb_protocol tmb_core GTest::gtest GTest::gtest_main)
  target_compile_definitions(slots_auth_daemon PRIVATE TAMBORIL_SIM="$<TARGET_FILE:tamboril-sim>")
  add_dependencies(slots_auth_daemon tamboril-sim)
  gtest_discover_tests(slots_auth_daemon DISCOVERY_MODE PRE_TEST TEST_PREFIX slots_auth_daemon.
                       PROPERTIES TIMEOUT 90)
endif()
