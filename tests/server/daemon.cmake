# The built daemon as a process: black-box checks, and a valgrind session.
add_test(NAME server_daemon_blackbox
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/daemon_blackbox.py $<TARGET_FILE:tamboril-sim>)
set_tests_properties(server_daemon_blackbox PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
# Valgrind cannot run a sanitizer build, which checks memory itself, nor another architecture's.
if(NOT TAMBORIL_SANITIZE AND NOT CMAKE_CROSSCOMPILING)
  add_test(NAME server_daemon_valgrind
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/daemon_valgrind.py $<TARGET_FILE:tamboril-sim>)
  set_tests_properties(server_daemon_valgrind PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)
endif()
# A daemon left waiting for a minute (real time: labelled slow).
add_test(NAME server_daemon_waiting
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/daemon_waiting.py $<TARGET_FILE:tamboril-sim>)
set_tests_properties(server_daemon_waiting PROPERTIES TIMEOUT 240 SKIP_RETURN_CODE 77 LABELS slow)
