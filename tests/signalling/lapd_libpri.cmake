# libpri as the independent partner of our LAPD entity (real time: label "slow").
# No libpri exists for the board, so a cross build leaves these out.
if(TAMBORIL_HOST_PEERS)
  find_path(LIBPRI_INCLUDE_DIR libpri.h)
  find_library(LIBPRI_LIBRARY pri)
  if(LIBPRI_INCLUDE_DIR AND LIBPRI_LIBRARY)
    add_executable(libpri_pri_peer ${CMAKE_CURRENT_SOURCE_DIR}/peers/libpri_pri_peer.c
                   ${CMAKE_CURRENT_SOURCE_DIR}/peers/peer_frames.c)
    target_include_directories(libpri_pri_peer PRIVATE ${LIBPRI_INCLUDE_DIR})
    target_link_libraries(libpri_pri_peer PRIVATE ${LIBPRI_LIBRARY})
    target_compile_options(libpri_pri_peer PRIVATE -Wno-unused-parameter)

    add_executable(signalling_lapd_libpri ${CMAKE_CURRENT_SOURCE_DIR}/lapd_libpri.cpp)
    target_link_libraries(signalling_lapd_libpri PRIVATE tmb_signalling signalling_test_support tmb_driver_sim
                          GTest::gtest GTest::gtest_main)
    target_compile_definitions(signalling_lapd_libpri PRIVATE
                               LIBPRI_PEER="$<TARGET_FILE:libpri_pri_peer>")
    add_dependencies(signalling_lapd_libpri libpri_pri_peer)
    gtest_discover_tests(signalling_lapd_libpri DISCOVERY_MODE PRE_TEST TEST_PREFIX signalling_lapd_libpri.
                         PROPERTIES TIMEOUT 120 LABELS slow)
  else()
    message(STATUS "libpri not found: the libpri peer tests are left out")
  endif()
endif()
