/* The printer-dongle driver simulator's portable model.
 *
 * Plain C99 for both the kernel-mode shell and the host twin: no allocation, no OS calls,
 * nothing of libc but what kernel mode also has. Every input is bounded by its length.
 *
 * A scenario (parsed from a small text file, see simulator/scenarios/README.md) says which
 * control devices exist and which COM port each serves, the terminal dongle of each port,
 * the printers in range with their connect behaviour, and timed events. The model answers
 * the six control requests, keeps each port's link state, queues monitor text for reads and
 * writes the query findings into the settings file.
 *
 * Threading: the model is not thread safe. The shell serialises every call on one model with
 * its own lock (a mutex that allows file I/O inside, since a query writes the settings file
 * from inside sim_request). The environment callbacks run inside the model call that caused
 * them, under that lock: they must not call back into the model.
 *
 * How a shell serves one control request:
 *     lock; sim_enter(m); wait = sim_busy_ms(m, code); unlock;
 *     (wait `wait` ms without the lock: the request is "in progress")
 *     lock; st = sim_request(m, device, code, ...); sim_leave(m); unlock;
 *     complete the request: success when st == SIM_DONE, *returned bytes of output.
 * sim_enter counts a request that arrives while another is in progress on the same model
 * (the library must never let that happen); see sim_stats.overlaps.
 *
 * How a shell serves a read (ReadFile on a control device):
 *     st = sim_read(m, device, buf, len, &got);
 *     SIM_READ_DONE: complete now with got bytes (0 is possible: a stop was waiting).
 *     SIM_READ_PENDING: keep the read queued (block the caller / mark the IRP pending).
 * Later, whenever env.read_ready(ctx, device) was called (or after any model call, when
 * sim_read_ready(m, device) is non-zero), call sim_take_read for the oldest queued read of
 * that device and complete it the same way. A queued read that the shell cancels (IRP
 * cancel, handle closed, time-out) is withdrawn with sim_cancel_read and completed as
 * cancelled by the shell.
 *
 * Time: the shell passes its millisecond clock to sim_init and then calls sim_tick(m, now_ms)
 * regularly (a few times a second); events fire in order once their time has come. */
#ifndef SIMULATOR_MODEL_SIM_MODEL_H
#define SIMULATOR_MODEL_SIM_MODEL_H

#include <stddef.h>
#include <stdint.h>

#include "protocol/driver_protocol.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SIM_PORT_COUNT 4          /* COM1..COM4, index 0..3 */
#define SIM_DEVICE_COUNT 4        /* control devices "\\.\Sarno0".."\\.\Sarno3" */
#define SIM_TEXT_SIZE 40          /* addresses and versions: 39 characters + NUL */
#define SIM_PRINTERS_PER_PORT 12  /* printers a scenario may put in range of one port */
#define SIM_QUERY_MAX 7           /* printers a query reports (the settings file's limit) */
#define SIM_EVENT_MAX 32
#define SIM_COMMAND_SIZE 256      /* command text of a request: 255 characters + NUL */
#define SIM_MONITOR_SIZE 1024     /* queued monitor text per device */
#define SIM_PATH_SIZE 260         /* settings file path */
#define SIM_FILE_SIZE 16384       /* settings file buffer; a larger file is left alone */
#define SIM_LOG_SIZE 64           /* requests remembered for tests */
#define SIM_LOG_TEXT_SIZE 64
#define SIM_LINE_MAX 255          /* longest scenario line */
#define SIM_INFO_SIZE 32          /* a printer's firmware, maker or model: 31 characters + NUL */
#define SIM_ROLL_SIZE 4096        /* what a port's printer keeps of its roll */
#define SIM_ANSWER_SIZE 256       /* printer answers waiting to be read on a serial port */
#define SIM_ESCPOS_PENDING 16     /* bytes of a command that has not been written whole yet */

/* ---- scenario ---------------------------------------------------------------------- */

enum sim_behaviour {
  SIM_ACCEPTS = 0,            /* connects: result 0 */
  SIM_REFUSES = 1,            /* result LINK_PRINTER_CONN_FAILED (0x20) */
  SIM_NO_ANSWER_BACK = 2,     /* result LINK_ANSWER_BACK_FAILED (0x40) */
  SIM_MAINBOARD_UNSUPPORTED = 3, /* result LINK_MAINBOARD_UNSUPPORTED (0x100) */
  SIM_REFUSES_FIRST = 4       /* first attempt 0x20, every later one accepts */
};

enum sim_event_kind {
  SIM_EVENT_LEAVE = 1,   /* the printer leaves range (a link to it drops) */
  SIM_EVENT_RETURN = 2,  /* the printer comes back in range */
  SIM_EVENT_DROP = 3,    /* the port's link drops */
  SIM_EVENT_UNPLUG = 4,  /* the terminal dongle is pulled out: its devices go away */
  SIM_EVENT_PLUG = 5,    /* the dongle is plugged back in: its devices come back */
  /* the printer's paper and cover (the printer keeps its link) */
  SIM_EVENT_PAPER_OUT = 10,
  SIM_EVENT_PAPER_NEAR_END = 11,
  SIM_EVENT_PAPER_LOADED = 12,
  SIM_EVENT_COVER_OPEN = 13,
  SIM_EVENT_COVER_CLOSED = 14
};

enum sim_paper { SIM_PAPER_OK = 0, SIM_PAPER_NEAR_END = 1, SIM_PAPER_OUT = 2 };

/* What a printer tells about itself (GS I): index into sim_printer.info. */
enum sim_info_kind { SIM_INFO_FIRMWARE = 0, SIM_INFO_MAKER = 1, SIM_INFO_MODEL = 2, SIM_INFO_KINDS };

struct sim_printer {
  char address[SIM_TEXT_SIZE];
  int behaviour;  /* enum sim_behaviour */
  int paper;      /* enum sim_paper at the start */
  int cover_open; /* at the start */
  char info[SIM_INFO_KINDS][SIM_INFO_SIZE]; /* "" when the printer does not tell */
};

struct sim_port_scenario {
  int has_dongle;                  /* a terminal dongle is plugged in: the serial port exists */
  int dongle_fails;                /* every request on the port fails with 0x10 */
  char dongle_address[SIM_TEXT_SIZE]; /* begins with '0'; "NONE" for a failing dongle without one */
  char dongle_version[SIM_TEXT_SIZE]; /* holds "_v"; "NONE" when not given */
  int printer_count;
  struct sim_printer printers[SIM_PRINTERS_PER_PORT];
};

struct sim_event {
  uint32_t at_ms;   /* after the model's start */
  int kind;         /* enum sim_event_kind */
  int com_index;    /* 0..3 */
  char address[SIM_TEXT_SIZE]; /* LEAVE / RETURN / paper and cover: the printer */
};

struct sim_scenario {
  int device_present[SIM_DEVICE_COUNT];
  uint32_t device_index[SIM_DEVICE_COUNT];  /* what 0x856 reports; 0..3 = COM1..COM4 */
  struct sim_port_scenario port[SIM_PORT_COUNT];
  int event_count;
  struct sim_event events[SIM_EVENT_MAX];   /* kept in time order (stable) */
  uint32_t busy_ms[3];   /* how long connect, reset and query are in progress (default 0) */
};

struct sim_parse_error {
  int line;            /* 1-based line of the first fault, 0 when none */
  char message[96];
};

/* Parses len bytes of scenario text into *out (which it clears first). Returns 0 on success,
 * otherwise the 1-based number of the first bad line, with err (may be NULL) telling why. */
int sim_parse_scenario(struct sim_scenario* out, const char* text, size_t len,
                       struct sim_parse_error* err);

/* ---- environment ------------------------------------------------------------------- */

enum sim_file_result {
  SIM_FILE_OK = 0,
  SIM_FILE_MISSING = 1,   /* no such file: the model creates it from defaults */
  SIM_FILE_TOO_BIG = 2,   /* larger than the buffer: the model leaves it alone */
  SIM_FILE_ERROR = 3      /* cannot be read or written */
};

struct sim_env {
  void* context;
  /* A port's link state changed (or sim_publish_states asks): publish it as
   * "COM<com_index+1>ConnectState", REG_DWORD. May be NULL. */
  void (*state_changed)(void* context, int com_index, uint32_t state);
  /* A queued read on device can now be completed with sim_take_read. May be NULL (then the
   * shell polls sim_read_ready after each model call). */
  void (*read_ready)(void* context, int device);
  /* The settings file path as the shell resolved it (from "BTiniPath", "\??\" stripped or
   * kept as the platform needs), into out (size bytes, terminated). Returns non-zero when a
   * path is known. Asked at every query. May be NULL (then no findings are written). */
  int (*settings_path)(void* context, char* out, size_t size);
  /* Reads the whole file into buf (size bytes); *len receives its length. */
  int (*read_file)(void* context, const char* path, char* buf, size_t size, size_t* len);
  /* Replaces the whole file with len bytes of data. */
  int (*write_file)(void* context, const char* path, const char* data, size_t len);
};

/* ---- model ------------------------------------------------------------------------- */

enum sim_status {
  SIM_DONE = 0,        /* request completed (DeviceIoControl succeeds) */
  SIM_BAD_REQUEST = 1, /* unknown code */
  SIM_BAD_BUFFER = 2,  /* buffers too small for the request */
  SIM_NO_DEVICE = 3    /* device number not in the scenario */
};

enum sim_read_status {
  SIM_READ_DONE = 0,
  SIM_READ_PENDING = 1,
  SIM_READ_NO_DEVICE = 2
};

/* Indexes into sim_stats.requests. */
enum sim_request_kind {
  SIM_REQ_CONNECT = 0, SIM_REQ_RESET, SIM_REQ_QUERY, SIM_REQ_COM_INDEX,
  SIM_REQ_STOP_MONITOR, SIM_REQ_MONITOR, SIM_REQ_KINDS
};

struct sim_stats {
  uint32_t requests[SIM_REQ_KINDS];
  uint32_t overlaps;          /* requests that arrived while another was in progress */
  uint32_t settings_writes;   /* findings written */
  uint32_t settings_failures; /* findings that could not be written (no path, I/O, too big) */
  uint32_t monitor_dropped;   /* monitor lines that did not fit a device's queue */
};

struct sim_log_entry {
  int device;
  uint32_t code;
  uint32_t result;      /* the result word (connect/reset/query), else 0 */
  char text[SIM_LOG_TEXT_SIZE]; /* the command text, cut */
};

struct sim_printer_state {
  int in_range;
  uint32_t attempts;  /* connect attempts so far */
  int paper;          /* enum sim_paper */
  int cover_open;
};

/* The serial side of a port: the paper roll of the printer at the end of its link, the
 * printer's answers waiting to be read, and a command cut between two writes. */
struct sim_serial_state {
  uint32_t roll_len;
  uint32_t roll_total;     /* bytes ever printed; the roll keeps the last roll_len */
  uint32_t dropped;        /* bytes a stopped printer threw away */
  uint32_t answer_len;
  uint32_t pending_len;
  unsigned char pending[SIM_ESCPOS_PENDING];
  unsigned char answer[SIM_ANSWER_SIZE];
  unsigned char roll[SIM_ROLL_SIZE];
};

struct sim_device_state {
  int monitor_on;
  int reads_pending;   /* reads queued by the shell */
  int stops;           /* reads to complete with no bytes (0x870) */
  size_t text_len;
  char text[SIM_MONITOR_SIZE];
};

struct sim_port_state {
  uint32_t link_state;               /* LINK_STATE_NONE, 0 connected, or a flag word */
  int unplugged;                     /* the dongle is out: its control devices and port are gone */
  uint32_t unplugs;                  /* unplugs so far: a handle opened before one is dead */
  char connected_to[SIM_TEXT_SIZE];  /* printer of a live link, "" when none */
  struct sim_printer_state printers[SIM_PRINTERS_PER_PORT];
  struct sim_serial_state serial;
};

struct sim_model {
  struct sim_scenario scenario;
  struct sim_env env;
  uint64_t start_ms;
  uint64_t now_ms;
  int by_hand;          /* a test fires the timed events (sim_fire_next); time fires none */
  int next_event;
  int in_progress;
  struct sim_port_state port[SIM_PORT_COUNT];
  struct sim_device_state device[SIM_DEVICE_COUNT];
  struct sim_stats stats;
  uint32_t log_count;                     /* total logged; entry i at log[i % SIM_LOG_SIZE] */
  struct sim_log_entry log[SIM_LOG_SIZE];
  char file_in[SIM_FILE_SIZE];            /* working buffers of the settings rewrite */
  char file_out[SIM_FILE_SIZE];
};

/* Sets up m from a parsed scenario; every port starts with state LINK_STATE_NONE, every
 * printer in range, monitoring off. env may be NULL (no callbacks). */
void sim_init(struct sim_model* m, const struct sim_scenario* s, const struct sim_env* env,
              uint64_t now_ms);

/* Calls env.state_changed for every port with its current state (at shell start, so that
 * stale values of an earlier run are replaced). */
void sim_publish_states(struct sim_model* m);

/* Fires the events whose time has come. */
void sim_tick(struct sim_model* m, uint64_t now_ms);

/* Fires the scenario's next timed event now, with any others due at the same time, so that
 * a test need not sit out the wait. From then on the test fires them all: time alone fires
 * none, so that a slow machine cannot fire one before the test is ready for it. Returns
 * how many fired (0 when none was left). */
int sim_fire_next(struct sim_model* m, uint64_t now_ms);

/* Scenario queries for the shells. */
int sim_device_exists(const struct sim_model* m, int device);
/* The COM index a device serves (0..3), or -1 when it serves none. */
int sim_device_com_index(const struct sim_model* m, int device);
/* A serial port exists when its terminal dongle is plugged in. */
int sim_port_exists(const struct sim_model* m, int com_index);
/* The dongle unplugs of the port a device serves (of the COM index of a serial port): a
 * shell notes it when a handle is opened, and a handle whose number is no longer current
 * belongs to a device that was removed, so it fails whatever comes after (as a removed USB
 * device's handle does, even once the dongle is back). 0 for a device that serves no port. */
uint32_t sim_device_unplugs(const struct sim_model* m, int device);
uint32_t sim_port_unplugs(const struct sim_model* m, int com_index);
uint32_t sim_link_state(const struct sim_model* m, int com_index);

/* The request bracket (see the top of this file). */
void sim_enter(struct sim_model* m);
void sim_leave(struct sim_model* m);
/* How long the request is in progress, per the scenario's "busy" statements. */
uint32_t sim_busy_ms(const struct sim_model* m, uint32_t code);

/* One control request. in/out as DeviceIoControl gives them (METHOD_BUFFERED: they may be
 * the same buffer). *returned receives the output byte count (may be NULL). */
int sim_request(struct sim_model* m, int device, uint32_t code, const void* in,
                uint32_t in_len, void* out, uint32_t out_len, uint32_t* returned);

/* Reads (see the top of this file). */
int sim_read(struct sim_model* m, int device, void* buf, uint32_t len, uint32_t* got);
int sim_read_ready(const struct sim_model* m, int device);
int sim_take_read(struct sim_model* m, int device, void* buf, uint32_t len, uint32_t* got);
void sim_cancel_read(struct sim_model* m, int device);

/* ---- the serial ports and the printers at the end of their links -------------------- */

/* Bytes written to a port's serial port. While the link is up they reach the linked
 * printer, which answers the real-time status, information and print confirmation requests
 * (sim_serial_read gives the answers) and prints everything else on its roll; out of paper
 * or with its cover open it answers only the status and drops the rest. Returns how many
 * bytes the port took: len while the link is up, 0 while it is down (the shell then lets
 * the write run into its time-out). */
uint32_t sim_serial_write(struct sim_model* m, int com_index, const void* data, uint32_t len);
/* Takes up to len answer bytes; returns how many. */
uint32_t sim_serial_read(struct sim_model* m, int com_index, void* buf, uint32_t len);
uint32_t sim_serial_waiting(const struct sim_model* m, int com_index);
/* Throws away the answers waiting and any command cut half-way (PurgeComm). */
void sim_serial_purge(struct sim_model* m, int com_index);
/* The port's link is up: connected to a printer. */
int sim_link_up(const struct sim_model* m, int com_index);
/* The roll of the port's printers: *len bytes from the returned pointer (the last of
 * *total ever printed). NULL for a port out of range. */
const unsigned char* sim_roll(const struct sim_model* m, int com_index, uint32_t* len,
                              uint32_t* total);
/* The roll as a person reads it: text as printed, the ESC/POS commands as tags ("[init]",
 * "[feed 3]", "[cut]"), any other byte that is no printable text as "[0x1b]". Writes at
 * most size - 1 characters and the terminating NUL into out; returns the length written. */
size_t sim_render_roll(const unsigned char* bytes, size_t len, char* out, size_t size);
/* A serial port's time-outs (COMMTIMEOUTS, SERIAL_TIMEOUTS: field for field, in ms), and
 * how long a read or write that the port cannot finish at once may wait for the printer. */
struct sim_timeouts {
  uint32_t read_interval, read_multiplier, read_constant;
  uint32_t write_multiplier, write_constant;
};
#define SIM_WAIT_FOREVER 0xFFFFFFFFu
/* How long a read of len bytes waits for them: 0 returns at once with what is there. */
uint32_t sim_read_wait_ms(const struct sim_timeouts* t, uint32_t len);
/* A read that holds got of len bytes ends now rather than waiting on. The printer's answers
 * arrive whole, so with an interval time-out the gap after them has already begun. */
int sim_read_ends(const struct sim_timeouts* t, uint32_t got, uint32_t len);
/* How long a write of len bytes waits for a link that is down. */
uint32_t sim_write_wait_ms(const struct sim_timeouts* t, uint32_t len);

/* Applies a paper or cover event to the printer it names; 0 for any other kind. */
int sim_printer_event(struct sim_model* m, const struct sim_event* e);

/* The request log, oldest first: entry i of the last min(log_count, SIM_LOG_SIZE). Returns
 * NULL past the end. */
const struct sim_log_entry* sim_log_at(const struct sim_model* m, uint32_t i);
uint32_t sim_log_length(const struct sim_model* m);

/* Small bounded text helpers the shells may use too. */
size_t sim_strlen(const char* s, size_t max);
/* Copies src (at most src_len bytes, stopping at NUL) into dst of size bytes; always
 * terminates; returns the length copied. */
size_t sim_copy(char* dst, size_t size, const char* src, size_t src_len);
/* Appends to dst (size bytes, terminated) the text of an unsigned decimal number. */
size_t sim_append_uint(char* dst, size_t size, uint32_t value);

#ifdef __cplusplus
}
#endif

#endif
