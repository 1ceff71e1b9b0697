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
  OUTPUT ${samples_sources} ${samples_dir}/samples.h
  COMMAND ${Python3_EXECUTABLE} -B ${CMAKE_SOURCE_DIR}/tools/asn1gen/asn1gen.py samples
          ${CMAKE_SOURCE_DIR}/protocol/asn ${samples_dir}
  DEPENDS ${samples_inputs}
  COMMENT "Generating the message sample tests"
  VERBATIM)
tamboril_test(protocol_samples ${samples_sources} ${samples_dir}/samples.h LIBS tmb_protocol)
