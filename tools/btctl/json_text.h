// Texts from outside (a settings file, a printer's answer) as JSON strings: quotes,
// backslashes and every byte outside printable ASCII are escaped, so that the output stays
// valid JSON whatever the bytes were.
#pragma once
#include <cstddef>
#include <cstdio>

void JsonText(FILE* out, const char* text);
// The same for len bytes that may hold NULs.
void JsonBytes(FILE* out, const unsigned char* bytes, size_t len);
