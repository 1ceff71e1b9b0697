# Trunk slots of the built simulation daemon over TCP. Left out of the emulated
# run, whose TCP_INFO answers make the daemon drop its controller.
if(TARGET tamboril-sim AND NOT CMAKE_CROSSCOMPILING)
  tamboril_daemon_test(slots_trunk_daemon ${CMAKE_CURRENT_SOURCE_DIR}/trunk_daemon.cpp)
endif()
