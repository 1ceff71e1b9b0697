# The simulation build with its trunk ports, driven by a program outside it.
add_test(NAME hardware_trunk_port_daemon
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/trunk_port_daemon.py $<TARGET_FILE:tamboril-sim>)
set_tests_properties(hardware_trunk_port_daemon PROPERTIES TIMEOUT 90 SKIP_RETURN_CODE 77)
