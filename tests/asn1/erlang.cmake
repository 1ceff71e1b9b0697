# Cross-check of the aligned PER coder against Erlang's asn1 application (skipped without erlc).
add_executable(asn1_crosscheck_peer ${CMAKE_CURRENT_SOURCE_DIR}/erlang/crosscheck_peer.cpp)
target_link_libraries(asn1_crosscheck_peer PRIVATE tmb_asn1 asn1_test_module)
add_test(NAME asn1_erlang_crosscheck
         COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/erlang/crosscheck.sh $<TARGET_FILE:asn1_crosscheck_peer>
                 ${CMAKE_CURRENT_SOURCE_DIR}/erlang ${CMAKE_CURRENT_BINARY_DIR}/erlang-crosscheck)
set_tests_properties(asn1_erlang_crosscheck PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
