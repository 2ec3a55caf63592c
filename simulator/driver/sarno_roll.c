/* sarno_roll COM<k> [--raw]: what the printers at the end of COM<k>'s link printed, as the
 * simulated driver keeps it: the text with the ESC/POS commands as tags, or with --raw the
 * bytes themselves. A user-mode tool of the simulator (scripts/simulator roll runs it). */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "simulator/driver/sarno_diagnostics.h"
#include "simulator/model/sim_model.h"

static struct sarno_roll roll;
static char text[SARNO_ROLL_SIZE * 6 + 1];

int main(int argc, char** argv) {
  int raw = argc == 3 && strcmp(argv[2], "--raw") == 0, n;
  DWORD got = 0;
  uint32_t com;
  HANDLE h = INVALID_HANDLE_VALUE;
  if ((argc != 2 && !raw) || strncmp(argv[1], "COM", 3) != 0 || argv[1][3] < '1' ||
      argv[1][3] > '4' || argv[1][4] != '\0') {
    fprintf(stderr, "usage: sarno_roll COM1..COM4 [--raw]\n");
    return 2;
  }
  com = (uint32_t)(argv[1][3] - '1');
  for (n = 0; n < SARNO_DEVICE_COUNT && h == INVALID_HANDLE_VALUE; ++n) {
    char name[16];
    snprintf(name, sizeof name, "\\\\.\\Sarno%d", n);
    h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                    OPEN_EXISTING, 0, NULL);
  }
  if (h == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "sarno_roll: no control device of the simulated driver opens\n");
    return 1;
  }
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
