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

int FormatScanner::Peek() {
  if (pos_ == len_ && !Refill()) return -1;
  return static_cast<unsigned char>(data_[pos_]);
}

void FormatScanner::SkipSpace() {
  for (int c = Peek(); c >= 0 && IsSpace(static_cast<unsigned char>(c)); c = Peek()) ++pos_;
}

bool FormatScanner::ReadToken(Field field) {
  SkipSpace();
  if (Peek() < 0) return false;  // end of input before the token: the field keeps its value
  size_t stored = 0;
  const size_t room = field.size > 0 ? field.size - 1 : 0;
  for (int c = Peek(); c >= 0 && !IsSpace(static_cast<unsigned char>(c)); c = Peek()) {
    // Copy what is left of this run of the buffer in one go, bounded by the field.
    const char* run = data_ + pos_;
    size_t n = 0;
    while (pos_ + n < len_ && !IsSpace(static_cast<unsigned char>(run[n]))) ++n;
    if (stored < room) {
      size_t take = n < room - stored ? n : room - stored;
      std::memcpy(field.dst + stored, run, take);
      stored += take;
    }
    pos_ += n;
  }
  if (field.size > 0) field.dst[stored] = '\0';
  return true;
}

int FormatScanner::Scan(const char* pattern, Field first, Field second) {
  Field fields[2] = {first, second};
  int stored = 0;
  for (const char* p = pattern; *p; ++p) {
    unsigned char pc = static_cast<unsigned char>(*p);
    if (IsSpace(pc)) {
      SkipSpace();
    } else if (pc == '%' && p[1] == 's') {
      ++p;
      if (stored == 2 || !ReadToken(fields[stored])) return stored;
      ++stored;
    } else {
      if (Peek() != pc) return stored;  // the mismatching character stays unread
      ++pos_;
    }
  }
  return stored;
}

}  // namespace settings_text
