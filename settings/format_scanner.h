// Reading of the settings text with the rules of formatted input that the file was made for:
// in a pattern, a white-space character skips any amount of white space (none, blanks, tabs,
// line ends); "%s" reads one token up to the next white space; any other character must be
// the next input character. A character that does not match stops the pattern and stays
// unread, so the next pattern starts there.
//
// Unlike unbounded formatted input, a token longer than its field is cut to the field
// (always terminated) and consumed whole, so nothing is written past a field and the next
// pattern starts after the token.
#pragma once
#include <cstddef>
#include <cstdio>
#include <initializer_list>

namespace settings_text {

// The white space of formatted input: blank, tab, line feed, vertical tab, form feed, CR.
// One table look-up per character, since the reader asks this of every byte of the file.
struct SpaceTable {
  bool is[256] = {};
  constexpr SpaceTable() {
    for (unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r'}) is[c] = true;
  }
};
inline constexpr SpaceTable kSpaces{};
inline bool IsSpace(unsigned char c) { return kSpaces.is[c]; }

// Where a "%s" of a pattern stores its token.
struct Field {
  char* dst = nullptr;
  size_t size = 0;
  Field() = default;
  Field(char* d, size_t n) : dst(d), size(n) {}
  template <size_t N>
  Field(char (&d)[N]) : dst(d), size(N) {}  // NOLINT: a fixed field converts on purpose
};

class FormatScanner {
 public:
  // Reads an exact-size buffer in memory; nothing past data + len is ever touched.
  FormatScanner(const char* data, size_t len);
  // Reads an open file in large chunks.
  explicit FormatScanner(FILE* file);
  FormatScanner(const FormatScanner&) = delete;
  FormatScanner& operator=(const FormatScanner&) = delete;

  // Runs one pattern with up to two "%s" fields. Returns how many fields were stored; a
  // field whose token was not reached keeps its content.
  int Scan(const char* pattern, Field first, Field second = Field());

  // True when the file could not be read at all (a read error before any byte, such as
  // a directory opened as a file).
  bool ReadFailed() const { return read_failed_; }

 private:
  void SkipSpace();
  bool ReadToken(Field field);
  bool Refill();

  static constexpr size_t kChunk = 16 * 1024;  // more than a full file; small enough for any stack
  FILE* file_ = nullptr;
  const char* data_ = nullptr;
  size_t len_ = 0;
  size_t pos_ = 0;
  bool io_error_ = false;
  bool read_failed_ = false;
  char chunk_[kChunk];
};

}  // namespace settings_text
