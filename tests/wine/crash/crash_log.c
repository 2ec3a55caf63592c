/* The prefix's crash recorder. Wine starts the registered post-mortem debugger for any
 * process that dies of an unhandled exception, whatever its code: an access violation
 * natively, an illegal instruction under an emulator. This one appends a line naming the
 * process to C:\crashes.log and lets it end, so that a test can tell a crash anywhere in the
 * prefix (the driver host included) from a clean run.
 *
 *   crash_log PID EVENT   as the post-mortem debugger
 *   crash_log --crash     dies of a write through a null pointer (to show the above works) */
#include <windows.h>
#include <psapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "--crash") == 0) {
    volatile int* nowhere = NULL;
    *nowhere = 1;
    return 0;
  }
  if (argc < 3) {
    fprintf(stderr, "usage: crash_log PID EVENT | --crash\n");
    return 2;
  }
  DWORD pid = strtoul(argv[1], NULL, 10);
  HANDLE event = (HANDLE)(ULONG_PTR)strtoul(argv[2], NULL, 10);
  char name[MAX_PATH] = "?";
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (process) {
    if (!GetModuleFileNameExA(process, NULL, name, sizeof name) &&
        !GetProcessImageFileNameA(process, name, sizeof name))
      strcpy(name, "?");
    CloseHandle(process);
  }
  FILE* log = fopen("C:\\crashes.log", "a");
  if (log) {
    fprintf(log, "crash: process %lu %s\n", (unsigned long)pid, name);
    fclose(log);
  }
  if (event) SetEvent(event);
  return 0;
}
