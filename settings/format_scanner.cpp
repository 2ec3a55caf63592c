#include "settings/format_scanner.h"

#include <cstring>

namespace settings_text {

FormatScanner::FormatScanner(const char* data, size_t len) : data_(data), len_(data ? len : 0) {}

FormatScanner::FormatScanner(FILE* file) : file_(file), data_(chunk_) {
  // Read the first chunk now, so that a file that opens but cannot be read is known at once.
  if (!Refill() && io_error_) read_failed_ = true;
}

bool FormatScanner::Refill() {
  if (!file_) return false;
  size_t got = std::fread(chunk_, 1, kChunk, file_);
  if (got == 0) {
    // The end, or a read error: either way nothing more comes from this file.
    io_error_ = std::ferror(file_) != 0;
    file_ = nullptr;
    return false;
  }
  data_ = chunk_;
  len_ = got;
  pos_ = 0;
  return true;
}

// The scanning loops work on local copies of the position: the field a token is copied to
// is plain char memory, which the compiler must otherwise assume may alias the position.

void FormatScanner::SkipSpace() {
  do {
    const char* data = data_;
    size_t i = pos_;
    const size_t n = len_;
    while (i < n && IsSpace(static_cast<unsigned char>(data[i]))) ++i;
    pos_ = i;
    if (i < n) return;
  } while (Refill());
}

bool FormatScanner::ReadToken(Field field) {
  SkipSpace();
  if (pos_ == len_) return false;  // end of input before the token: the field keeps its value
  size_t stored = 0;
  const size_t room = field.size > 0 ? field.size - 1 : 0;
  // A token may run across chunks of the file; each run is copied as far as the field goes.
  do {
    const char* data = data_;
    const size_t begin = pos_;
    const size_t n = len_;
    size_t i = begin;
    while (i < n && !IsSpace(static_cast<unsigned char>(data[i]))) ++i;
    pos_ = i;
    if (stored < room) {
      const size_t take = i - begin < room - stored ? i - begin : room - stored;
      std::memcpy(field.dst + stored, data + begin, take);
      stored += take;
    }
    if (i < n) break;  // stopped at white space
  } while (Refill());
  if (field.size > 0) field.dst[stored] = '\0';
  return true;
}

int FormatScanner::Scan(const char* pattern, Field first, Field second) {
  Field fields[2] = {first, second};
  int stored = 0;
  const char* p = pattern;
  while (*p) {
    if (IsSpace(static_cast<unsigned char>(*p))) {
      while (IsSpace(static_cast<unsigned char>(*p))) ++p;  // "\t " skips once
      SkipSpace();
    } else if (p[0] == '%' && p[1] == 's') {
      p += 2;
      if (stored == 2 || !ReadToken(fields[stored])) return stored;
      ++stored;
    } else {
      // Fixed text up to the next white space or field: the first character that does not
      // match stays unread.
      size_t i = pos_;
      while (*p && !IsSpace(static_cast<unsigned char>(*p)) && !(p[0] == '%' && p[1] == 's')) {
        if (i == len_) {
          pos_ = i;
          if (!Refill()) return stored;
          i = pos_;
        }
        if (data_[i] != *p) {
          pos_ = i;
          return stored;
        }
        ++i;
        ++p;
      }
      pos_ = i;
    }
  }
  return stored;
}

}  // namespace settings_text
