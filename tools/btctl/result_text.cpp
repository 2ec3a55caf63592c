#include "tools/btctl/result_text.h"

#include <cstring>

#include "library/include/Mendalix.h"

namespace {

struct FlagText {
  uint32_t flag;
  const char* text;
};

const FlagText kFlags[] = {
    {MENDALIX_LINK_NO_DRIVER, "no driver installed (the port has no control device)"},
    {MENDALIX_LINK_DISCONNECTED, "disconnected"},
    {MENDALIX_LINK_HOST_DONGLE_FAILED, "terminal dongle failed"},
    {MENDALIX_LINK_PRINTER_CONN_FAILED, "printer dongle connection failed"},
    {MENDALIX_LINK_ANSWER_BACK_FAILED, "printer answer-back failed"},
    {MENDALIX_LINK_MAINBOARD_UNSUPPORTED, "main board not supported"},
};

}  // namespace

void PrintLinkFlags(FILE* out, uint32_t word) {
  if (word == 0) {
    fprintf(out, "  0x000 success / connected\n");
    return;
  }
  uint32_t rest = word;
  for (const FlagText& f : kFlags) {
    if (word & f.flag) {
      fprintf(out, "  0x%03X %s\n", static_cast<unsigned>(f.flag), f.text);
      rest &= ~f.flag;
    }
  }
  if (rest) fprintf(out, "  0x%03X unlisted failure bits\n", static_cast<unsigned>(rest));
}

void PrintMonitorResult(FILE* out, uint32_t word) {
  if (word == MENDALIX_LINK_NO_DRIVER)
    fprintf(out, "  0x002 no driver installed (the port has no control device)\n");
  else if (word == MENDALIX_LINK_HOST_DONGLE_FAILED)
    fprintf(out, "  0x010 terminal dongle failed (its control device went away)\n");
  else if (word != 0)
    fprintf(out, "  the driver took the monitor command\n");
  else
    fprintf(out, "  the driver refused the monitor command\n");
}

int CallExitStatus(const char* command, const char* text, uint32_t word) {
  if (strcmp(command, "long") == 0) return word == 3 ? 0 : 1;
  if (strcmp(command, "monitor") == 0)
    return word != 0 && word != MENDALIX_LINK_NO_DRIVER && word != MENDALIX_LINK_HOST_DONGLE_FAILED
               ? 0
               : 1;
  bool drop = strcmp(command, "connect") == 0 &&
              (strcmp(text, "NULL") == 0 || strcmp(text, "NONE") == 0);
  if (drop) return (word & ~uint32_t{MENDALIX_LINK_DISCONNECTED}) == 0 ? 0 : 1;
  return word == 0 ? 0 : 1;
}

const char* LinkWords(uint32_t word) {
  if (word == 0) return "Connect Ok";
  static const FlagText kWords[] = {
      {0x2, "No Driver Installed...."},
      {0x4, "Disconnect Ok"},
      {0x10, "Terminal Dongle Failed...."},
      {0x20, "Printer Dongle Connection Failed...."},
      {0x40, "XK printer Answer Back Failed...."},
      {0x100, "MainBoard Not Support...."},
  };
  const char* text = "Unknow Fail....";
  for (const FlagText& f : kWords)
    if (word & f.flag) text = f.text;
  return text;
}

const char* StateLabel(uint32_t state) {
  if (state == 0) return "Conected";
  return state == 255 ? "None" : "DisConected";
}
