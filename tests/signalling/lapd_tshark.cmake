# The trace decoder and our frames against tshark's dissectors (label "slow": it runs tshark).
add_executable(signalling_lapd_tshark ${CMAKE_CURRENT_SOURCE_DIR}/lapd_tshark.cpp)
target_link_libraries(signalling_lapd_tshark PRIVATE tmb_signalling signalling_test_support tmb_driver_sim GTest::gtest GTest::gtest_main)
gtest_discover_tests(signalling_lapd_tshark DISCOVERY_MODE PRE_TEST TEST_PREFIX signalling_lapd_tshark.
                     PROPERTIES TIMEOUT 120 LABELS slow)
