/* Rewrites the query findings into the settings file. Lines are recognised by their key
 * ("BT_SelHost:", ...) after leading blanks; the four port blocks are taken by position,
 * as the settings reader takes them. New lines use the writer's exact format with CR LF. */
#include "simulator/model/sim_settings_file.h"

#include "simulator/model/sim_text.h"

struct out_buf {
  char* data;
  size_t size;
  size_t len;
  int overflow;
};

static void put_bytes(struct out_buf* o, const char* s, size_t n) {
  if (n == 0) return;
  if (o->overflow || n > o->size - o->len) {
    o->overflow = 1;
    return;
  }
  sim_move(o->data + o->len, s, n);
  o->len += n;
}

static void put(struct out_buf* o, const char* s) { put_bytes(o, s, sim_strlen(s, (size_t)-1)); }

static void put_line(struct out_buf* o, const char* key, const char* value) {
  put(o, key);
  put(o, value);
  put(o, "\r\n");
}

static void put_port_header(struct out_buf* o, int com_index) {
  char n[2];
  n[0] = (char)('1' + com_index);
  n[1] = '\0';
  put(o, "BT_Port: COM");
  put(o, n);
  put(o, "\r\n");
}

static void put_host(struct out_buf* o, const struct sim_findings* f) {
  put_line(o, "\t BT_SelHost:  ", f->host);
}

static void put_list(struct out_buf* o, const struct sim_findings* f) {
  int i;
  for (i = 0; i < f->count && i < SIM_QUERY_MAX; ++i) put_line(o, "\t BT_QueryPrt: ", f->printers[i]);
  if (i < SIM_QUERY_MAX) put_line(o, "\t BT_QueryPrt: ", "NONE");
}

static void put_version(struct out_buf* o, const struct sim_findings* f) {
  put_line(o, "\t BT_HostVrsn: ", f->version);
}

static void put_reserves(struct out_buf* o) {
  put_line(o, "\t BT_Reserve1: ", "NONE");
  put_line(o, "\t BT_Reserve2: ", "NONE");
  put_line(o, "\t BT_Reserve3: ", "NONE");
  put_line(o, "\t BT_Reserve4: ", "NONE");
}

/* A whole block body as the writer produces it, with "NONE" for the bound printer. */
static void put_block_body(struct out_buf* o, const struct sim_findings* f) {
  put_host(o, f);
  put_line(o, "\t BT_Selprt:   ", "NONE");
  put_list(o, f);
  put_version(o, f);
  put_reserves(o);
}

static const struct sim_findings kNoFindings = {"NONE", "NONE", 0, {0}};

size_t sim_default_settings(char* out, size_t size) {
  struct out_buf o;
  int p;
  o.data = out;
  o.size = size;
  o.len = 0;
  o.overflow = 0;
  put(&o, "BT_SelPort: COM1\r\n");
  put(&o, "BT_Baudrate: 19200N81\r\n");
  for (p = 0; p < SIM_PORT_COUNT; ++p) {
    put(&o, "\r\n");
    put_port_header(&o, p);
    put_block_body(&o, &kNoFindings);
  }
  put(&o, "\r\nBT_Connect: AUTO\r\n");
  return o.overflow ? 0 : o.len;
}

enum line_key { KEY_OTHER, KEY_BLANK, KEY_PORT, KEY_CONNECT, KEY_HOST, KEY_PRINTER, KEY_QUERY,
                KEY_VERSION, KEY_RESERVE };

struct line {
  size_t start;
  size_t len;       /* with its line end, if any */
  int has_end;      /* ends with '\n' */
  int key;
};

static int classify(const char* s, size_t len) {
  size_t i = 0;
  while (i < len && (s[i] == ' ' || s[i] == '\t')) ++i;
  s += i;
  len -= i;
  if (len == 0 || s[0] == '\r' || s[0] == '\n') return KEY_BLANK;
  if (sim_starts_with(s, len, "BT_Port:")) return KEY_PORT;
  if (sim_starts_with(s, len, "BT_Connect:")) return KEY_CONNECT;
  if (sim_starts_with(s, len, "BT_SelHost:")) return KEY_HOST;
  if (sim_starts_with(s, len, "BT_Selprt:")) return KEY_PRINTER;
  if (sim_starts_with(s, len, "BT_QueryPrt:")) return KEY_QUERY;
  if (sim_starts_with(s, len, "BT_HostVrsn:")) return KEY_VERSION;
  if (sim_starts_with(s, len, "BT_Reserve")) return KEY_RESERVE;
  return KEY_OTHER;
}

/* The line that begins at pos; pos == in_len gives an empty line. */
static struct line line_at(const char* in, size_t in_len, size_t pos) {
  struct line l;
  size_t e = pos;
  while (e < in_len && in[e] != '\n') ++e;
  l.start = pos;
  l.has_end = e < in_len;
  l.len = e - pos + (l.has_end ? 1u : 0u);
  l.key = classify(in + pos, l.len);
  return l;
}

/* Copies an original line; one without a line end gets CR LF when more follows it. */
static void put_original(struct out_buf* o, const char* in, const struct line* l) {
  put_bytes(o, in + l->start, l->len);
  if (!l->has_end) put(o, "\r\n");
}

struct block_edit {
  int host, printer, list, version;  /* already written */
};

static void ensure_host(struct out_buf* o, struct block_edit* b, const struct sim_findings* f) {
  if (!b->host) put_host(o, f);
  b->host = 1;
}

static void ensure_printer(struct out_buf* o, struct block_edit* b) {
  if (!b->printer) put_line(o, "\t BT_Selprt:   ", "NONE");
  b->printer = 1;
}

static void ensure_list(struct out_buf* o, struct block_edit* b, const struct sim_findings* f) {
  if (!b->list) put_list(o, f);
  b->list = 1;
}

static void ensure_version(struct out_buf* o, struct block_edit* b, const struct sim_findings* f) {
  if (!b->version) put_version(o, f);
  b->version = 1;
}

/* Rewrites the body of one block, lines [from, to); trailing blank lines are the caller's. */
static void edit_block(struct out_buf* o, const char* in, size_t in_len, size_t from, size_t to,
                       const struct sim_findings* f) {
  struct block_edit b = {0, 0, 0, 0};
  size_t pos = from;
  while (pos < to) {
    struct line l = line_at(in, in_len, pos);
    pos += l.len;
    switch (l.key) {
      case KEY_HOST:
        ensure_host(o, &b, f);
        break;
      case KEY_PRINTER:
        ensure_host(o, &b, f);
        if (!b.printer) put_original(o, in, &l);
        b.printer = 1;
        break;
      case KEY_QUERY:
        ensure_host(o, &b, f);
        ensure_printer(o, &b);
        ensure_list(o, &b, f);
        break;
      case KEY_VERSION:
        ensure_host(o, &b, f);
        ensure_printer(o, &b);
        ensure_list(o, &b, f);
        ensure_version(o, &b, f);
        break;
      case KEY_RESERVE:
        ensure_host(o, &b, f);
        ensure_printer(o, &b);
        ensure_list(o, &b, f);
        ensure_version(o, &b, f);
        put_original(o, in, &l);
        break;
      default:
        put_original(o, in, &l);
        break;
    }
  }
  ensure_host(o, &b, f);
  ensure_printer(o, &b);
  ensure_list(o, &b, f);
  ensure_version(o, &b, f);
}

size_t sim_write_findings(const char* in, size_t in_len, int com_index,
                          const struct sim_findings* f, char* out, size_t size) {
  struct out_buf o;
  size_t pos = 0, insert_at = in_len;
  int blocks = 0, found_connect = 0;
  o.data = out;
  o.size = size;
  o.len = 0;
  o.overflow = 0;
  if (com_index < 0 || com_index >= SIM_PORT_COUNT) return 0;

  while (pos < in_len) {
    struct line l = line_at(in, in_len, pos);
    if (l.key == KEY_CONNECT && !found_connect) {
      found_connect = 1;
      insert_at = pos;
    }
    if (l.key == KEY_PORT && blocks++ == com_index) {
      /* the block: header as is, body edited, trailing blank lines and the rest as is */
      size_t body = pos + l.len, end = body, last = body;
      put_bytes(&o, in, pos);
      put_original(&o, in, &l);
      while (end < in_len) {
        struct line b = line_at(in, in_len, end);
        if (b.key == KEY_PORT || b.key == KEY_CONNECT) break;
        end += b.len;
        if (b.key != KEY_BLANK) last = end;
      }
      edit_block(&o, in, in_len, body, last, f);
      put_bytes(&o, in + last, in_len - last);
      return o.overflow ? 0 : o.len;
    }
    pos += l.len;
  }

  /* Too few blocks: add the missing ones, before "BT_Connect:" or at the end. */
  put_bytes(&o, in, insert_at);
  if (!found_connect && in_len > 0 && in[in_len - 1] != '\n') put(&o, "\r\n");
  for (; blocks <= com_index; ++blocks) {
    const struct sim_findings* b = (blocks == com_index) ? f : &kNoFindings;
    if (!found_connect) put(&o, "\r\n");
    put_port_header(&o, blocks);
    put_block_body(&o, b);
    if (found_connect) put(&o, "\r\n");
  }
  if (in != 0) put_bytes(&o, in + insert_at, in_len - insert_at); /* no file: nothing follows */
  return o.overflow ? 0 : o.len;
}
