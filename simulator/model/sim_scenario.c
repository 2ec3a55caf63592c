/* The scenario text: one statement per line, '#' starts a comment. The format is described
 * in simulator/scenarios/README.md. */
#include "simulator/model/sim_text.h"

#define SIM_MAX_TOKENS 8

struct sim_line {
  int count;
  const char* token[SIM_MAX_TOKENS];
  size_t length[SIM_MAX_TOKENS];
};

static int fail(struct sim_parse_error* err, int line, const char* message) {
  if (err) {
    err->line = line;
    sim_copy(err->message, sizeof err->message, message, (size_t)-1);
  }
  return line;
}

/* Splits one line (without its end) into tokens; stops at '#'. Returns 0 when it holds a
 * character that has no place in a scenario or too many tokens. */
static int split(const char* s, size_t len, struct sim_line* out, const char** why) {
  size_t i = 0;
  out->count = 0;
  while (i < len) {
    char c = s[i];
    if (c == '#') break;
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    if ((unsigned char)c < 0x20 || (unsigned char)c == 0x7f) {
      *why = "control character in the line";
      return 0;
    }
    if (out->count == SIM_MAX_TOKENS) {
      *why = "too many words";
      return 0;
    }
    out->token[out->count] = s + i;
    while (i < len && s[i] != ' ' && s[i] != '\t' && s[i] != '\r' && s[i] != '#' &&
           (unsigned char)s[i] >= 0x20 && (unsigned char)s[i] != 0x7f) {
      ++i;
    }
    out->length[out->count] = (size_t)(s + i - out->token[out->count]);
    ++out->count;
  }
  return 1;
}

static int is(const struct sim_line* l, int k, const char* word) {
  return k < l->count && sim_bytes_equal(l->token[k], l->length[k], word);
}

/* A decimal number without sign; rejects overflow past max. */
static int parse_uint(const char* s, size_t len, uint32_t max, uint32_t* out) {
  uint32_t v = 0;
  size_t i;
  if (len == 0) return 0;
  for (i = 0; i < len; ++i) {
    uint32_t d;
    if (s[i] < '0' || s[i] > '9') return 0;
    d = (uint32_t)(s[i] - '0');
    if (d > max || v > (max - d) / 10u) return 0;
    v = v * 10u + d;
  }
  *out = v;
  return 1;
}

/* "COM1".."COM4" -> 0..3 */
static int parse_port(const struct sim_line* l, int k, int* com) {
  if (k >= l->count || l->length[k] != 4 || !sim_starts_with(l->token[k], 4, "COM")) return 0;
  if (l->token[k][3] < '1' || l->token[k][3] > '4') return 0;
  *com = l->token[k][3] - '1';
  return 1;
}

/* "<seconds>" or "<milliseconds>ms" */
static int parse_time(const char* s, size_t len, uint32_t* ms) {
  uint32_t v;
  if (len > 2 && s[len - 2] == 'm' && s[len - 1] == 's') {
    return parse_uint(s, len - 2, 0xFFFFFFFFu, ms);
  }
  if (!parse_uint(s, len, 0xFFFFFFFFu / 1000u, &v)) return 0;
  *ms = v * 1000u;
  return 1;
}

static int copy_text(char* dst, const struct sim_line* l, int k) {
  if (l->length[k] >= SIM_TEXT_SIZE) return 0;
  sim_copy(dst, SIM_TEXT_SIZE, l->token[k], l->length[k]);
  return 1;
}

static int find_printer(const struct sim_port_scenario* p, const char* address) {
  int i;
  for (i = 0; i < p->printer_count; ++i) {
    if (sim_text_equal(p->printers[i].address, address)) return i;
  }
  return -1;
}

static int parse_device(struct sim_scenario* s, const struct sim_line* l, const char** why) {
  uint32_t n, index;
  int com;
  if (l->count != 3 && l->count != 4) { *why = "device <n> COM<k> | device <n> index <i>"; return 0; }
  if (!parse_uint(l->token[1], l->length[1], 3, &n)) { *why = "device number must be 0 to 3"; return 0; }
  if (s->device_present[n]) { *why = "device given twice"; return 0; }
  if (l->count == 3 && parse_port(l, 2, &com)) {
    index = (uint32_t)com;
  } else if (l->count == 4 && is(l, 2, "index") &&
             parse_uint(l->token[3], l->length[3], 0xFFFFFFFFu, &index)) {
  } else {
    *why = "device <n> COM<k> | device <n> index <i>";
    return 0;
  }
  s->device_present[n] = 1;
  s->device_index[n] = index;
  return 1;
}

static int parse_dongle(struct sim_scenario* s, const struct sim_line* l, const char** why) {
  int com;
  struct sim_port_scenario* p;
  if (!parse_port(l, 1, &com)) { *why = "dongle needs a port COM1 to COM4"; return 0; }
  p = &s->port[com];
  if (p->has_dongle) { *why = "dongle given twice for the port"; return 0; }
  sim_copy(p->dongle_address, SIM_TEXT_SIZE, "NONE", 4);
  sim_copy(p->dongle_version, SIM_TEXT_SIZE, "NONE", 4);
  if (l->count == 3 && is(l, 2, "fails")) {
    p->dongle_fails = 1;
  } else if (l->count == 4 || (l->count == 5 && is(l, 4, "fails"))) {
    if (l->token[2][0] != '0') { *why = "dongle address must begin with 0"; return 0; }
    if (!copy_text(p->dongle_address, l, 2)) { *why = "dongle address longer than 39"; return 0; }
    if (!sim_contains(l->token[3], l->length[3], "_v")) { *why = "dongle version needs a _v part"; return 0; }
    if (!copy_text(p->dongle_version, l, 3)) { *why = "dongle version longer than 39"; return 0; }
    p->dongle_fails = (l->count == 5);
  } else {
    *why = "dongle COM<k> <address> <version> [fails] | dongle COM<k> fails";
    return 0;
  }
  p->has_dongle = 1;
  return 1;
}

static int parse_behaviour(const struct sim_line* l, int k, int* b) {
  if (is(l, k, "accepts")) *b = SIM_ACCEPTS;
  else if (is(l, k, "refuses")) *b = SIM_REFUSES;
  else if (is(l, k, "no-answer-back")) *b = SIM_NO_ANSWER_BACK;
  else if (is(l, k, "mainboard-unsupported")) *b = SIM_MAINBOARD_UNSUPPORTED;
  else if (is(l, k, "refuses-first")) *b = SIM_REFUSES_FIRST;
  else return 0;
  return 1;
}

static int parse_printer(struct sim_scenario* s, const struct sim_line* l, const char** why) {
  int com, behaviour;
  struct sim_port_scenario* p;
  struct sim_printer* pr;
  if (l->count != 4) { *why = "printer COM<k> <address> <behaviour>"; return 0; }
  if (!parse_port(l, 1, &com)) { *why = "printer needs a port COM1 to COM4"; return 0; }
  p = &s->port[com];
  if (!p->has_dongle) { *why = "printer on a port without a dongle line before it"; return 0; }
  if (p->printer_count == SIM_PRINTERS_PER_PORT) { *why = "too many printers on the port"; return 0; }
  if (!parse_behaviour(l, 3, &behaviour)) {
    *why = "behaviour: accepts, refuses, no-answer-back, mainboard-unsupported, refuses-first";
    return 0;
  }
  pr = &p->printers[p->printer_count];
  if (!copy_text(pr->address, l, 2)) { *why = "printer address longer than 39"; return 0; }
  if (sim_text_equal(pr->address, "NONE") || sim_text_equal(pr->address, "NULL")) {
    *why = "NONE and NULL are no printer addresses";
    return 0;
  }
  if (find_printer(p, pr->address) >= 0) { *why = "printer given twice on the port"; return 0; }
  pr->behaviour = behaviour;
  ++p->printer_count;
  return 1;
}

/* The port's unplugs and plugs, in time order, must alternate from "unplug" on: the dongle
 * starts plugged in. Returns 1 when they do, else 0 with the reason of the first that does
 * not. */
static int plugs_alternate(const struct sim_scenario* s, int com_index, const char** why) {
  int i, out = 0;
  for (i = 0; i < s->event_count; ++i) {
    const struct sim_event* e = &s->events[i];
    if (e->com_index != com_index) continue;
    if (e->kind == SIM_EVENT_UNPLUG) {
      if (out) { *why = "unplug of a port that is unplugged then"; return 0; }
      out = 1;
    } else if (e->kind == SIM_EVENT_PLUG) {
      if (!out) { *why = "plug without an unplug of the port before it"; return 0; }
      out = 0;
    }
  }
  return 1;
}

#define SIM_EVENT_USAGE \
  "at <seconds>|<ms>ms <event> COM<k> <address> | at <time> drop|unplug|plug COM<k>"

/* The paper and cover events of a printer. */
static int printer_event(const struct sim_line* l, int k, int* kind) {
  if (is(l, k, "paper-out")) *kind = SIM_EVENT_PAPER_OUT;
  else if (is(l, k, "paper-near-end")) *kind = SIM_EVENT_PAPER_NEAR_END;
  else if (is(l, k, "paper-loaded")) *kind = SIM_EVENT_PAPER_LOADED;
  else if (is(l, k, "cover-open")) *kind = SIM_EVENT_COVER_OPEN;
  else if (is(l, k, "cover-closed")) *kind = SIM_EVENT_COVER_CLOSED;
  else return 0;
  return 1;
}

/* paper|cover|info COM<k> <address> ...: how a printer of an earlier printer line starts. */
static int parse_printer_state(struct sim_scenario* s, const struct sim_line* l, const char** why) {
  const char* kUsage = is(l, 0, "paper")   ? "paper COM<k> <address> ok|near-end|out"
                      : is(l, 0, "cover") ? "cover COM<k> <address> open|closed"
                                          : "info COM<k> <address> firmware|maker|model <text>";
  char address[SIM_TEXT_SIZE];
  struct sim_printer* pr;
  int com, i, kind;
  if (l->count < 4 || !parse_port(l, 1, &com) || !copy_text(address, l, 2)) { *why = kUsage; return 0; }
  i = find_printer(&s->port[com], address);
  if (i < 0) { *why = "no printer line for that printer before it"; return 0; }
  pr = &s->port[com].printers[i];
  if (is(l, 0, "paper") && l->count == 4) {
    if (is(l, 3, "ok")) pr->paper = SIM_PAPER_OK;
    else if (is(l, 3, "near-end")) pr->paper = SIM_PAPER_NEAR_END;
    else if (is(l, 3, "out")) pr->paper = SIM_PAPER_OUT;
    else { *why = kUsage; return 0; }
    return 1;
  }
  if (is(l, 0, "cover") && l->count == 4 && (is(l, 3, "open") || is(l, 3, "closed"))) {
    pr->cover_open = is(l, 3, "open");
    return 1;
  }
  if (is(l, 0, "info") && l->count == 5) {
    if (is(l, 3, "firmware")) kind = SIM_INFO_FIRMWARE;
    else if (is(l, 3, "maker")) kind = SIM_INFO_MAKER;
    else if (is(l, 3, "model")) kind = SIM_INFO_MODEL;
    else { *why = kUsage; return 0; }
    if (l->length[4] >= SIM_INFO_SIZE) { *why = "printer information longer than 31"; return 0; }
    sim_copy(pr->info[kind], SIM_INFO_SIZE, l->token[4], l->length[4]);
    return 1;
  }
  *why = kUsage;
  return 0;
}


static int parse_event(struct sim_scenario* s, const struct sim_line* l, const char** why) {
  struct sim_event e;
  int i;
  sim_fill(&e, 0, sizeof e);
  if (l->count < 4 || !parse_time(l->token[1], l->length[1], &e.at_ms)) {
    *why = SIM_EVENT_USAGE;
    return 0;
  }
  if (!parse_port(l, 3, &e.com_index)) { *why = "event needs a port COM1 to COM4"; return 0; }
  if (!s->port[e.com_index].has_dongle) { *why = "event on a port without a dongle line before it"; return 0; }
  if (l->count == 4 && is(l, 2, "drop")) {
    e.kind = SIM_EVENT_DROP;
  } else if (l->count == 4 && is(l, 2, "unplug")) {
    e.kind = SIM_EVENT_UNPLUG;
  } else if (l->count == 4 && is(l, 2, "plug")) {
    e.kind = SIM_EVENT_PLUG;
  } else if (l->count == 5 && (is(l, 2, "leave") || is(l, 2, "return") ||
                                printer_event(l, 2, &e.kind))) {
    if (is(l, 2, "leave") || is(l, 2, "return"))
      e.kind = is(l, 2, "leave") ? SIM_EVENT_LEAVE : SIM_EVENT_RETURN;
    if (!copy_text(e.address, l, 4) || find_printer(&s->port[e.com_index], e.address) < 0) {
      *why = "event names no printer of the port";
      return 0;
    }
  } else {
    *why = SIM_EVENT_USAGE;
    return 0;
  }
  if (s->event_count == SIM_EVENT_MAX) { *why = "too many events"; return 0; }
  /* keep time order; events at the same time stay in file order */
  i = s->event_count;
  while (i > 0 && s->events[i - 1].at_ms > e.at_ms) {
    s->events[i] = s->events[i - 1];
    --i;
  }
  s->events[i] = e;
  ++s->event_count;
  return plugs_alternate(s, e.com_index, why);
}

static int parse_busy(struct sim_scenario* s, const struct sim_line* l, const char** why) {
  int k;
  uint32_t ms;
  if (l->count != 3) { *why = "busy connect|reset|query <ms>"; return 0; }
  if (is(l, 1, "connect")) k = 0;
  else if (is(l, 1, "reset")) k = 1;
  else if (is(l, 1, "query")) k = 2;
  else { *why = "busy connect|reset|query <ms>"; return 0; }
  if (!parse_uint(l->token[2], l->length[2], 60000u, &ms)) { *why = "busy time is 0 to 60000 ms"; return 0; }
  s->busy_ms[k] = ms;
  return 1;
}

int sim_parse_scenario(struct sim_scenario* out, const char* text, size_t len,
                       struct sim_parse_error* err) {
  size_t pos = 0;
  int line = 0, ok = 1;
  const char* why = "";
  sim_fill(out, 0, sizeof *out);
  if (err) {
    err->line = 0;
    err->message[0] = '\0';
  }
  if (!text) len = 0;
  while (pos < len) {
    size_t start = pos, end;
    struct sim_line l;
    ++line;
    while (pos < len && text[pos] != '\n') ++pos;
    end = pos;
    if (pos < len) ++pos; /* the '\n' */
    if (end - start - (end > start && text[end - 1] == '\r' ? 1u : 0u) > SIM_LINE_MAX) {
      why = "line longer than 255 characters";
      ok = 0;
    } else {
      ok = split(text + start, end - start, &l, &why);
    }
    if (!ok) break;
    if (l.count == 0) continue;
    if (is(&l, 0, "device")) ok = parse_device(out, &l, &why);
    else if (is(&l, 0, "dongle")) ok = parse_dongle(out, &l, &why);
    else if (is(&l, 0, "printer")) ok = parse_printer(out, &l, &why);
    else if (is(&l, 0, "at")) ok = parse_event(out, &l, &why);
    else if (is(&l, 0, "busy")) ok = parse_busy(out, &l, &why);
    else if (is(&l, 0, "paper") || is(&l, 0, "cover") || is(&l, 0, "info"))
      ok = parse_printer_state(out, &l, &why);
    else { ok = 0; why = "unknown statement"; }
    if (!ok) break;
  }
  if (ok) return 0;
  sim_fill(out, 0, sizeof *out); /* nothing of a refused scenario may be used */
  return fail(err, line, why);
}
