/* A diagnostic request of the simulated driver that the library never sends: tests and
 * benchmarks read with it what the driver saw (request arrival times, overlaps, queued
 * reads). Plain C, shared by the kernel-mode driver and the Windows test programs. */
#ifndef SIMULATOR_DRIVER_SARNO_DIAGNOSTICS_H
#define SIMULATOR_DRIVER_SARNO_DIAGNOSTICS_H

#include <stdint.h>

#include "protocol/driver_protocol.h"

/* Out: struct sarno_diagnostics. In: nothing. Any control device answers for the driver. */
#define IOCTL_SARNO_DIAGNOSTICS SARNO_CTL_CODE(0x8F0u)

#define SARNO_TIMING_SIZE 64

/* One control request as it reached the driver. */
struct sarno_timing {
  uint32_t at_ms;   /* arrival, milliseconds since the driver started */
  uint32_t device;  /* control device number 0..3 */
  uint32_t code;    /* request code */
  uint32_t result;  /* result word written (connect, reset, query), else 0 */
};

struct sarno_diagnostics {
  uint32_t size;            /* sizeof(struct sarno_diagnostics), checks the layout */
  uint32_t now_ms;          /* the driver's clock when it answered */
  uint32_t overlaps;        /* requests that arrived while another was in progress */
  uint32_t requests[6];     /* per kind: connect, reset, query, COM index, stop, monitor */
  uint32_t settings_writes;
  uint32_t settings_failures;
  uint32_t reads_queued;    /* reads waiting now, over all devices */
  uint32_t reads_completed; /* reads completed with data or by a stop */
  uint32_t reads_cancelled; /* reads ended by a cancel, a closed handle or the unload */
  uint32_t timing_count;    /* requests seen so far; the last SARNO_TIMING_SIZE are kept */
  struct sarno_timing timing[SARNO_TIMING_SIZE]; /* oldest first */
};

/* In: the COM index 0..3 as 4 bytes. Out: struct sarno_roll, what the printers at the end
 * of that port's link printed (scripts/simulator roll shows it). */
#define IOCTL_SARNO_ROLL SARNO_CTL_CODE(0x8F1u)
#define SARNO_ROLL_SIZE 4096

struct sarno_roll {
  uint32_t size;       /* sizeof(struct sarno_roll) */
  uint32_t com_index;
  uint32_t total;      /* bytes ever printed */
  uint32_t dropped;    /* bytes a stopped printer threw away */
  uint32_t len;        /* the last len of them are in bytes */
  unsigned char bytes[SARNO_ROLL_SIZE];
};

/* The simulator's own device, which no scenario has and no unplug removes: the requests
 * above reach the driver through it too, and so does the next one. */
#define SARNO_SIM_DEVICE "\\\\.\\SarnoSim"

/* Out: struct sarno_next_event. In: nothing. The scenario's next timed event fires now, with
 * any due at the same time, and from then on only this request fires them (time alone no
 * longer does). A test fires what it would otherwise sit and wait for. */
#define IOCTL_SARNO_NEXT_EVENT SARNO_CTL_CODE(0x8F2u)

struct sarno_next_event {
  uint32_t size;   /* sizeof(struct sarno_next_event) */
  uint32_t fired;  /* events fired now: 0 when none was left */
  uint32_t left;   /* timed events still to come */
};

#endif
