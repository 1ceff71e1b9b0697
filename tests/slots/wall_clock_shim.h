/* The file that wall_clock_shim.c maps, shared by the shim (C) and the tests (C++). */
#pragma once

#include <stdint.h>

#define WALL_CLOCK_SHIFT_ENV "TAMBORIL_TEST_WALL_OFFSET_FILE"

struct wall_clock_shift {
    int64_t seconds; /* added to every wall clock reading */
    uint32_t reads;  /* clock readings, wall or not, by every process that maps the file */
    uint32_t unused;
};
