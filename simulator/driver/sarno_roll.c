/* The simulator's user-mode tool (scripts/simulator runs it):
 *   sarno_roll COM<k> [--raw]   what the printers at the end of COM<k>'s link printed, as the
 *                               simulated driver keeps it: the text with the ESC/POS commands
 *                               as tags, or with --raw the bytes themselves
 *   sarno_roll ready N...       exit 0 when each control device \\.\Sarno<N> opens and answers
 *   sarno_roll next             the scenario's next timed event fires now; prints how many
 *                               fired and how many are still to come */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "simulator/driver/sarno_diagnostics.h"
#include "simulator/model/sim_model.h"

static struct sarno_roll roll;
static struct sarno_diagnostics diagnostics;
static char text[SARNO_ROLL_SIZE * 6 + 1];

static HANDLE open_device(const char* name) {
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                     OPEN_EXISTING, 0, NULL);
}

/* Each named control device opens and answers the diagnostic request. */
static int ready(int argc, char** argv) {
  int i;
  for (i = 2; i < argc; ++i) {
    char name[16];
    DWORD got = 0;
    HANDLE h;
    BOOL ok;
    snprintf(name, sizeof name, "\\\\.\\Sarno%d", atoi(argv[i]));
    h = open_device(name);
    if (h == INVALID_HANDLE_VALUE) {
      fprintf(stderr, "sarno_roll: %s does not open\n", name);
      return 1;
    }
    ok = DeviceIoControl(h, IOCTL_SARNO_DIAGNOSTICS, NULL, 0, &diagnostics, sizeof diagnostics,
                         &got, NULL);
    CloseHandle(h);
    if (!ok || got < sizeof diagnostics) {
      fprintf(stderr, "sarno_roll: %s does not answer\n", name);
      return 1;
    }
  }
  return 0;
}

static int next(HANDLE h) {
  struct sarno_next_event r;
  DWORD got = 0;
  if (!DeviceIoControl(h, IOCTL_SARNO_NEXT_EVENT, NULL, 0, &r, sizeof r, &got, NULL) ||
      got < sizeof r) {
    fprintf(stderr, "sarno_roll: the driver does not fire events on request\n");
    return 1;
  }
  printf("fired %lu, %lu to come\n", (unsigned long)r.fired, (unsigned long)r.left);
  return 0;
}

int main(int argc, char** argv) {
  int raw = argc == 3 && strcmp(argv[2], "--raw") == 0, is_next = argc == 2 && strcmp(argv[1], "next") == 0, code;
  DWORD got = 0;
  uint32_t com = 0;
  HANDLE h;
  if (argc >= 2 && strcmp(argv[1], "ready") == 0) return ready(argc, argv);
  if (!is_next && ((argc != 2 && !raw) || strncmp(argv[1], "COM", 3) != 0 || argv[1][3] < '1' ||
                   argv[1][3] > '4' || argv[1][4] != '\0')) {
    fprintf(stderr, "usage: sarno_roll COM1..COM4 [--raw] | ready N... | next\n");
    return 2;
  }
  h = open_device(SARNO_SIM_DEVICE);
  if (h == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "sarno_roll: the simulated driver's device does not open\n");
    return 1;
  }
  if (is_next) {
    code = next(h);
    CloseHandle(h);
    return code;
  }
  com = (uint32_t)(argv[1][3] - '1');
  memcpy(&roll, &com, sizeof com);
  if (!DeviceIoControl(h, IOCTL_SARNO_ROLL, &roll, sizeof roll, &roll, sizeof roll, &got, NULL) ||
      got < sizeof roll || roll.len > SARNO_ROLL_SIZE) {
    fprintf(stderr, "sarno_roll: the driver does not give the roll\n");
    CloseHandle(h);
    return 1;
  }
  CloseHandle(h);
  if (raw) {
    fwrite(roll.bytes, 1, roll.len, stdout);
    return 0;
  }
  sim_render_roll(roll.bytes, roll.len, text, sizeof text);
  printf("COM%u roll: %lu bytes printed, %lu dropped while the printer was stopped%s\n",
         (unsigned)com + 1, (unsigned long)roll.total, (unsigned long)roll.dropped,
         roll.total > roll.len ? " (only the latest kept)" : "");
  fputs(text, stdout);
  if (roll.len > 0 && text[strlen(text) - 1] != '\n') fputc('\n', stdout);
  return 0;
}
