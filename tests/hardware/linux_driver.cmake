# HwMux on the real drivers of the machine that builds it.
tamboril_test(hardware_hw_mux_linux ${CMAKE_CURRENT_SOURCE_DIR}/linux/hw_mux_linux_test.cpp
              LIBS tmb_hardware tmb_driver_linux)
