# The basic-rate network side against libpri terminals (a test-only peer program),
# with tshark dissecting the frames. Real time: labelled slow.
if(TAMBORIL_HOST_PEERS)
  find_library(LIBPRI_LIBRARY pri)
  find_path(LIBPRI_INCLUDE libpri.h)
  if(LIBPRI_LIBRARY AND LIBPRI_INCLUDE)
    add_executable(libpri_bri_peer ${CMAKE_CURRENT_SOURCE_DIR}/peers/libpri_bri_peer.c
                   ${CMAKE_CURRENT_SOURCE_DIR}/peers/peer_frames.c)
    target_include_directories(libpri_bri_peer PRIVATE ${LIBPRI_INCLUDE})
    target_link_libraries(libpri_bri_peer PRIVATE ${LIBPRI_LIBRARY})

    add_executable(signalling_lapd_nt_libpri_bri ${CMAKE_CURRENT_SOURCE_DIR}/lapd_nt_libpri_bri.cpp)
    target_link_libraries(signalling_lapd_nt_libpri_bri PRIVATE tmb_signalling signalling_test_support
                          GTest::gtest GTest::gtest_main)
    target_compile_definitions(signalling_lapd_nt_libpri_bri PRIVATE
                               LIBPRI_BRI_PEER="$<TARGET_FILE:libpri_bri_peer>")
    add_dependencies(signalling_lapd_nt_libpri_bri libpri_bri_peer)
    gtest_discover_tests(signalling_lapd_nt_libpri_bri DISCOVERY_MODE PRE_TEST
                         TEST_PREFIX signalling_lapd_nt_libpri_bri.
                         PROPERTIES LABELS slow TIMEOUT 120)
  else()
    message(STATUS "libpri not found: the basic-rate libpri peer tests are not built")
  endif()
endif()
