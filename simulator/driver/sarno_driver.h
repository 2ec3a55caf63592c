/* The kernel-mode shell of the printer-dongle driver simulator: one state object for the
 * whole driver, shared by its entry, dispatch, environment and serial-port files. The
 * behaviour itself lives in the portable model (simulator/model); this shell turns I/O
 * requests into model calls and gives the model the registry, files and a clock. */
#ifndef SIMULATOR_DRIVER_SARNO_DRIVER_H
#define SIMULATOR_DRIVER_SARNO_DRIVER_H

#include <ntddk.h>

#include "simulator/driver/sarno_diagnostics.h"
#include "simulator/model/sim_model.h"

#define SARNO_READ_QUEUE 8     /* reads a control device keeps waiting */
#define SARNO_BUSY_SLOTS 16    /* requests held "in progress" for the scenario's busy time */
#define SARNO_SCENARIO_SIZE 16384
#define SARNO_TICK_MS 10       /* the timer thread's period */

enum sarno_device_kind { SARNO_CONTROL = 1, SARNO_SERIAL = 2, SARNO_SIM = 3 };

/* Device extension of every device the driver creates. */
struct sarno_device {
  int kind;    /* enum sarno_device_kind */
  int number;  /* control device number 0..3, COM index 0..3 of a serial port, -1 (SARNO_SIM) */
};

/* A request held until its busy time has passed. */
struct sarno_busy {
  PIRP irp;     /* NULL: slot free */
  int device;
  ULONGLONG due_ms;
  uint32_t timing;  /* index into the timing log, for its result */
};

/* A read or write of a serial port that could not finish at once: held until the printer's
 * answer is there or the link is up, its time-out has passed, or it is cancelled. The irp
 * field is taken under irp_lock; the rest under the model lock. */
struct sarno_held_io {
  PIRP irp;           /* NULL: none held */
  ULONGLONG due_ms;   /* 0: no time-out */
  ULONG len;          /* the irp's length and file, read without touching an irp that may */
  PFILE_OBJECT file;  /* be going */
};

/* The line settings of one virtual serial port, kept so that reads return what was set. */
struct sarno_serial {
  PFILE_OBJECT owner;  /* the one opener; NULL when closed */
  ULONG baud;
  UCHAR stop_bits, parity, word_length;
  UCHAR chars[6];
  ULONG handflow[4];
  ULONG timeouts[5];   /* SERIAL_TIMEOUTS: read interval, multiplier, constant; write ... */
  ULONG wait_mask;
  struct sarno_held_io read, write;
};

struct sarno_driver {
  PDRIVER_OBJECT driver;
  PDEVICE_OBJECT control[SIM_DEVICE_COUNT];
  PDEVICE_OBJECT serial[SIM_PORT_COUNT];
  int control_linked[SIM_DEVICE_COUNT];
  int serial_linked[SIM_PORT_COUNT];
  PDEVICE_OBJECT sim;          /* \\.\SarnoSim: the simulator's own requests (tests) */
  int sim_linked;
  HANDLE parameters;           /* the service's Parameters key, open for the driver's life */
  ULONGLONG start_ms;

  /* The model and everything it owns: taken around every model call. A waiting lock, not a
   * spin lock, because a query writes the settings file from inside the model call. */
  KEVENT model_lock;
  struct sim_model model;
  struct sim_scenario scenario;
  char scenario_text[SARNO_SCENARIO_SIZE];

  /* Waiting requests; cancel routines take this lock, so it is a spin lock. */
  KSPIN_LOCK irp_lock;
  PIRP reads[SIM_DEVICE_COUNT][SARNO_READ_QUEUE];
  int read_count[SIM_DEVICE_COUNT];
  LONG reads_withdrawn[SIM_DEVICE_COUNT]; /* cancelled, not yet told to the model */
  struct sarno_busy busy[SARNO_BUSY_SLOTS];
  LONG busy_withdrawn;                    /* cancelled busy requests, not yet left */

  /* Timer thread: ticks the model and finishes busy requests. */
  HANDLE timer_thread;
  volatile LONG stopping;
  volatile LONG inside;        /* threads in the driver's code: see sarno_rundown.c */

  struct sarno_serial port[SIM_PORT_COUNT];

  /* Dongle unplugs the shell has followed, per port, and whether the port's names are gone
   * now (sarno_plug.c). A handle's file object keeps the port's count from its open. */
  uint32_t unplugs_seen[SIM_PORT_COUNT];
  volatile LONG unplugged[SIM_PORT_COUNT];

  /* What the diagnostic request reports. */
  uint32_t timing_count;
  struct sarno_timing timing[SARNO_TIMING_SIZE];
  uint32_t reads_completed;
  uint32_t reads_cancelled;
};

extern struct sarno_driver g_sarno;

/* sarno_clock.c */
ULONGLONG sarno_now_ms(void);
NTSTATUS sarno_start_timer(struct sarno_driver* d);
void sarno_stop_timer(struct sarno_driver* d);
void sarno_lock_init(struct sarno_driver* d);
void sarno_lock(struct sarno_driver* d);
void sarno_unlock(struct sarno_driver* d);

/* sarno_rundown.c: every dispatch, cancel routine and the timer thread run between enter
 * and leave; enter answers 0 once the driver is stopping (a dispatch then refuses). */
int sarno_enter(struct sarno_driver* d);
void sarno_leave(struct sarno_driver* d);
/* Waits (bounded) until no thread is inside; the unload's last step before it returns. */
void sarno_wait_until_outside(struct sarno_driver* d);

/* sarno_env.c: the model's environment, and the registry and file helpers behind it. */
void sarno_env_setup(struct sim_env* env, struct sarno_driver* d);
NTSTATUS sarno_open_parameters(struct sarno_driver* d, PUNICODE_STRING service_key);
/* Reads the scenario named by the "ScenarioFile" value; on failure writes the reason into
 * the "LoadError" value and returns an error. */
NTSTATUS sarno_load_scenario(struct sarno_driver* d);
void sarno_set_load_error(struct sarno_driver* d, const char* text);
/* A driver that goes leaves no port looking connected: every state becomes 255. */
void sarno_publish_no_state(struct sarno_driver* d);

/* sarno_requests.c: control-device requests, reads and the queues behind them. */
NTSTATUS sarno_control_request(struct sarno_driver* d, int device, PIRP irp);
/* A request on the simulator's own device: diagnostics, roll, next event. */
NTSTATUS sarno_sim_request(struct sarno_driver* d, PIRP irp);
NTSTATUS sarno_control_read(struct sarno_driver* d, int device, PIRP irp);
void sarno_control_cleanup(struct sarno_driver* d, int device, PFILE_OBJECT file);
/* Under the model lock: completes what became ready, busy requests that are due, and tells
 * the model of cancelled ones. Called after every model call and by the timer. */
void sarno_serve(struct sarno_driver* d, ULONGLONG now);
/* Completes every waiting request as cancelled (unload). */
void sarno_drain(struct sarno_driver* d);

/* sarno_plug.c: a terminal dongle pulled out and plugged back. Every request on a handle
 * of a removed device fails with SARNO_STATUS_REMOVED (Win32 ERROR_BAD_COMMAND, as a
 * pulled-out USB serial device's requests fail); what waited on it ends as cancelled. */
#define SARNO_STATUS_REMOVED STATUS_INVALID_DEVICE_STATE
/* The COM index a control device serves, or -1. */
int sarno_control_port(const struct sarno_driver* d, int device);
/* Before a dispatch: a create of an unplugged port's device fails, any other request on a
 * handle opened before an unplug fails; STATUS_SUCCESS lets the request through. */
NTSTATUS sarno_check_handle(struct sarno_driver* d, int kind, int number, PIO_STACK_LOCATION s);
int sarno_handle_removed(const struct sarno_driver* d, int com_index, PFILE_OBJECT file);
/* Under the model lock, before a request is left waiting: once the unload has begun nothing
 * may wait (the drain has run, or runs after us and would miss it), nor on a handle whose
 * device was unplugged meanwhile (what waited on it was ended already). STATUS_SUCCESS lets
 * it wait; else the status to complete it with. */
NTSTATUS sarno_wait_refusal(const struct sarno_driver* d, int com_index, PFILE_OBJECT file);
/* Under the model lock, after the model's events fired: removes or brings back the names of
 * the ports whose dongle went or came, and ends what waited on a removed device. */
void sarno_follow_plugs(struct sarno_driver* d);
/* sarno_entry.c: a port's DOS names (its serial port's and its control devices'). */
void sarno_set_port_names(struct sarno_driver* d, int com_index, int present);
/* sarno_requests.c: ends the waiting reads and held requests of a device that was removed. */
void sarno_end_removed(struct sarno_driver* d, int device);

/* sarno_serial.c: the virtual COM ports of the ports that have a terminal dongle. */
NTSTATUS sarno_serial_dispatch(struct sarno_driver* d, int com_index, PIRP irp);
void sarno_serial_init(struct sarno_serial* port);
/* Under the model lock: finishes held reads and writes whose answer, link or time has come
 * (from sarno_serve). */
void sarno_serial_serve(struct sarno_driver* d, ULONGLONG now);
/* Ends the held reads and writes of file (every one when NULL) as cancelled. */
void sarno_serial_cleanup(struct sarno_driver* d, int com_index, PFILE_OBJECT file);
/* Under the model lock: the port's dongle was pulled out; what it held fails. */
void sarno_serial_removed(struct sarno_driver* d, int com_index);

/* Completes irp with status and byte count; returns status. */
NTSTATUS sarno_complete(PIRP irp, NTSTATUS status, ULONG_PTR bytes);

#endif
