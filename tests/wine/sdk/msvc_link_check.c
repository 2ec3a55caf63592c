/* A program built by another toolchain than MinGW (clang for the MSVC target, linked by
 * lld-link against Mendalix.lib), with no C runtime at all: the header's prototypes (stdcall
 * on 32-bit) must meet the library's undecorated exports through that import library, built
 * 32-bit and 64-bit. Against the simulated driver (two_ports scenario): query COM1, connect
 * it, drop the link.
 * Exit status 0 when each call answers as expected. */
#include "Mendalix.h"

/* The three calls of kernel32 it needs, declared here: there is no Windows SDK. */
typedef void* HANDLE;
__declspec(dllimport) HANDLE __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(HANDLE file, const void* data, unsigned long size,
                                              unsigned long* written, void* overlapped);
__declspec(dllimport) void __stdcall ExitProcess(unsigned code);

/* Writes "what = 0xNNNNNNNN" and says whether result is the one wanted. */
static int Check(const char* what, int result, int wanted) {
  char line[80];
  unsigned long n = 0, written;
  while (what[n] && n < 50) {
    line[n] = what[n];
    ++n;
  }
  const char* tail = result == wanted ? " = 0x" : " = unexpected 0x";
  for (const char* t = tail; *t; ++t) line[n++] = *t;
  for (int shift = 28; shift >= 0; shift -= 4)
    line[n++] = "0123456789ABCDEF"[(result >> shift) & 0xF];
  line[n++] = '\r';
  line[n++] = '\n';
  WriteFile(GetStdHandle((unsigned long)-11), line, n, &written, 0);
  return result == wanted;
}

void __cdecl Start(void) {
  int value = 0;
  int ok = Check("BT_long", BT_long(&value), 3);
  ok &= Check("BT_OnQuery(COM1, NONE)", BT_OnQuery("COM1", "NONE"), MENDALIX_LINK_OK);
  ok &= Check("BT_OnConnect(COM1, 0080372A0011)", BT_OnConnect("COM1", "0080372A0011"),
              MENDALIX_LINK_OK);
  ok &= Check("BT_OnMonitor(COM1, MON_OFF)", BT_OnMonitor("COM1", "MON_OFF") != 0, 1);
  ok &= Check("BT_OnReset(COM2, NONE)", BT_OnReset("COM2", "NONE"), MENDALIX_LINK_OK);
  ok &= Check("BT_OnConnect(COM1, NULL)", BT_OnConnect("COM1", "NULL"), MENDALIX_LINK_DISCONNECTED);
  ExitProcess(ok ? 0 : 1);
}
