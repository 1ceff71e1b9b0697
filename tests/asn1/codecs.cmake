# Tests of the coders the daemon does not link: they need tmb_asn1_codecs as well.
foreach(stem ber_encoder_test ber_decoder_test value_parser_test checkers_test coder_env_rules_test)
  if(TARGET asn1_${stem})
    target_link_libraries(asn1_${stem} PRIVATE tmb_asn1_codecs)
  endif()
endforeach()

# The Erlang cross-check peer serves both rules; its BER side lives in the codecs library.
cmake_language(DEFER CALL target_link_libraries asn1_crosscheck_peer PRIVATE tmb_asn1_codecs)
add_test(NAME asn1_erlang_ber_crosscheck
         COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/erlang/crosscheck.sh $<TARGET_FILE:asn1_crosscheck_peer>
                 ${CMAKE_CURRENT_SOURCE_DIR}/erlang ${CMAKE_CURRENT_BINARY_DIR}/erlang-ber-crosscheck ber)
set_tests_properties(asn1_erlang_ber_crosscheck PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
