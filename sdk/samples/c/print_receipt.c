/* print_receipt: a first program that prints on a wireless receipt printer through
 * Mendalix.dll. It asks the port's terminal dongle which printers are in range, connects the
 * port to the printer given, prints a few lines through the port and drops the link again.
 *
 *   print_receipt COM1 0080372A0011
 *
 * The same source builds a 32-bit program, which loads Mendalix.dll, and a 64-bit one, which
 * loads the 64-bit library (x64\Mendalix.dll in the install folder; ship it beside the
 * program as Mendalix.dll). With MinGW, from here:
 *   i686-w64-mingw32-gcc -I../.. print_receipt.c ../../libMendalix.dll.a -ladvapi32
 *   x86_64-w64-mingw32-gcc -I../.. print_receipt.c ../../x64/libMendalix.dll.a -ladvapi32
 * With another toolchain, link ../../Mendalix.lib or ../../x64/Mendalix.lib instead. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "Mendalix.h"

/* A query's findings are not returned: the driver writes them into the settings file that
 * its registry value BTiniPath names. */
static void ShowWhereFindingsAre(void) {
  HKEY key;
  char path[MAX_PATH + 8];
  DWORD type = 0, size = sizeof path - 1;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, MENDALIX_REG_KEY, 0, KEY_QUERY_VALUE, &key);
  if (rc == ERROR_SUCCESS) {
    rc = RegQueryValueExA(key, MENDALIX_REG_INI_PATH, NULL, &type, (BYTE*)path, &size);
    RegCloseKey(key);
  }
  if (rc != ERROR_SUCCESS || type != REG_SZ) {
    printf("BTiniPath is not set: the installer or the setup program sets it\n");
    return;
  }
  path[size] = '\0'; /* the stored text need not end with a zero */
  printf("the printers found are listed in %s\n",
         strncmp(path, "\\??\\", 4) == 0 ? path + 4 : path);
}

/* Once the link is up, the port is an ordinary serial port; it has one opener at a time, so
 * it is opened only to print and closed straight after. */
static HANDLE OpenPort(const char* port) {
  char name[16];
  DCB dcb;
  COMMTIMEOUTS timeouts = {0};
  HANDLE h;
  snprintf(name, sizeof name, "\\\\.\\%s", port);
  h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
  if (h == INVALID_HANDLE_VALUE) return h;
  memset(&dcb, 0, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  GetCommState(h, &dcb);
  dcb.BaudRate = 38400;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  timeouts.ReadTotalTimeoutConstant = 6000; /* no call waits for ever on a printer gone */
  timeouts.WriteTotalTimeoutConstant = 1000;
  if (!SetCommState(h, &dcb) || !SetCommTimeouts(h, &timeouts)) {
    CloseHandle(h);
    return INVALID_HANDLE_VALUE;
  }
  return h;
}

static int Print(const char* port) {
  static const char receipt[] =
      "Thank you for shopping with us\r\n"
      "1 x Coffee               2.50\r\n"
      "Total                    2.50\r\n\r\n\r\n";
  DWORD written = 0;
  HANDLE h = OpenPort(port);
  if (h == INVALID_HANDLE_VALUE) {
    printf("cannot open %s (error %lu): is another program holding it?\n", port, GetLastError());
    return 0;
  }
  BOOL ok =
      WriteFile(h, receipt, sizeof receipt - 1, &written, NULL) && written == sizeof receipt - 1;
  CloseHandle(h);
  printf("printed %lu of %u bytes on %s\n", written, (unsigned)(sizeof receipt - 1), port);
  return ok;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    printf("usage: print_receipt COM1 PRINTER-ADDRESS\n");
    return 2;
  }
  const char* port = argv[1];
  const char* printer = argv[2];

  /* Every call returns 0 for success or link status flags (MENDALIX_LINK_...). */
  int r = BT_OnQuery(port, "NONE");
  printf("BT_OnQuery(%s) = 0x%X\n", port, r);
  if (r != MENDALIX_LINK_OK) return 1;
  ShowWhereFindingsAre();

  r = BT_OnConnect(port, printer);
  printf("BT_OnConnect(%s, %s) = 0x%X\n", port, printer, r);
  if (r != MENDALIX_LINK_OK) return 1;

  int printed = Print(port);

  /* "NULL" drops the link; the driver answers "disconnected". */
  r = BT_OnConnect(port, "NULL");
  printf("BT_OnConnect(%s, NULL) = 0x%X\n", port, r);
  return printed && r == MENDALIX_LINK_DISCONNECTED ? 0 : 1;
}
