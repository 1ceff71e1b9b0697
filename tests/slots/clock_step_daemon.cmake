# The simulation daemon with its wall clock stepped by a preloaded shim. Left out
# of the emulated run, whose TCP_INFO answers make the daemon drop its controller.
if(TARGET tamboril-sim AND NOT CMAKE_CROSSCOMPILING)
  add_library(tamboril_wall_clock_shim MODULE ${CMAKE_CURRENT_SOURCE_DIR}/wall_clock_shim.c)
  # The shim is preloaded into the shell and mount tools that start the daemon too, which
  # have no sanitizer runtime: none of the build's sanitizer or fuzzer flags for it.
  set_property(TARGET tamboril_wall_clock_shim PROPERTY COMPILE_OPTIONS -Wall -Wextra)
  set_property(TARGET tamboril_wall_clock_shim PROPERTY LINK_OPTIONS "")
  target_link_libraries(tamboril_wall_clock_shim PRIVATE ${CMAKE_DL_LIBS})
  tamboril_daemon_test(slots_clock_step_daemon ${CMAKE_CURRENT_SOURCE_DIR}/clock_step_daemon.cpp)
  target_compile_definitions(slots_clock_step_daemon PRIVATE
                             TAMBORIL_WALL_CLOCK_SHIM="$<TARGET_FILE:tamboril_wall_clock_shim>")
  add_dependencies(slots_clock_step_daemon tamboril_wall_clock_shim)
endif()
