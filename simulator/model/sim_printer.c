/* The printer at the end of a port's link: what is written to the port's serial port while
 * the link is up reaches it. It answers the real-time status request at once, and, while
 * it can print, the information and print confirmation requests; everything else goes on
 * its roll. Out of paper or with its cover open it drops what it gets, as real ones do. */
#include "protocol/escpos.h"
#include "simulator/model/sim_model.h"
#include "simulator/model/sim_text.h"

enum command_kind { CMD_TEXT, CMD_MORE, CMD_STATUS, CMD_INFO, CMD_CONFIRM };

static int valid_port(int com_index) { return com_index >= 0 && com_index < SIM_PORT_COUNT; }

static int find_printer(const struct sim_model* m, int com_index, const char* address) {
  const struct sim_port_scenario* p = &m->scenario.port[com_index];
  int i;
  for (i = 0; i < p->printer_count; ++i) {
    if (sim_text_equal(p->printers[i].address, address)) return i;
  }
  return -1;
}

/* The linked printer of the port, or -1 while the link is down. */
static int linked_printer(const struct sim_model* m, int com_index) {
  const struct sim_port_state* port;
  if (!valid_port(com_index)) return -1;
  port = &m->port[com_index];
  if (port->link_state != LINK_OK || port->connected_to[0] == '\0') return -1;
  return find_printer(m, com_index, port->connected_to);
}

int sim_link_up(const struct sim_model* m, int com_index) {
  return linked_printer(m, com_index) >= 0;
}

/* Which request the pending bytes begin with; CMD_TEXT when the first byte begins none. */
static int classify(const unsigned char* c, uint32_t n) {
  if (c[0] == ESCPOS_DLE) {
    if (n < 2) return CMD_MORE;
    if (c[1] != ESCPOS_EOT) return CMD_TEXT;
    return n < 3 ? CMD_MORE : CMD_STATUS;
  }
  if (c[0] != ESCPOS_GS) return CMD_TEXT;
  if (n < 2) return CMD_MORE;
  if (c[1] == ESCPOS_INFO_BYTE) return n < 3 ? CMD_MORE : CMD_INFO;
  if (c[1] != ESCPOS_PAREN_BYTE) return CMD_TEXT;
  if (n < 3) return CMD_MORE;
  if (c[2] != ESCPOS_PROCESS_ID_BYTE) return CMD_TEXT;
  if (n < 5) return CMD_MORE;
  if (c[3] != 6 || c[4] != 0) return CMD_TEXT;
  if (n < ESCPOS_PROCESS_ID_SIZE) return CMD_MORE;
  if (c[5] != ESCPOS_PROCESS_ID_FN || c[6] != ESCPOS_PROCESS_ID_FN) return CMD_TEXT;
  return CMD_CONFIRM;
}

static void answer(struct sim_serial_state* s, const unsigned char* bytes, uint32_t n) {
  if (s->answer_len + n > SIM_ANSWER_SIZE) {
    s->dropped += n; /* nobody reads them: a real printer's would be lost on the line */
    return;
  }
  sim_move(s->answer + s->answer_len, bytes, n);
  s->answer_len += n;
}

static void print_byte(struct sim_serial_state* s, unsigned char b) {
  if (s->roll_len == SIM_ROLL_SIZE) {
    /* a full roll keeps its newer half, so that a long run keeps the latest receipts */
    sim_move(s->roll, s->roll + SIM_ROLL_SIZE / 2, SIM_ROLL_SIZE / 2);
    s->roll_len = SIM_ROLL_SIZE / 2;
  }
  s->roll[s->roll_len++] = b;
  ++s->roll_total;
}

static unsigned char status_byte(const struct sim_printer_state* p, unsigned char n) {
  unsigned char b = ESCPOS_STATUS_FIXED;
  int stopped = p->cover_open || p->paper == SIM_PAPER_OUT;
  if (n == ESCPOS_STATUS_PRINTER && stopped) b |= ESCPOS_PRINTER_OFFLINE;
  if (n == ESCPOS_STATUS_OFFLINE) {
    if (p->cover_open) b |= ESCPOS_OFFLINE_COVER;
    if (p->paper == SIM_PAPER_OUT) b |= ESCPOS_OFFLINE_PAPER_END;
  }
  if (n == ESCPOS_STATUS_PAPER) {
    if (p->paper == SIM_PAPER_NEAR_END) b |= ESCPOS_PAPER_NEAR_END;
    if (p->paper == SIM_PAPER_OUT) b |= ESCPOS_PAPER_NEAR_END | ESCPOS_PAPER_OUT;
  }
  return b;
}

static void info_answer(struct sim_serial_state* s, const struct sim_printer* pr, unsigned char n) {
  unsigned char out[SIM_INFO_SIZE + 2];
  const char* text;
  uint32_t len;
  if (n < ESCPOS_INFO_FIRMWARE || n > ESCPOS_INFO_MODEL) return;
  text = pr->info[n - ESCPOS_INFO_FIRMWARE];
  len = (uint32_t)sim_strlen(text, SIM_INFO_SIZE - 1);
  if (len == 0) return; /* a printer that does not tell stays silent */
  out[0] = ESCPOS_INFO_HEADER;
  sim_move(out + 1, text, len);
  out[len + 1] = 0;
  answer(s, out, len + 2);
}

/* Serves the pending bytes as far as they form whole commands or text. */
static void serve_pending(struct sim_serial_state* s, const struct sim_printer* pr,
                          const struct sim_printer_state* st) {
  int stopped = st->cover_open || st->paper == SIM_PAPER_OUT;
  unsigned char reply[ESCPOS_PROCESS_ID_ANSWER_SIZE];
  uint32_t used;
  while (s->pending_len > 0) {
    int kind = classify(s->pending, s->pending_len);
    if (kind == CMD_MORE) return;
    used = 1;
    switch (kind) {
      case CMD_STATUS:
        used = 3;
        reply[0] = status_byte(st, s->pending[2]);
        answer(s, reply, 1);
        break;
      case CMD_INFO:
        used = 3;
        if (stopped) s->dropped += used;
        else info_answer(s, pr, s->pending[2]);
        break;
      case CMD_CONFIRM:
        used = ESCPOS_PROCESS_ID_SIZE;
        if (stopped) {
          s->dropped += used;
          break;
        }
        /* printing is immediate here: everything before it is on the roll already */
        reply[0] = ESCPOS_PROCESS_ID_ANSWER_0;
        reply[1] = ESCPOS_PROCESS_ID_ANSWER_1;
        sim_move(reply + 2, s->pending + 7, 4);
        reply[6] = 0;
        answer(s, reply, ESCPOS_PROCESS_ID_ANSWER_SIZE);
        break;
      default:
        if (stopped) ++s->dropped;
        else print_byte(s, s->pending[0]);
        break;
    }
    sim_move(s->pending, s->pending + used, s->pending_len - used);
    s->pending_len -= used;
  }
}

uint32_t sim_serial_write(struct sim_model* m, int com_index, const void* data, uint32_t len) {
  const unsigned char* bytes = (const unsigned char*)data;
  struct sim_serial_state* s;
  const struct sim_printer* pr;
  const struct sim_printer_state* st;
  uint32_t i;
  int p = linked_printer(m, com_index);
  if (p < 0 || (!bytes && len > 0)) return 0;
  s = &m->port[com_index].serial;
  pr = &m->scenario.port[com_index].printers[p];
  st = &m->port[com_index].printers[p];
  for (i = 0; i < len; ++i) {
    unsigned char b = bytes[i];
    if (s->pending_len == 0 && b != ESCPOS_DLE && b != ESCPOS_GS) {
      if (st->cover_open || st->paper == SIM_PAPER_OUT) ++s->dropped;
      else print_byte(s, b);
      continue;
    }
    s->pending[s->pending_len++] = b; /* never full: the longest request fits */
    serve_pending(s, pr, st);
  }
  return len;
}

uint32_t sim_serial_read(struct sim_model* m, int com_index, void* buf, uint32_t len) {
  struct sim_serial_state* s;
  uint32_t n;
  if (!valid_port(com_index) || !buf) return 0;
  s = &m->port[com_index].serial;
  n = s->answer_len < len ? s->answer_len : len;
  if (n == 0) return 0;
  sim_move(buf, s->answer, n);
  sim_move(s->answer, s->answer + n, s->answer_len - n);
  s->answer_len -= n;
  return n;
}

uint32_t sim_serial_waiting(const struct sim_model* m, int com_index) {
  return valid_port(com_index) ? m->port[com_index].serial.answer_len : 0;
}

void sim_serial_purge(struct sim_model* m, int com_index) {
  if (!valid_port(com_index)) return;
  m->port[com_index].serial.answer_len = 0;
  m->port[com_index].serial.pending_len = 0;
}

const unsigned char* sim_roll(const struct sim_model* m, int com_index, uint32_t* len,
                              uint32_t* total) {
  if (len) *len = 0;
  if (total) *total = 0;
  if (!valid_port(com_index)) return 0;
  if (len) *len = m->port[com_index].serial.roll_len;
  if (total) *total = m->port[com_index].serial.roll_total;
  return m->port[com_index].serial.roll;
}

int sim_printer_event(struct sim_model* m, const struct sim_event* e) {
  struct sim_printer_state* st;
  int i;
  if (!valid_port(e->com_index)) return 0;
  i = find_printer(m, e->com_index, e->address);
  if (i < 0) return 0;
  st = &m->port[e->com_index].printers[i];
  switch (e->kind) {
    case SIM_EVENT_PAPER_OUT: st->paper = SIM_PAPER_OUT; return 1;
    case SIM_EVENT_PAPER_NEAR_END: st->paper = SIM_PAPER_NEAR_END; return 1;
    case SIM_EVENT_PAPER_LOADED: st->paper = SIM_PAPER_OK; return 1;
    case SIM_EVENT_COVER_OPEN: st->cover_open = 1; return 1;
    case SIM_EVENT_COVER_CLOSED: st->cover_open = 0; return 1;
    default: return 0;
  }
}
