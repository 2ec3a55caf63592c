// What a command wrote to a temporary file standing in for its stdout or stderr.
#pragma once
#include <cstdio>
#include <string>

// The file's bytes up to where the command left off; the file is closed.
inline std::string Text(FILE* f) {
  std::string s(static_cast<size_t>(ftell(f)), '\0');
  rewind(f);
  s.resize(fread(&s[0], 1, s.size(), f));
  fclose(f);
  return s;
}
