/* Control-device requests and reads. A request enters the model at once (so that the model
 * sees any overlap), is held for the scenario's busy time without blocking the dispatch
 * thread, and is then answered by the model. A read that finds no text waits in a queue of
 * its device until the model has text or a stop for it, or until it is cancelled. */
#include "simulator/driver/sarno_driver.h"

NTSTATUS sarno_complete(PIRP irp, NTSTATUS status, ULONG_PTR bytes) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = bytes;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

static NTSTATUS model_status(int st) {
  switch (st) {
    case SIM_DONE: return STATUS_SUCCESS;
    case SIM_BAD_BUFFER: return STATUS_BUFFER_TOO_SMALL;
    case SIM_NO_DEVICE: return STATUS_NO_SUCH_DEVICE;
    default: return STATUS_INVALID_DEVICE_REQUEST;
  }
}

/* ---- diagnostics ------------------------------------------------------------------- */

static uint32_t note_arrival(struct sarno_driver* d, int device, uint32_t code, ULONGLONG now) {
  uint32_t i = d->timing_count++;
  struct sarno_timing* t = &d->timing[i % SARNO_TIMING_SIZE];
  t->at_ms = (uint32_t)(now - d->start_ms);
  t->device = (uint32_t)device;
  t->code = code;
  t->result = 0;
  return i;
}

static void note_result(struct sarno_driver* d, uint32_t i, uint32_t code, const void* out,
                        uint32_t returned) {
  uint32_t word = 0;
  if (d->timing_count - i > SARNO_TIMING_SIZE) return; /* overwritten meanwhile */
  if ((code == IOCTL_SARNO_PCON || code == IOCTL_SARNO_RESET || code == IOCTL_SARNO_PINQ) &&
      returned >= 4)
    RtlCopyMemory(&word, out, 4);
  d->timing[i % SARNO_TIMING_SIZE].result = word;
}

static NTSTATUS diagnostics(struct sarno_driver* d, PIRP irp, ULONG out_len) {
  struct sarno_diagnostics* r = irp->AssociatedIrp.SystemBuffer;
  uint32_t n, first, i, k;
  int dev;
  if (out_len < sizeof *r || !r) return sarno_complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
  RtlZeroMemory(r, sizeof *r);
  sarno_lock(d);
  r->size = sizeof *r;
  r->now_ms = (uint32_t)(sarno_now_ms() - d->start_ms);
  r->overlaps = d->model.stats.overlaps;
  for (k = 0; k < 6; ++k) r->requests[k] = d->model.stats.requests[k];
  r->settings_writes = d->model.stats.settings_writes;
  r->settings_failures = d->model.stats.settings_failures;
  for (dev = 0; dev < SIM_DEVICE_COUNT; ++dev) r->reads_queued += (uint32_t)d->read_count[dev];
  r->reads_completed = d->reads_completed;
  r->reads_cancelled = d->reads_cancelled;
  r->timing_count = d->timing_count;
  n = d->timing_count < SARNO_TIMING_SIZE ? d->timing_count : SARNO_TIMING_SIZE;
  first = d->timing_count - n;
  for (i = 0; i < n; ++i) r->timing[i] = d->timing[(first + i) % SARNO_TIMING_SIZE];
  sarno_unlock(d);
  return sarno_complete(irp, STATUS_SUCCESS, sizeof *r);
}

/* The roll of a port's printers: in, the COM index as 4 bytes; out, struct sarno_roll. */
static NTSTATUS roll(struct sarno_driver* d, PIRP irp, ULONG in_len, ULONG out_len) {
  struct sarno_roll* r = irp->AssociatedIrp.SystemBuffer;
  const unsigned char* bytes;
  uint32_t com = 0, len = 0, total = 0;
  typedef char roll_sizes_agree[SARNO_ROLL_SIZE == SIM_ROLL_SIZE ? 1 : -1];
  (void)sizeof(roll_sizes_agree);
  if (!r || in_len < sizeof com || out_len < sizeof *r)
    return sarno_complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
  RtlCopyMemory(&com, r, sizeof com);
  if (com >= SIM_PORT_COUNT) return sarno_complete(irp, STATUS_INVALID_PARAMETER, 0);
  RtlZeroMemory(r, sizeof *r);
  sarno_lock(d);
  bytes = sim_roll(&d->model, (int)com, &len, &total);
  r->size = sizeof *r;
  r->com_index = com;
  r->total = total;
  r->dropped = d->model.port[com].serial.dropped;
  r->len = len;
  if (bytes && len <= SARNO_ROLL_SIZE) RtlCopyMemory(r->bytes, bytes, len);
  sarno_unlock(d);
  return sarno_complete(irp, STATUS_SUCCESS, sizeof *r);
}

/* The next timed event now: out, struct sarno_next_event. */
static NTSTATUS next_event(struct sarno_driver* d, PIRP irp, ULONG out_len) {
  struct sarno_next_event* r = irp->AssociatedIrp.SystemBuffer;
  ULONGLONG now = sarno_now_ms();
  if (out_len < sizeof *r || !r) return sarno_complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
  RtlZeroMemory(r, sizeof *r);
  sarno_lock(d);
  r->fired = (uint32_t)sim_fire_next(&d->model, now);
  sarno_follow_plugs(d);
  sarno_serve(d, now);
  r->left = (uint32_t)(d->model.scenario.event_count - d->model.next_event);
  sarno_unlock(d);
  r->size = sizeof *r;
  return sarno_complete(irp, STATUS_SUCCESS, sizeof *r);
}

NTSTATUS sarno_sim_request(struct sarno_driver* d, PIRP irp) {
  PIO_STACK_LOCATION s = IoGetCurrentIrpStackLocation(irp);
  ULONG in_len = s->Parameters.DeviceIoControl.InputBufferLength;
  ULONG out_len = s->Parameters.DeviceIoControl.OutputBufferLength;
  switch (s->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_SARNO_DIAGNOSTICS: return diagnostics(d, irp, out_len);
    case IOCTL_SARNO_ROLL: return roll(d, irp, in_len, out_len);
    case IOCTL_SARNO_NEXT_EVENT: return next_event(d, irp, out_len);
    default: return sarno_complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
}

/* ---- waiting reads ----------------------------------------------------------------- */

static NTSTATUS refusal(struct sarno_driver* d, int device, PFILE_OBJECT file) {
  return sarno_wait_refusal(d, sarno_control_port(d, device), file);
}

static int device_of(PDEVICE_OBJECT dev) {
  return ((struct sarno_device*)dev->DeviceExtension)->number;
}

/* Removes irp from its device's queue if it is there. Caller holds irp_lock. */
static int unqueue_read(struct sarno_driver* d, int device, PIRP irp) {
  int i;
  for (i = 0; i < d->read_count[device]; ++i) {
    if (d->reads[device][i] != irp) continue;
    for (; i + 1 < d->read_count[device]; ++i) d->reads[device][i] = d->reads[device][i + 1];
    --d->read_count[device];
    return 1;
  }
  return 0;
}

static VOID NTAPI cancel_read(PDEVICE_OBJECT dev, PIRP irp) {
  struct sarno_driver* d = &g_sarno;
  int device = device_of(dev), found;
  KIRQL irql;
  sarno_enter(d);
  IoReleaseCancelSpinLock(irp->CancelIrql);
  KeAcquireSpinLock(&d->irp_lock, &irql);
  found = unqueue_read(d, device, irp);
  KeReleaseSpinLock(&d->irp_lock, irql);
  if (found) {
    /* the model hears of it at the next serve, which runs at PASSIVE_LEVEL */
    InterlockedIncrement(&d->reads_withdrawn[device]);
    InterlockedIncrement((LONG*)&d->reads_cancelled);
    sarno_complete(irp, STATUS_CANCELLED, 0);
  }
  sarno_leave(d);
}

/* Takes the oldest waiting read that is not being cancelled off the queue. */
static PIRP pop_read(struct sarno_driver* d, int device) {
  PIRP irp = NULL;
  KIRQL irql;
  int i;
  KeAcquireSpinLock(&d->irp_lock, &irql);
  for (i = 0; i < d->read_count[device]; ++i) {
    PIRP candidate = d->reads[device][i];
    if (IoSetCancelRoutine(candidate, NULL) == NULL) continue; /* its cancel routine has it */
    unqueue_read(d, device, candidate);
    irp = candidate;
    break;
  }
  KeReleaseSpinLock(&d->irp_lock, irql);
  return irp;
}

static void tell_withdrawn_reads(struct sarno_driver* d, int device) {
  LONG n = InterlockedExchange(&d->reads_withdrawn[device], 0);
  while (n-- > 0) sim_cancel_read(&d->model, device);
}

static void serve_reads(struct sarno_driver* d, int device) {
  tell_withdrawn_reads(d, device);
  while (sim_read_ready(&d->model, device)) {
    PIRP irp = pop_read(d, device);
    PIO_STACK_LOCATION s;
    uint32_t got = 0;
    if (!irp) break; /* every queued one is being cancelled; the next serve tells the model */
    s = IoGetCurrentIrpStackLocation(irp);
    if (sim_take_read(&d->model, device, irp->AssociatedIrp.SystemBuffer, s->Parameters.Read.Length,
                      &got) != SIM_READ_DONE) {
      /* cannot happen while sim_read_ready holds; end it rather than lose it */
      sim_cancel_read(&d->model, device);
      ++d->reads_cancelled;
      sarno_complete(irp, STATUS_CANCELLED, 0);
      continue;
    }
    ++d->reads_completed;
    sarno_complete(irp, STATUS_SUCCESS, got);
  }
}

NTSTATUS sarno_control_read(struct sarno_driver* d, int device, PIRP irp) {
  PIO_STACK_LOCATION s = IoGetCurrentIrpStackLocation(irp);
  ULONG len = s->Parameters.Read.Length;
  uint32_t got = 0;
  KIRQL irql;
  int st, queued = 0;
  NTSTATUS refused;
  if (len > 0 && !irp->AssociatedIrp.SystemBuffer)
    return sarno_complete(irp, STATUS_INVALID_USER_BUFFER, 0);
  sarno_lock(d);
  refused = refusal(d, device, s->FileObject);
  if (refused != STATUS_SUCCESS) {
    sarno_unlock(d);
    return sarno_complete(irp, refused, 0);
  }
  st = sim_read(&d->model, device, irp->AssociatedIrp.SystemBuffer, len, &got);
  if (st == SIM_READ_PENDING) {
    IoMarkIrpPending(irp);
    KeAcquireSpinLock(&d->irp_lock, &irql);
    if (d->read_count[device] < SARNO_READ_QUEUE) {
      d->reads[device][d->read_count[device]++] = irp;
      IoSetCancelRoutine(irp, cancel_read);
      queued = 1;
      /* cancelled before the routine was set: withdraw it ourselves */
      if (irp->Cancel && IoSetCancelRoutine(irp, NULL) != NULL) {
        unqueue_read(d, device, irp);
        queued = 0;
      }
    }
    KeReleaseSpinLock(&d->irp_lock, irql);
    if (!queued) {
      sim_cancel_read(&d->model, device);
      ++d->reads_cancelled;
      sarno_complete(irp, STATUS_CANCELLED, 0);
    }
    sarno_serve(d, sarno_now_ms());
    sarno_unlock(d);
    return STATUS_PENDING;
  }
  if (st == SIM_READ_DONE) ++d->reads_completed;
  sarno_serve(d, sarno_now_ms());
  sarno_unlock(d);
  if (st == SIM_READ_DONE) return sarno_complete(irp, STATUS_SUCCESS, got);
  return sarno_complete(irp, STATUS_NO_SUCH_DEVICE, 0);
}

/* Ends the waiting reads of file (NULL: of every handle) as cancelled; the model hears of
 * them unless it has forgotten them already (an unplug). Under the lock. */
static void end_reads(struct sarno_driver* d, int device, PFILE_OBJECT file, int tell_model) {
  PIRP ended[SARNO_READ_QUEUE];
  int n = 0, i;
  KIRQL irql;
  KeAcquireSpinLock(&d->irp_lock, &irql);
  for (i = 0; i < d->read_count[device];) {
    PIRP irp = d->reads[device][i];
    if ((file == NULL || IoGetCurrentIrpStackLocation(irp)->FileObject == file) &&
        IoSetCancelRoutine(irp, NULL) != NULL) {
      unqueue_read(d, device, irp);
      ended[n++] = irp;
    } else {
      ++i;
    }
  }
  KeReleaseSpinLock(&d->irp_lock, irql);
  for (i = 0; i < n; ++i) {
    if (tell_model) sim_cancel_read(&d->model, device);
    ++d->reads_cancelled;
    sarno_complete(ended[i], STATUS_CANCELLED, 0);
  }
}

/* A handle of the device was closed: its waiting reads end as cancelled. */
void sarno_control_cleanup(struct sarno_driver* d, int device, PFILE_OBJECT file) {
  sarno_lock(d);
  end_reads(d, device, file, 1);
  sarno_serve(d, sarno_now_ms());
  sarno_unlock(d);
}

/* ---- requests ---------------------------------------------------------------------- */

/* Answers one request from the model and leaves the request bracket. Under the lock. */
static NTSTATUS answer(struct sarno_driver* d, int device, PIRP irp, uint32_t timing) {
  PIO_STACK_LOCATION s = IoGetCurrentIrpStackLocation(irp);
  uint32_t code = s->Parameters.DeviceIoControl.IoControlCode;
  void* buf = irp->AssociatedIrp.SystemBuffer;
  uint32_t returned = 0;
  int st = sim_request(&d->model, device, code, buf, buf ? s->Parameters.DeviceIoControl.InputBufferLength : 0,
                       buf, buf ? s->Parameters.DeviceIoControl.OutputBufferLength : 0, &returned);
  sim_leave(&d->model);
  if (st == SIM_DONE) note_result(d, timing, code, buf, returned);
  return sarno_complete(irp, model_status(st), st == SIM_DONE ? returned : 0);
}

static VOID NTAPI cancel_busy(PDEVICE_OBJECT dev, PIRP irp) {
  struct sarno_driver* d = &g_sarno;
  KIRQL irql;
  int i, found = 0;
  (void)dev;
  sarno_enter(d);
  IoReleaseCancelSpinLock(irp->CancelIrql);
  KeAcquireSpinLock(&d->irp_lock, &irql);
  for (i = 0; i < SARNO_BUSY_SLOTS; ++i) {
    if (d->busy[i].irp == irp) {
      d->busy[i].irp = NULL;
      found = 1;
    }
  }
  KeReleaseSpinLock(&d->irp_lock, irql);
  if (found) {
    InterlockedIncrement(&d->busy_withdrawn);
    sarno_complete(irp, STATUS_CANCELLED, 0);
  }
  sarno_leave(d);
}

/* Holds irp until due; 0 when no slot is free (then it is answered at once). */
static int hold(struct sarno_driver* d, int device, PIRP irp, ULONGLONG due, uint32_t timing) {
  KIRQL irql;
  int i, held = 0, withdraw = 0;
  IoMarkIrpPending(irp);
  KeAcquireSpinLock(&d->irp_lock, &irql);
  for (i = 0; i < SARNO_BUSY_SLOTS && !held; ++i) {
    if (d->busy[i].irp) continue;
    d->busy[i].irp = irp;
    d->busy[i].device = device;
    d->busy[i].due_ms = due;
    d->busy[i].timing = timing;
    IoSetCancelRoutine(irp, cancel_busy);
    held = 1;
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL) != NULL) {
      d->busy[i].irp = NULL;
      withdraw = 1;
    }
  }
  KeReleaseSpinLock(&d->irp_lock, irql);
  if (withdraw) {
    sim_leave(&d->model);
    sarno_complete(irp, STATUS_CANCELLED, 0);
  }
  return held;
}

static void serve_busy(struct sarno_driver* d, ULONGLONG now) {
  LONG left = InterlockedExchange(&d->busy_withdrawn, 0);
  while (left-- > 0) sim_leave(&d->model);
  for (;;) {
    struct sarno_busy due;
    KIRQL irql;
    int i;
    due.irp = NULL;
    KeAcquireSpinLock(&d->irp_lock, &irql);
    for (i = 0; i < SARNO_BUSY_SLOTS; ++i) {
      if (!d->busy[i].irp || d->busy[i].due_ms > now) continue;
      if (IoSetCancelRoutine(d->busy[i].irp, NULL) == NULL) continue; /* being cancelled */
      due = d->busy[i];
      d->busy[i].irp = NULL;
      break;
    }
    KeReleaseSpinLock(&d->irp_lock, irql);
    if (!due.irp) return;
    answer(d, due.device, due.irp, due.timing);
  }
}

void sarno_serve(struct sarno_driver* d, ULONGLONG now) {
  int device;
  serve_busy(d, now);
  for (device = 0; device < SIM_DEVICE_COUNT; ++device) serve_reads(d, device);
  sarno_serial_serve(d, now);
}

NTSTATUS sarno_control_request(struct sarno_driver* d, int device, PIRP irp) {
  PIO_STACK_LOCATION s = IoGetCurrentIrpStackLocation(irp);
  uint32_t code = s->Parameters.DeviceIoControl.IoControlCode;
  ULONGLONG now = sarno_now_ms();
  uint32_t busy, timing;
  NTSTATUS st;
  if (code == IOCTL_SARNO_DIAGNOSTICS)
    return diagnostics(d, irp, s->Parameters.DeviceIoControl.OutputBufferLength);
  if (code == IOCTL_SARNO_ROLL)
    return roll(d, irp, s->Parameters.DeviceIoControl.InputBufferLength,
                s->Parameters.DeviceIoControl.OutputBufferLength);
  sarno_lock(d);
  st = refusal(d, device, s->FileObject);
  if (st != STATUS_SUCCESS) {
    sarno_unlock(d);
    return sarno_complete(irp, st, 0);
  }
  timing = note_arrival(d, device, code, now);
  sim_enter(&d->model);
  busy = sim_busy_ms(&d->model, code);
  if (busy > 0 && hold(d, device, irp, now + busy, timing)) {
    sarno_unlock(d);
    return STATUS_PENDING;
  }
  st = answer(d, device, irp, timing);
  sarno_serve(d, now);
  sarno_unlock(d);
  return st;
}

/* Ends the held requests of device (-1: of every device) as cancelled. Under the lock. */
static void end_busy(struct sarno_driver* d, int device) {
  PIRP ended[SARNO_BUSY_SLOTS];
  KIRQL irql;
  int n = 0, i;
  KeAcquireSpinLock(&d->irp_lock, &irql);
  for (i = 0; i < SARNO_BUSY_SLOTS; ++i) {
    /* one whose cancel routine already runs is left to that routine */
    if (d->busy[i].irp && (device < 0 || d->busy[i].device == device) &&
        IoSetCancelRoutine(d->busy[i].irp, NULL) != NULL) {
      ended[n++] = d->busy[i].irp;
      d->busy[i].irp = NULL;
    }
  }
  KeReleaseSpinLock(&d->irp_lock, irql);
  for (i = 0; i < n; ++i) {
    sim_leave(&d->model);
    sarno_complete(ended[i], STATUS_CANCELLED, 0);
  }
}

void sarno_end_removed(struct sarno_driver* d, int device) {
  InterlockedExchange(&d->reads_withdrawn[device], 0); /* the model has no reads to withdraw */
  end_reads(d, device, NULL, 0);
  end_busy(d, device);
}

void sarno_drain(struct sarno_driver* d) {
  int device;
  for (device = 0; device < SIM_PORT_COUNT; ++device) sarno_serial_cleanup(d, device, NULL);
  sarno_lock(d);
  for (device = 0; device < SIM_DEVICE_COUNT; ++device) end_reads(d, device, NULL, 1);
  end_busy(d, -1);
  sarno_unlock(d);
}
