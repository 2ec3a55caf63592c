// The setup program's own result lines, apart: its header and the library's cannot meet in
// one file.
#include <string>

#include "setup/dialog/QuorvexDlg.h"

std::string ProgramLine(uint32_t word, int port) {
  char line[64];
  CQuorvexDlg::FormatLinkResult(word, port, line, sizeof line);
  return line;
}
