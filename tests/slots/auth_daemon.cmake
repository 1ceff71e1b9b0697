# The PPP authentication socket of the built simulation daemon, black-box.
if(TARGET tamboril-sim)
  tamboril_daemon_test(slots_auth_daemon ${CMAKE_CURRENT_SOURCE_DIR}/auth_daemon.cpp)
endif()
