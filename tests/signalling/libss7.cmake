# Our MTP level 2 link against libss7 (test only, never linked into the
# daemon): a helper program that runs libss7 on one end of a frame socket, and
# the real-time tests that start it.
if(TAMBORIL_HOST_PEERS)
  find_path(LIBSS7_INCLUDE libss7.h)
  find_library(LIBSS7_LIBRARY ss7)
  if(LIBSS7_INCLUDE AND LIBSS7_LIBRARY)
    add_executable(libss7_peer ${CMAKE_CURRENT_SOURCE_DIR}/peers/libss7_peer.c
                   ${CMAKE_CURRENT_SOURCE_DIR}/peers/peer_frames.c)
    target_include_directories(libss7_peer PRIVATE ${LIBSS7_INCLUDE})
    target_link_libraries(libss7_peer PRIVATE ${LIBSS7_LIBRARY})

    add_executable(signalling_libss7_mtp2 ${CMAKE_CURRENT_SOURCE_DIR}/ss7_slc_libss7.cpp)
    target_link_libraries(signalling_libss7_mtp2 PRIVATE tmb_signalling signalling_test_support tmb_driver_sim
                          GTest::gtest GTest::gmock GTest::gtest_main)
    target_compile_definitions(signalling_libss7_mtp2 PRIVATE LIBSS7_PEER="$<TARGET_FILE:libss7_peer>")
    add_dependencies(signalling_libss7_mtp2 libss7_peer)
    gtest_discover_tests(signalling_libss7_mtp2 DISCOVERY_MODE PRE_TEST TEST_PREFIX signalling_libss7_mtp2.
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} PROPERTIES TIMEOUT 90 LABELS slow)
  else()
    message(STATUS "libss7 not found: the MTP level 2 tests against it are not built")
  endif()
endif()
