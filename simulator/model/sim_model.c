/* The simulated driver: requests, link states, timed events, monitor text and reads. */
#include "simulator/model/sim_model.h"

#include "simulator/model/sim_settings_file.h"
#include "simulator/model/sim_text.h"

static int valid_port(int com_index) { return com_index >= 0 && com_index < SIM_PORT_COUNT; }

/* The port a present device serves, or -1 (no port, or not in the scenario). */
static int served_port(const struct sim_model* m, int device) {
  if (device < 0 || device >= SIM_DEVICE_COUNT || !m->scenario.device_present[device]) return -1;
  return m->scenario.device_index[device] < SIM_PORT_COUNT ? (int)m->scenario.device_index[device]
                                                           : -1;
}

/* A device of the scenario whose dongle is plugged in (a device that serves no port has
 * no dongle to lose). */
static int valid_device(const struct sim_model* m, int device) {
  int com;
  if (device < 0 || device >= SIM_DEVICE_COUNT || !m->scenario.device_present[device]) return 0;
  com = served_port(m, device);
  return com < 0 || !m->port[com].unplugged;
}

void sim_init(struct sim_model* m, const struct sim_scenario* s, const struct sim_env* env,
              uint64_t now_ms) {
  int p, i;
  sim_fill(m, 0, sizeof *m);
  m->scenario = *s;
  if (env) m->env = *env;
  m->start_ms = now_ms;
  m->now_ms = now_ms;
  for (p = 0; p < SIM_PORT_COUNT; ++p) {
    m->port[p].link_state = LINK_STATE_NONE;
    for (i = 0; i < SIM_PRINTERS_PER_PORT; ++i) {
      m->port[p].printers[i].in_range = 1;
      m->port[p].printers[i].paper = s->port[p].printers[i].paper;
      m->port[p].printers[i].cover_open = s->port[p].printers[i].cover_open;
    }
  }
}

int sim_device_exists(const struct sim_model* m, int device) { return valid_device(m, device); }

int sim_device_com_index(const struct sim_model* m, int device) {
  if (!valid_device(m, device) || m->scenario.device_index[device] >= SIM_PORT_COUNT) return -1;
  return (int)m->scenario.device_index[device];
}

int sim_port_exists(const struct sim_model* m, int com_index) {
  return valid_port(com_index) && m->scenario.port[com_index].has_dongle &&
         !m->port[com_index].unplugged;
}

uint32_t sim_port_unplugs(const struct sim_model* m, int com_index) {
  return valid_port(com_index) ? m->port[com_index].unplugs : 0;
}

uint32_t sim_device_unplugs(const struct sim_model* m, int device) {
  int com = served_port(m, device);
  return com < 0 ? 0 : m->port[com].unplugs;
}

uint32_t sim_link_state(const struct sim_model* m, int com_index) {
  return valid_port(com_index) ? m->port[com_index].link_state : LINK_STATE_NONE;
}

/* ---- monitor text -------------------------------------------------------------------- */

static void append_hex(char* dst, size_t size, uint32_t v) {
  static const char digits[] = "0123456789abcdef";
  char t[11];
  int n = 0, shift;
  t[n++] = '0';
  t[n++] = 'x';
  for (shift = 28; shift > 0 && ((v >> shift) & 0xFu) == 0; shift -= 4) {
  }
  for (; shift >= 0; shift -= 4) t[n++] = digits[(v >> shift) & 0xFu];
  t[n] = '\0';
  sim_append(dst, size, t);
}

static void port_prefix(char* line, size_t size, int com_index) {
  line[0] = '\0';
  sim_append(line, size, "COM");
  sim_append_uint(line, size, (uint32_t)com_index + 1u);
  sim_append(line, size, ": ");
}

static void notify_readable(struct sim_model* m, int device) {
  if (sim_read_ready(m, device) && m->env.read_ready) m->env.read_ready(m->env.context, device);
}

/* Queues a line (without its end) on every monitoring device that serves the port. */
static void monitor_line(struct sim_model* m, int com_index, const char* text) {
  int d;
  size_t n = sim_strlen(text, 200);
  for (d = 0; d < SIM_DEVICE_COUNT; ++d) {
    struct sim_device_state* dev = &m->device[d];
    if (sim_device_com_index(m, d) != com_index || !dev->monitor_on) continue;
    if (dev->text_len + n + 2 > SIM_MONITOR_SIZE) {
      ++m->stats.monitor_dropped;
      continue;
    }
    sim_move(dev->text + dev->text_len, text, n);
    dev->text[dev->text_len + n] = '\r';
    dev->text[dev->text_len + n + 1] = '\n';
    dev->text_len += n + 2;
    notify_readable(m, d);
  }
}

static void set_state(struct sim_model* m, int com_index, uint32_t state) {
  char line[64];
  if (m->port[com_index].link_state == state) return;
  m->port[com_index].link_state = state;
  if (m->env.state_changed) m->env.state_changed(m->env.context, com_index, state);
  port_prefix(line, sizeof line, com_index);
  sim_append(line, sizeof line, "link state ");
  append_hex(line, sizeof line, state);
  monitor_line(m, com_index, line);
}

static void drop_link(struct sim_model* m, int com_index) {
  m->port[com_index].connected_to[0] = '\0';
  set_state(m, com_index, LINK_DISCONNECTED);
}

void sim_publish_states(struct sim_model* m) {
  int p;
  if (!m->env.state_changed) return;
  for (p = 0; p < SIM_PORT_COUNT; ++p) m->env.state_changed(m->env.context, p, m->port[p].link_state);
}

/* ---- events -------------------------------------------------------------------------- */

static int printer_index(const struct sim_model* m, int com_index, const char* address) {
  const struct sim_port_scenario* p = &m->scenario.port[com_index];
  int i;
  for (i = 0; i < p->printer_count; ++i) {
    if (sim_text_equal(p->printers[i].address, address)) return i;
  }
  return -1;
}

/* The dongle is pulled out: the control devices of the port and its serial port go away
 * with whatever they held (monitor text, waiting reads: the shell fails those), and the
 * link is down. The scenario allows it only on a plugged port. */
static void unplug(struct sim_model* m, int com_index) {
  int d;
  for (d = 0; d < SIM_DEVICE_COUNT; ++d) {
    if (served_port(m, d) == com_index) sim_fill(&m->device[d], 0, sizeof m->device[d]);
  }
  m->port[com_index].unplugged = 1;
  ++m->port[com_index].unplugs;
  drop_link(m, com_index);
}

static void fire(struct sim_model* m, const struct sim_event* e) {
  struct sim_port_state* port = &m->port[e->com_index];
  char line[96];
  int i = printer_index(m, e->com_index, e->address);
  port_prefix(line, sizeof line, e->com_index);
  switch (e->kind) {
    case SIM_EVENT_LEAVE:
      if (i >= 0) port->printers[i].in_range = 0;
      sim_append(line, sizeof line, "printer ");
      sim_append(line, sizeof line, e->address);
      sim_append(line, sizeof line, " out of range");
      monitor_line(m, e->com_index, line);
      if (port->connected_to[0] != '\0' && sim_text_equal(port->connected_to, e->address)) {
        drop_link(m, e->com_index);
      }
      break;
    case SIM_EVENT_RETURN:
      if (i >= 0) port->printers[i].in_range = 1;
      sim_append(line, sizeof line, "printer ");
      sim_append(line, sizeof line, e->address);
      sim_append(line, sizeof line, " in range");
      monitor_line(m, e->com_index, line);
      break;
    case SIM_EVENT_DROP:
      sim_append(line, sizeof line, "link lost");
      monitor_line(m, e->com_index, line);
      if (port->link_state == LINK_OK) drop_link(m, e->com_index);
      break;
    case SIM_EVENT_UNPLUG:
      unplug(m, e->com_index);
      break;
    case SIM_EVENT_PLUG:
      /* back under the same names, with no link until one is made */
      port->unplugged = 0;
      set_state(m, e->com_index, LINK_STATE_NONE);
      break;
    default:
      sim_printer_event(m, e);
      break;
  }
}

void sim_tick(struct sim_model* m, uint64_t now_ms) {
  if (now_ms < m->now_ms) return; /* the clock is monotonic; ignore a step back */
  m->now_ms = now_ms;
  while (m->next_event < m->scenario.event_count && !m->by_hand) {
    const struct sim_event* e = &m->scenario.events[m->next_event];
    if (m->start_ms + e->at_ms > now_ms) break;
    ++m->next_event;
    fire(m, e);
  }
}

int sim_fire_next(struct sim_model* m, uint64_t now_ms) {
  int fired = 0;
  uint32_t at;
  sim_tick(m, now_ms); /* what time made due before the test took over */
  m->by_hand = 1;
  if (m->next_event >= m->scenario.event_count) return 0;
  at = m->scenario.events[m->next_event].at_ms;
  while (m->next_event < m->scenario.event_count && m->scenario.events[m->next_event].at_ms == at) {
    fire(m, &m->scenario.events[m->next_event++]);
    ++fired;
  }
  return fired;
}

/* ---- requests ------------------------------------------------------------------------ */

void sim_enter(struct sim_model* m) {
  if (m->in_progress > 0) ++m->stats.overlaps;
  ++m->in_progress;
}

void sim_leave(struct sim_model* m) {
  if (m->in_progress > 0) --m->in_progress;
}

uint32_t sim_busy_ms(const struct sim_model* m, uint32_t code) {
  switch (code) {
    case IOCTL_SARNO_PCON: return m->scenario.busy_ms[0];
    case IOCTL_SARNO_RESET: return m->scenario.busy_ms[1];
    case IOCTL_SARNO_PINQ: return m->scenario.busy_ms[2];
    default: return 0;
  }
}

static int dongle_works(const struct sim_model* m, int com_index) {
  return valid_port(com_index) && m->scenario.port[com_index].has_dongle &&
         !m->scenario.port[com_index].dongle_fails;
}

static uint32_t connect(struct sim_model* m, int com_index, const char* text) {
  struct sim_port_state* port;
  const struct sim_printer* pr;
  int i;
  uint32_t result;
  if (!dongle_works(m, com_index)) {
    if (valid_port(com_index)) {
      m->port[com_index].connected_to[0] = '\0';
      set_state(m, com_index, LINK_HOST_DONGLE_FAILED);
    }
    return LINK_HOST_DONGLE_FAILED;
  }
  port = &m->port[com_index];
  if (sim_text_equal(text, "NONE") || sim_text_equal(text, "NULL")) {
    drop_link(m, com_index);
    return LINK_DISCONNECTED;
  }
  i = printer_index(m, com_index, text);
  if (i < 0 || !port->printers[i].in_range) {
    result = LINK_PRINTER_CONN_FAILED;
  } else {
    pr = &m->scenario.port[com_index].printers[i];
    ++port->printers[i].attempts;
    switch (pr->behaviour) {
      case SIM_REFUSES: result = LINK_PRINTER_CONN_FAILED; break;
      case SIM_NO_ANSWER_BACK: result = LINK_ANSWER_BACK_FAILED; break;
      case SIM_MAINBOARD_UNSUPPORTED: result = LINK_MAINBOARD_UNSUPPORTED; break;
      case SIM_REFUSES_FIRST:
        result = port->printers[i].attempts == 1 ? LINK_PRINTER_CONN_FAILED : LINK_OK;
        break;
      default: result = LINK_OK; break;
    }
  }
  /* a connect attempt replaces whatever link the port had */
  if (result == LINK_OK) {
    sim_copy(port->connected_to, SIM_TEXT_SIZE, text, SIM_TEXT_SIZE);
  } else {
    port->connected_to[0] = '\0';
  }
  set_state(m, com_index, result);
  return result;
}

static uint32_t reset(struct sim_model* m, int com_index) {
  if (!dongle_works(m, com_index)) return LINK_HOST_DONGLE_FAILED;
  if (m->port[com_index].link_state != LINK_STATE_NONE) drop_link(m, com_index);
  return LINK_OK;
}

static void write_findings(struct sim_model* m, int com_index) {
  const struct sim_port_scenario* ps = &m->scenario.port[com_index];
  struct sim_findings f;
  char path[SIM_PATH_SIZE];
  size_t len = 0, out_len;
  int i, r;
  f.host = ps->dongle_address;
  f.version = ps->dongle_version;
  f.count = 0;
  for (i = 0; i < ps->printer_count && f.count < SIM_QUERY_MAX; ++i) {
    if (m->port[com_index].printers[i].in_range) f.printers[f.count++] = ps->printers[i].address;
  }
  path[0] = '\0';
  if (!m->env.settings_path || !m->env.settings_path(m->env.context, path, sizeof path) ||
      path[0] == '\0' || !m->env.read_file || !m->env.write_file) {
    ++m->stats.settings_failures;
    return;
  }
  path[sizeof path - 1] = '\0';
  r = m->env.read_file(m->env.context, path, m->file_in, sizeof m->file_in, &len);
  if (r == SIM_FILE_MISSING) {
    len = sim_default_settings(m->file_in, sizeof m->file_in);
  } else if (r != SIM_FILE_OK || len > sizeof m->file_in) {
    /* unreadable or larger than any settings file: better untouched than cut */
    ++m->stats.settings_failures;
    return;
  }
  out_len = sim_write_findings(m->file_in, len, com_index, &f, m->file_out, sizeof m->file_out);
  if (out_len == 0 || m->env.write_file(m->env.context, path, m->file_out, out_len) != SIM_FILE_OK) {
    ++m->stats.settings_failures;
    return;
  }
  ++m->stats.settings_writes;
}

static uint32_t query(struct sim_model* m, int com_index) {
  char line[64];
  uint32_t found = 0;
  int i;
  if (!dongle_works(m, com_index)) return LINK_HOST_DONGLE_FAILED;
  write_findings(m, com_index);
  for (i = 0; i < m->scenario.port[com_index].printer_count; ++i) {
    if (m->port[com_index].printers[i].in_range) ++found;
  }
  port_prefix(line, sizeof line, com_index);
  sim_append(line, sizeof line, "query found ");
  sim_append_uint(line, sizeof line, found);
  sim_append(line, sizeof line, " printers");
  monitor_line(m, com_index, line);
  return LINK_OK;
}

static void stop_monitor_read(struct sim_model* m, int device) {
  struct sim_device_state* dev = &m->device[device];
  if (dev->reads_pending > 0) {
    dev->stops = dev->reads_pending;
  } else {
    /* no read yet: the next one completes at once, so a reader that was about to read
     * does not block after it was told to stop */
    dev->stops = 1;
  }
  notify_readable(m, device);
}

static void log_request(struct sim_model* m, int device, uint32_t code, const char* text,
                        uint32_t result) {
  struct sim_log_entry* e = &m->log[m->log_count % SIM_LOG_SIZE];
  e->device = device;
  e->code = code;
  e->result = result;
  sim_copy(e->text, sizeof e->text, text, SIM_COMMAND_SIZE);
  ++m->log_count;
}

static void put_word(void* out, uint32_t value, uint32_t* returned) {
  sim_move(out, &value, sizeof value);
  if (returned) *returned = sizeof value;
}

int sim_request(struct sim_model* m, int device, uint32_t code, const void* in,
                uint32_t in_len, void* out, uint32_t out_len, uint32_t* returned) {
  char text[SIM_COMMAND_SIZE];
  int com;
  uint32_t result = 0, n;
  if (returned) *returned = 0;
  if (!valid_device(m, device)) return SIM_NO_DEVICE;
  if (!in) in_len = 0;
  if (!out) out_len = 0;
  /* copy the command text first: METHOD_BUFFERED gives one buffer for in and out */
  sim_copy(text, sizeof text, (const char*)in, in_len);
  com = sim_device_com_index(m, device);
  switch (code) {
    case IOCTL_SARNO_GET_COM_INDX:
      ++m->stats.requests[SIM_REQ_COM_INDEX];
      log_request(m, device, code, "", 0);
      if (out_len < 4) return SIM_BAD_BUFFER;
      put_word(out, m->scenario.device_index[device], returned);
      return SIM_DONE;
    case IOCTL_SARNO_PCON:
    case IOCTL_SARNO_RESET:
    case IOCTL_SARNO_PINQ:
      if (out_len < 4) {
        log_request(m, device, code, text, 0);
        return SIM_BAD_BUFFER;
      }
      if (code == IOCTL_SARNO_PCON) {
        ++m->stats.requests[SIM_REQ_CONNECT];
        result = connect(m, com, text);
      } else if (code == IOCTL_SARNO_RESET) {
        ++m->stats.requests[SIM_REQ_RESET];
        result = reset(m, com);
      } else {
        ++m->stats.requests[SIM_REQ_QUERY];
        result = query(m, com);
      }
      log_request(m, device, code, text, result);
      put_word(out, result, returned);
      return SIM_DONE;
    case IOCTL_SARNO_STOP_MONITOR:
      ++m->stats.requests[SIM_REQ_STOP_MONITOR];
      log_request(m, device, code, "", 0);
      n = in_len < out_len ? in_len : out_len;
      if (n > 4) n = 4;
      if (n > 0) sim_move(out, in, n);
      if (returned) *returned = n;
      stop_monitor_read(m, device);
      return SIM_DONE;
    case IOCTL_SARNO_MONITOR:
      ++m->stats.requests[SIM_REQ_MONITOR];
      log_request(m, device, code, text, 0);
      m->device[device].monitor_on = sim_contains((const char*)in, in_len, "MON_ON");
      n = in_len < out_len ? in_len : out_len;
      if (n > 0) sim_move(out, in, n);
      if (returned) *returned = n;
      return SIM_DONE;
    default:
      log_request(m, device, code, "", 0);
      return SIM_BAD_REQUEST;
  }
}

/* ---- reads --------------------------------------------------------------------------- */

static uint32_t take_text(struct sim_device_state* dev, void* buf, uint32_t len) {
  uint32_t n = dev->text_len < len ? (uint32_t)dev->text_len : len;
  if (n > 0) {
    sim_move(buf, dev->text, n);
    sim_move(dev->text, dev->text + n, dev->text_len - n);
    dev->text_len -= n;
  }
  return n;
}

int sim_read(struct sim_model* m, int device, void* buf, uint32_t len, uint32_t* got) {
  struct sim_device_state* dev;
  if (got) *got = 0;
  if (!valid_device(m, device)) return SIM_READ_NO_DEVICE;
  dev = &m->device[device];
  if (dev->reads_pending > 0) {
    /* reads complete in the order they came */
    ++dev->reads_pending;
    return SIM_READ_PENDING;
  }
  if (dev->stops > 0) {
    --dev->stops;
    return SIM_READ_DONE;
  }
  if (dev->text_len > 0 && buf) {
    uint32_t n = take_text(dev, buf, len);
    if (got) *got = n;
    return SIM_READ_DONE;
  }
  ++dev->reads_pending;
  return SIM_READ_PENDING;
}

int sim_read_ready(const struct sim_model* m, int device) {
  const struct sim_device_state* dev;
  if (!valid_device(m, device)) return 0;
  dev = &m->device[device];
  return dev->reads_pending > 0 && (dev->stops > 0 || dev->text_len > 0);
}

int sim_take_read(struct sim_model* m, int device, void* buf, uint32_t len, uint32_t* got) {
  struct sim_device_state* dev;
  if (got) *got = 0;
  if (!valid_device(m, device)) return SIM_READ_NO_DEVICE;
  dev = &m->device[device];
  if (dev->reads_pending == 0) return SIM_READ_PENDING;
  if (dev->stops > 0) {
    --dev->stops;
    --dev->reads_pending;
    return SIM_READ_DONE;
  }
  if (dev->text_len > 0 && buf) {
    uint32_t n = take_text(dev, buf, len);
    if (got) *got = n;
    --dev->reads_pending;
    return SIM_READ_DONE;
  }
  return SIM_READ_PENDING;
}

void sim_cancel_read(struct sim_model* m, int device) {
  struct sim_device_state* dev;
  if (!valid_device(m, device)) return;
  dev = &m->device[device];
  if (dev->reads_pending > 0) --dev->reads_pending;
  if (dev->stops > dev->reads_pending) dev->stops = dev->reads_pending;
}

/* ---- log ----------------------------------------------------------------------------- */

uint32_t sim_log_length(const struct sim_model* m) {
  return m->log_count < SIM_LOG_SIZE ? m->log_count : SIM_LOG_SIZE;
}

const struct sim_log_entry* sim_log_at(const struct sim_model* m, uint32_t i) {
  uint32_t first;
  if (i >= sim_log_length(m)) return 0;
  first = m->log_count - sim_log_length(m);
  return &m->log[(first + i) % SIM_LOG_SIZE];
}
