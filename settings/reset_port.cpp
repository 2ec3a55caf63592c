// ResetPortInFile: one port's block of the settings file reset where the file holds it,
// every other byte kept, so that a process that loaded the library long ago never writes
// its old copy of the other ports, the selection or the connect mode back over newer ones.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/file_replace.h"
#include "settings/settings.h"
#include "settings/settings_buffer.h"

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

// The file written whole from what the reader saw, as the library's rewrite always was: the
// port reset and selected. The connect mode of a file that was read stays what the setup
// program takes it for (only "AUTO" is Auto); a new file says "AUTO", as it always did.
bool WriteWhole(Settings& s, const char* path, int port, bool fileRead) {
  s.BT_SelPort = port;
  s.SaveManual = fileRead && std::strcmp(s.BT_Connect, "AUTO") != 0;
  ResetPortToNone(s.Port[port]);
  return OnSaveSetting(s, path);
}

// A file that is missing or longer than any the writer makes: what LoadSetting gives.
bool RewriteWhole(const char* path, int port) {
  Settings s;
  const bool read = LoadSetting(s, path);
  return WriteWhole(s, path, port, read);
}

template <size_t N>
bool Same(const char (&a)[N], const char (&b)[N]) { return std::strncmp(a, b, N) == 0; }

// Whether the reader takes the same values from two files: every field it fills, and the
// query entries up to the first "NONE".
bool ReadAlike(const Settings& a, const Settings& b) {
  if (a.BT_SelPort != b.BT_SelPort || !Same(a.BT_Baudrate, b.BT_Baudrate) ||
      !Same(a.BT_Connect, b.BT_Connect))
    return false;
  for (int i = 0; i < kPortCount; ++i) {
    const PortSetting &p = a.Port[i], &q = b.Port[i];
    if (p.QueryPrtCount != q.QueryPrtCount) return false;
    for (int k = 0; k < p.QueryPrtCount && k < kQueryPrtMax; ++k)
      if (!Same(p.QueryPrt[k], q.QueryPrt[k])) return false;
    if (!Same(p.SelHost, q.SelHost) || !Same(p.Selprt, q.Selprt) || !Same(p.HostVrsn, q.HostVrsn) ||
        !Same(p.Reserve1, q.Reserve1) || !Same(p.Reserve2, q.Reserve2) ||
        !Same(p.Reserve3, q.Reserve3) || !Same(p.Reserve4, q.Reserve4))
      return false;
  }
  return true;
}

}  // namespace

bool ResetPortInFile(const char* path, int port) {
  if (!path || port < 0 || port >= kPortCount) return false;
  char text[kFileLimit], edited[kFileLimit];
  errno = 0;
  FILE* f = std::fopen(path, "rb");
  // Only a file that is not there is written anew: one that another program holds open, or
  // that may not be read, is left as it is.
  if (!f) return errno == ENOENT && RewriteWhole(path, port);
  size_t len = std::fread(text, 1, sizeof text, f);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return false;
  if (len == sizeof text) return RewriteWhole(path, port);

  // The reader follows the format line by line: in a damaged file (a line doubled or missing
  // in an earlier block) it may take another stretch of the file for this port than the
  // edited block. The edit stands only when the reader sees this port reset and everything
  // else as it was.
  Settings seen, wanted, after;
  LoadSettingFromBuffer(seen, text, len);
  wanted = seen;
  ResetPortToNone(wanted.Port[port]);
  wanted.Port[port].QueryPrtCount = 0;
  Out out{edited, sizeof edited};
  if (EditBlock(text, len, port, out)) {
    LoadSettingFromBuffer(after, edited, out.len);
    if (ReadAlike(after, wanted)) {
      if (out.len == len && std::memcmp(text, edited, len) == 0) return true;   // reset already
      return platform::WriteFileReplacing(path, edited, out.len);
    }
  }
  return WriteWhole(seen, path, port, true);
}
