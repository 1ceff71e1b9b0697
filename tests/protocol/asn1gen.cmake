# The generator's own checks, fed with broken copies of the modules.
add_test(NAME protocol_asn1gen
  COMMAND ${Python3_EXECUTABLE} -B ${CMAKE_CURRENT_SOURCE_DIR}/asn1gen_checks.py
          ${CMAKE_SOURCE_DIR}/tools/asn1gen ${CMAKE_SOURCE_DIR}/protocol/asn)

# The strict modules compiled by Erlang/OTP asn1 must give the envelope's bytes.
find_program(ERLC_EXECUTABLE erlc)
find_program(ERL_EXECUTABLE erl)
if(ERLC_EXECUTABLE AND ERL_EXECUTABLE)
  add_test(NAME protocol_erlang_envelope
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/erlang_envelope.py
            ${ERLC_EXECUTABLE} ${ERL_EXECUTABLE} ${TAMBORIL_STRICT_ASN_DIR})
endif()
