// ResetPortInFile: one port's block of the settings file reset where the file holds it,
// every other byte kept, so that a process that loaded the library long ago never writes
// its old copy of the other ports, the selection or the connect mode back over newer ones.
#include <cstdio>
#include <cstring>

#include "platform/file_replace.h"
#include "settings/settings.h"

namespace {

constexpr size_t kFileLimit = 8192;   // twice the largest file the writer makes

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsSpace(char c) { return IsBlank(c) || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

struct Line {
  size_t begin, end;   // end: past the line's '\n', or the end of the text
};

// The first token of the line, as the reader sees keys.
bool KeyIs(const char* text, const Line& l, const char* key) {
  size_t p = l.begin;
  while (p < l.end && IsSpace(text[p])) ++p;
  const size_t n = std::strlen(key);
  return l.end - p >= n && std::memcmp(text + p, key, n) == 0 &&
         (p + n == l.end || IsSpace(text[p + n]));
}

// Appends to out, bounded; false once something did not fit.
struct Out {
  char* data;
  size_t size, len = 0;
  bool ok = true;
  void Put(const char* p, size_t n) {
    if (!ok || n > size - len) {
      ok = false;
      return;
    }
    std::memcpy(data + len, p, n);
    len += n;
  }
};

// The line with its value token (the first token after the key) replaced by "NONE".
void PutWithNone(Out& out, const char* text, const Line& l) {
  size_t p = l.begin;
  while (p < l.end && IsSpace(text[p])) ++p;
  while (p < l.end && !IsSpace(text[p])) ++p;   // the key
  while (p < l.end && IsBlank(text[p])) ++p;
  size_t v = p;
  while (v < l.end && !IsSpace(text[v])) ++v;
  out.Put(text + l.begin, p - l.begin);
  out.Put("NONE", 4);
  out.Put(text + v, l.end - v);
}

// Resets the block's host, printer, first query entry and version; the query entries after
// the first go, as the writer ends the list at its first "NONE".
bool EditBlock(const char* text, size_t len, int port, Out& out) {
  int blocks = 0;
  bool inBlock = false, found = false, firstQuery = true;
  for (size_t at = 0; at < len;) {
    const char* nl = static_cast<const char*>(std::memchr(text + at, '\n', len - at));
    Line l{at, nl ? static_cast<size_t>(nl - text) + 1 : len};
    at = l.end;
    if (KeyIs(text, l, "BT_Port:")) {
      inBlock = blocks++ == port;
      found |= inBlock;
    } else if (KeyIs(text, l, "BT_Connect:")) {
      inBlock = false;
    } else if (inBlock) {
      if (KeyIs(text, l, "BT_QueryPrt:")) {
        if (firstQuery) PutWithNone(out, text, l);
        firstQuery = false;
        continue;
      }
      if (KeyIs(text, l, "BT_SelHost:") || KeyIs(text, l, "BT_Selprt:") ||
          KeyIs(text, l, "BT_HostVrsn:")) {
        PutWithNone(out, text, l);
        continue;
      }
    }
    out.Put(text + l.begin, l.end - l.begin);
  }
  return found && out.ok;
}

// A file that is missing, too long or has no such block: written whole, as the library's
// rewrite always was, from what the file holds now (its connect mode kept).
bool RewriteWhole(const char* path, int port) {
  Settings s;
  LoadSetting(s, path);
  s.BT_SelPort = port;
  s.SaveManual = std::strcmp(s.BT_Connect, "MANUAL") == 0;
  ResetPortToNone(s.Port[port]);
  return OnSaveSetting(s, path);
}

}  // namespace

bool ResetPortInFile(const char* path, int port) {
  if (!path || port < 0 || port >= kPortCount) return false;
  char text[kFileLimit], edited[kFileLimit];
  FILE* f = std::fopen(path, "rb");
  if (!f) return RewriteWhole(path, port);
  size_t len = std::fread(text, 1, sizeof text, f);
  const bool whole = len < sizeof text && !std::ferror(f);
  std::fclose(f);
  Out out{edited, sizeof edited};
  if (!whole || !EditBlock(text, len, port, out)) return RewriteWhole(path, port);
  if (out.len == len && std::memcmp(text, edited, len) == 0) return true;   // nothing to reset
  return platform::WriteFileReplacing(path, edited, out.len);
}
