/* A printer's roll as a person reads it: the printed text, and the ESC/POS commands that
 * shaped it as tags. */
#include "protocol/escpos.h"
#include "simulator/model/sim_model.h"
#include "simulator/model/sim_text.h"

struct text_out {
  char* out;
  size_t size;
  size_t pos;  /* out[pos] is the terminating NUL */
  int full;
};

/* Appends s whole, or nothing and nothing more after it: a cut text ends at a whole tag. */
static void put(struct text_out* t, const char* s) {
  size_t n = sim_strlen(s, 64);
  if (t->full || t->pos + n + 1 > t->size) {
    t->full = 1;
    return;
  }
  sim_move(t->out + t->pos, s, n);
  t->pos += n;
  t->out[t->pos] = '\0';
}

static void put_tag_number(struct text_out* t, const char* name, unsigned n) {
  char tag[32];
  tag[0] = '\0';
  sim_append(tag, sizeof tag, "[");
  sim_append(tag, sizeof tag, name);
  sim_append(tag, sizeof tag, " ");
  sim_append_uint(tag, sizeof tag, n);
  sim_append(tag, sizeof tag, "]");
  put(t, tag);
}

static void put_byte(struct text_out* t, unsigned char b) {
  static const char digits[] = "0123456789abcdef";
  char tag[7] = {'[', '0', 'x', digits[b >> 4], digits[b & 15], ']', '\0'};
  put(t, tag);
}

static const char* align_name(unsigned char n) {
  switch (n) {
    case 0: case '0': return "[left]";
    case 1: case '1': return "[centre]";
    case 2: case '2': return "[right]";
    default: return 0;
  }
}

/* The tag of the ESC or GS command at c (n bytes left); returns the bytes it takes, 0 when
 * the bytes are no command known here. */
static size_t command(struct text_out* t, const unsigned char* c, size_t n) {
  if (n < 2) return 0;
  if (c[0] == ESCPOS_ESC) {
    if (c[1] == ESCPOS_INIT_BYTE) { put(t, "[init]"); return 2; }
    if (n < 3) return 0;
    switch (c[1]) {
      case ESCPOS_FEED_BYTE: put_tag_number(t, "feed", c[2]); return 3;
      case ESCPOS_BOLD_BYTE: put(t, (c[2] & 1u) ? "[bold]" : "[/bold]"); return 3;
      case ESCPOS_ALIGN_BYTE:
        if (!align_name(c[2])) return 0;
        put(t, align_name(c[2]));
        return 3;
      case '!': put_tag_number(t, "mode", c[2]); return 3;
      default: return 0;
    }
  }
  if (c[0] == ESCPOS_GS && c[1] == ESCPOS_CUT_BYTE && n >= 3) {
    switch (c[2]) {
      case 0: case '0': put(t, "[cut]"); return 3;
      case 1: case '1': put(t, "[partial cut]"); return 3;
      case 65: case 66:
        if (n < 4) return 0;
        put_tag_number(t, "feed", c[3]);
        put(t, c[2] == 65 ? "[cut]" : "[partial cut]");
        return 4;
      default: return 0;
    }
  }
  if (c[0] == ESCPOS_GS && c[1] == '!' && n >= 3) {
    put_tag_number(t, "size", c[2]);
    return 3;
  }
  return 0;
}

size_t sim_render_roll(const unsigned char* bytes, size_t len, char* out, size_t size) {
  struct text_out t;
  size_t i = 0;
  if (!out || size == 0) return 0;
  out[0] = '\0';
  t.out = out;
  t.size = size;
  t.pos = 0;
  t.full = 0;
  if (!bytes) len = 0;
  while (i < len) {
    unsigned char b = bytes[i];
    size_t used;
    char one[2];
    if (b == ESCPOS_ESC || b == ESCPOS_GS) {
      used = command(&t, bytes + i, len - i);
      if (used > 0) {
        i += used;
        continue;
      }
    }
    if (b == ESCPOS_LF || (b >= 0x20 && b < 0x7F)) {
      one[0] = (char)b;
      one[1] = '\0';
      put(&t, one);
    } else if (b != '\r') {
      put_byte(&t, b);
    }
    ++i;
  }
  return t.pos;
}
