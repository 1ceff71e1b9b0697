# The echo harness and the check of its framing by an independent TPKT dissector.
add_executable(core_tpkt_echo ${CMAKE_CURRENT_SOURCE_DIR}/tpkt_echo.cpp)
target_link_libraries(core_tpkt_echo PRIVATE tmb_core)
add_test(NAME core_tpkt_tshark
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tpkt_tshark.py $<TARGET_FILE:core_tpkt_echo>)
set_tests_properties(core_tpkt_tshark PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
