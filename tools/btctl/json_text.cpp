#include "tools/btctl/json_text.h"

#include <cstring>

void JsonBytes(FILE* out, const unsigned char* bytes, size_t len) {
  fputc('"', out);
  for (size_t i = 0; i < len; ++i) {
    unsigned char c = bytes[i];
    if (c == '"' || c == '\\')
      fprintf(out, "\\%c", c);
    else if (c < 0x20 || c >= 0x7F)
      fprintf(out, "\\u%04x", c);
    else
      fputc(c, out);
  }
  fputc('"', out);
}

void JsonText(FILE* out, const char* text) {
  JsonBytes(out, reinterpret_cast<const unsigned char*>(text), strlen(text));
}
