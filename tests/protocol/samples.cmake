# One sample value per variant of every message type, generated from the modules: each is
# encoded, decoded, compared through the accessors and printed.
set(samples_dir ${CMAKE_BINARY_DIR}/protocol/samples)
set(samples_sources)
foreach(module IN ITEMS LGCP TERM ACP BASE HSP MON LEMZGW CCP MEDIA)
  list(APPEND samples_sources ${samples_dir}/${module}_samples.cpp)
endforeach()
file(GLOB samples_inputs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/protocol/asn/*.asn
     ${CMAKE_SOURCE_DIR}/tools/asn1gen/*.py)
add_custom_command(
  OUTPUT ${samples_sources} ${samples_dir}/samples.h ${samples_dir}/samples_dump.cpp
  COMMAND ${Python3_EXECUTABLE} -B ${CMAKE_SOURCE_DIR}/tools/asn1gen/asn1gen.py samples
          ${CMAKE_SOURCE_DIR}/protocol/asn ${samples_dir}
  DEPENDS ${samples_inputs}
  COMMENT "Generating the message sample tests"
  VERBATIM)
# Compiled once for the test and for the program that writes the samples out.
add_library(protocol_samples_objects OBJECT ${samples_sources} ${samples_dir}/samples.h)
target_link_libraries(protocol_samples_objects PUBLIC tmb_protocol GTest::gtest)
tamboril_test(protocol_samples $<TARGET_OBJECTS:protocol_samples_objects> LIBS tmb_protocol)

# The same samples through Erlang/OTP asn1: its decoding of our octets re-encodes to them.
add_executable(protocol_sample_dump ${samples_dir}/samples_dump.cpp
                                    $<TARGET_OBJECTS:protocol_samples_objects>)
target_link_libraries(protocol_sample_dump PRIVATE tmb_protocol GTest::gtest)
find_program(ERLC_EXECUTABLE erlc)
find_program(ERL_EXECUTABLE erl)
if(ERLC_EXECUTABLE AND ERL_EXECUTABLE)
  add_test(NAME protocol_erlang_samples
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/erlang_samples.py
            ${ERLC_EXECUTABLE} ${ERL_EXECUTABLE} ${TAMBORIL_STRICT_ASN_DIR}
            $<TARGET_FILE:protocol_sample_dump>)
endif()
