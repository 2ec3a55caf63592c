/* Bounded text helpers: kernel mode has no full libc, and every input here comes with a
 * length that must not be overrun. */
#include "simulator/model/sim_text.h"

size_t sim_strlen(const char* s, size_t max) {
  size_t n = 0;
  if (!s) return 0;
  while (n < max && s[n] != '\0') ++n;
  return n;
}

size_t sim_copy(char* dst, size_t size, const char* src, size_t src_len) {
  size_t n = 0;
  if (!dst || size == 0) return 0;
  if (src) {
    while (n + 1 < size && n < src_len && src[n] != '\0') {
      dst[n] = src[n];
      ++n;
    }
  }
  dst[n] = '\0';
  return n;
}

size_t sim_append(char* dst, size_t size, const char* src) {
  size_t used = sim_strlen(dst, size);
  if (used >= size) return used;
  return used + sim_copy(dst + used, size - used, src, (size_t)-1);
}

size_t sim_append_uint(char* dst, size_t size, uint32_t value) {
  char digits[11];
  int n = 0;
  size_t used;
  do {
    digits[n++] = (char)('0' + value % 10u);
    value /= 10u;
  } while (value != 0 && n < 10);
  used = sim_strlen(dst, size);
  while (n > 0 && used + 1 < size) {
    dst[used++] = digits[--n];
  }
  if (used < size) dst[used] = '\0';
  return used;
}

int sim_text_equal(const char* a, const char* b) {
  size_t i = 0;
  for (;;) {
    if (a[i] != b[i]) return 0;
    if (a[i] == '\0') return 1;
    ++i;
  }
}

int sim_bytes_equal(const char* a, size_t a_len, const char* b) {
  size_t i;
  for (i = 0; i < a_len; ++i) {
    if (b[i] == '\0' || a[i] != b[i]) return 0;
  }
  return b[a_len] == '\0';
}

int sim_starts_with(const char* s, size_t len, const char* prefix) {
  size_t i = 0;
  while (prefix[i] != '\0') {
    if (i >= len || s[i] != prefix[i]) return 0;
    ++i;
  }
  return 1;
}

int sim_contains(const char* s, size_t len, const char* needle) {
  size_t i;
  size_t n = sim_strlen(needle, (size_t)-1);
  if (n == 0) return 1;
  for (i = 0; i + n <= len; ++i) {
    if (sim_starts_with(s + i, len - i, needle)) return 1;
  }
  return 0;
}

void sim_fill(void* p, int value, size_t n) {
  unsigned char* b = (unsigned char*)p;
  while (n-- > 0) *b++ = (unsigned char)value;
}

void sim_move(void* dst, const void* src, size_t n) {
  unsigned char* d = (unsigned char*)dst;
  const unsigned char* s = (const unsigned char*)src;
  if (d == s || n == 0) return;
  if (d < s) {
    while (n-- > 0) *d++ = *s++;
  } else {
    d += n;
    s += n;
    while (n-- > 0) *--d = *--s;
  }
}
