/* A C application linked against libMendalix.dll.a, calling every export once with no
 * driver installed. Exit status 0 when each gives the expected result. */
#include <stdio.h>

#include "Mendalix.h"

int main(void) {
  int value = 0;
  int failures = 0;
  int r;
  if ((r = BT_long(&value)) != 3) { printf("BT_long gave %d\n", r); ++failures; }
  if ((r = BT_OnQuery("COM1", "NONE")) != MENDALIX_LINK_NO_DRIVER) { printf("BT_OnQuery gave %d\n", r); ++failures; }
  if ((r = BT_OnConnect("COM2", "NULL")) != MENDALIX_LINK_NO_DRIVER) { printf("BT_OnConnect gave %d\n", r); ++failures; }
  if ((r = BT_OnMonitor("COM3", "MON_ON")) != MENDALIX_LINK_NO_DRIVER) { printf("BT_OnMonitor gave %d\n", r); ++failures; }
  if ((r = BT_OnReset("COM4", "NONE")) != MENDALIX_LINK_NO_DRIVER) { printf("BT_OnReset gave %d\n", r); ++failures; }
  printf("%s\n", failures ? "FAILED" : "all five exports answered");
  return failures ? 1 : 0;
}
