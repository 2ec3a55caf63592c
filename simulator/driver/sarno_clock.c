/* The driver's clock, its model lock and the timer thread that lets scenario time pass. */
#include "simulator/driver/sarno_driver.h"

/* Milliseconds of the performance counter: monotonic on both platforms. (Wine's
 * KeQueryInterruptTime answers in ticks rather than 100 ns units, so it cannot serve.) */
ULONGLONG sarno_now_ms(void) {
  LARGE_INTEGER freq;
  ULONGLONG count = (ULONGLONG)KeQueryPerformanceCounter(&freq).QuadPart;
  ULONGLONG f = (ULONGLONG)freq.QuadPart;
  if (f == 0) return 0;
  return count / f * 1000u + count % f * 1000u / f;
}

/* The model lock is a synchronization event (one waiter passes, then it is clear again)
 * rather than a kernel mutex: Wine's kernel mutex, contended by the dispatch and timer
 * threads, left both waiting. Nothing takes the lock twice on one thread. */
void sarno_lock_init(struct sarno_driver* d) {
  KeInitializeEvent(&d->model_lock, SynchronizationEvent, TRUE);
}

void sarno_lock(struct sarno_driver* d) {
  KeWaitForSingleObject(&d->model_lock, Executive, KernelMode, FALSE, NULL);
}

void sarno_unlock(struct sarno_driver* d) { KeSetEvent(&d->model_lock, IO_NO_INCREMENT, FALSE); }

/* Every tick: fire the scenario's due events, finish requests whose busy time is over and
 * complete reads that became ready. Ends when the unload sets `stopping`. */
static VOID NTAPI timer_main(PVOID context) {
  struct sarno_driver* d = context;
  LARGE_INTEGER period;
  period.QuadPart = -(LONGLONG)SARNO_TICK_MS * 10000;
  while (!d->stopping) {
    ULONGLONG now;
    KeDelayExecutionThread(KernelMode, FALSE, &period);
    if (d->stopping) break;
    now = sarno_now_ms();
    sarno_lock(d);
    sim_tick(&d->model, now);
    sarno_follow_plugs(d);
    sarno_serve(d, now);
    sarno_unlock(d);
  }
  sarno_leave(d); /* entered for it by sarno_start_timer */
  PsTerminateSystemThread(STATUS_SUCCESS);
}

NTSTATUS sarno_start_timer(struct sarno_driver* d) {
  NTSTATUS st;
  /* Counted as inside from now: an unload may come before the thread has run at all. */
  sarno_enter(d);
  st = PsCreateSystemThread(&d->timer_thread, THREAD_ALL_ACCESS, NULL, NULL, NULL, timer_main, d);
  if (!NT_SUCCESS(st)) {
    sarno_leave(d);
    d->timer_thread = NULL;
  }
  return st;
}

/* Tells the thread to end; the unload then waits until it has left the driver's code
 * (sarno_wait_until_outside). A wait on the thread object did not hold under Wine: the
 * 32-bit thread was seen ticking after it, and referencing the object faults on 64-bit. */
void sarno_stop_timer(struct sarno_driver* d) {
  InterlockedExchange((LONG*)&d->stopping, 1);
  if (d->timer_thread) {
    ZwClose(d->timer_thread);
    d->timer_thread = NULL;
  }
}
