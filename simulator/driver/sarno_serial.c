/* The virtual serial ports COM1..COM4 that the terminal dongle gives: the setup program
 * probes a port by opening it and setting its line and time-outs, so a port keeps what was
 * set and answers the standard serial requests. While the port's link is up, what is written
 * reaches the printer at its end and the printer's answers can be read; a read or write
 * that cannot finish at once is held until it can or its time-out, as the caller set it,
 * has passed (the timer thread looks every few milliseconds). */
#include "simulator/driver/sarno_driver.h"

#include <ntddser.h>

void sarno_serial_init(struct sarno_serial* port) {
  RtlZeroMemory(port, sizeof *port);
  port->baud = 19200;
  port->stop_bits = STOP_BIT_1;
  port->parity = NO_PARITY;
  port->word_length = 8;
  port->chars[4] = 0x11; /* XON */
  port->chars[5] = 0x13; /* XOFF */
  port->handflow[0] = SERIAL_DTR_CONTROL;
  port->handflow[1] = SERIAL_RTS_CONTROL;
}

/* Copies a setting out of or into the request's buffer; the lengths must fit. */
static NTSTATUS get(PIRP irp, ULONG out_len, const void* value, ULONG size) {
  if (out_len < size) return sarno_complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
  RtlCopyMemory(irp->AssociatedIrp.SystemBuffer, value, size);
  return sarno_complete(irp, STATUS_SUCCESS, size);
}

static NTSTATUS set(PIRP irp, ULONG in_len, void* value, ULONG size) {
  if (in_len < size) return sarno_complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
  RtlCopyMemory(value, irp->AssociatedIrp.SystemBuffer, size);
  return sarno_complete(irp, STATUS_SUCCESS, 0);
}

/* ---- reads and writes ---------------------------------------------------------------- */

static struct sim_timeouts timeouts_of(const struct sarno_serial* port) {
  struct sim_timeouts t;
  t.read_interval = port->timeouts[0];
  t.read_multiplier = port->timeouts[1];
  t.read_constant = port->timeouts[2];
  t.write_multiplier = port->timeouts[3];
  t.write_constant = port->timeouts[4];
  return t;
}

static int com_of(PDEVICE_OBJECT dev) { return ((struct sarno_device*)dev->DeviceExtension)->number; }

static VOID NTAPI cancel_held(PDEVICE_OBJECT dev, PIRP irp) {
  struct sarno_driver* d = &g_sarno;
  struct sarno_serial* port = &d->port[com_of(dev)];
  KIRQL irql;
  int found = 0;
  sarno_enter(d);
  IoReleaseCancelSpinLock(irp->CancelIrql);
  KeAcquireSpinLock(&d->irp_lock, &irql);
  if (port->read.irp == irp) {
    port->read.irp = NULL;
    found = 1;
  }
  if (port->write.irp == irp) {
    port->write.irp = NULL;
    found = 1;
  }
  KeReleaseSpinLock(&d->irp_lock, irql);
  if (found) sarno_complete(irp, STATUS_CANCELLED, 0);
  sarno_leave(d);
}

/* Holds irp in slot until due (wait ms from now); under the model lock. One read and one
 * write at a time: a second one is refused. */
static NTSTATUS hold(struct sarno_driver* d, int com, struct sarno_held_io* slot, PIRP irp,
                     ULONG len, uint32_t wait) {
  KIRQL irql;
  int withdrawn = 0;
  NTSTATUS refused = sarno_wait_refusal(d, com, IoGetCurrentIrpStackLocation(irp)->FileObject);
  if (refused != STATUS_SUCCESS) return sarno_complete(irp, refused, 0);
  KeAcquireSpinLock(&d->irp_lock, &irql);
  if (slot->irp) {
    KeReleaseSpinLock(&d->irp_lock, irql);
    return sarno_complete(irp, STATUS_DEVICE_BUSY, 0);
  }
  IoMarkIrpPending(irp);
  slot->irp = irp;
  slot->len = len;
  slot->file = IoGetCurrentIrpStackLocation(irp)->FileObject;
  slot->due_ms = wait == SIM_WAIT_FOREVER ? 0 : sarno_now_ms() + wait;
  if (slot->due_ms == 0 && wait != SIM_WAIT_FOREVER) slot->due_ms = 1;
  IoSetCancelRoutine(irp, cancel_held);
  if (irp->Cancel && IoSetCancelRoutine(irp, NULL) != NULL) {
    slot->irp = NULL;
    withdrawn = 1;
  }
  KeReleaseSpinLock(&d->irp_lock, irql);
  if (withdrawn) sarno_complete(irp, STATUS_CANCELLED, 0);
  return STATUS_PENDING;
}

/* Takes the held irp out of slot unless its cancel routine has it. */
static PIRP take(struct sarno_driver* d, struct sarno_held_io* slot) {
  PIRP irp;
  KIRQL irql;
  KeAcquireSpinLock(&d->irp_lock, &irql);
  irp = slot->irp;
  if (irp && IoSetCancelRoutine(irp, NULL) == NULL) irp = NULL; /* being cancelled */
  if (irp) slot->irp = NULL;
  KeReleaseSpinLock(&d->irp_lock, irql);
  return irp;
}

static NTSTATUS serial_read(struct sarno_driver* d, int com, struct sarno_serial* port, PIRP irp,
                            PIO_STACK_LOCATION s) {
  ULONG len = s->Parameters.Read.Length;
  void* buf = irp->AssociatedIrp.SystemBuffer;
  struct sim_timeouts t = timeouts_of(port);
  uint32_t wait = sim_read_wait_ms(&t, len), got;
  NTSTATUS st;
  if (len > 0 && !buf) return sarno_complete(irp, STATUS_INVALID_USER_BUFFER, 0);
  sarno_lock(d);
  if (len == 0 || wait == 0 || sim_read_ends(&t, sim_serial_waiting(&d->model, com), len)) {
    got = sim_serial_read(&d->model, com, buf, len);
    sarno_unlock(d);
    return sarno_complete(irp, STATUS_SUCCESS, got);
  }
  st = hold(d, com, &port->read, irp, len, wait);
  sarno_unlock(d);
  return st;
}

static NTSTATUS serial_write(struct sarno_driver* d, int com, struct sarno_serial* port, PIRP irp,
                             PIO_STACK_LOCATION s) {
  ULONG len = s->Parameters.Write.Length;
  const void* buf = irp->AssociatedIrp.SystemBuffer;
  struct sim_timeouts t = timeouts_of(port);
  NTSTATUS st;
  if (len > 0 && !buf) return sarno_complete(irp, STATUS_INVALID_USER_BUFFER, 0);
  sarno_lock(d);
  if (len == 0 || sim_serial_write(&d->model, com, buf, len) == len) {
    sarno_serial_serve(d, sarno_now_ms()); /* a held read may have its answer now */
    sarno_unlock(d);
    return sarno_complete(irp, STATUS_SUCCESS, len);
  }
  /* the link is down: the write waits for it until its time-out */
  st = hold(d, com, &port->write, irp, len, sim_write_wait_ms(&t, len));
  sarno_unlock(d);
  return st;
}

void sarno_serial_serve(struct sarno_driver* d, ULONGLONG now) {
  int com;
  for (com = 0; com < SIM_PORT_COUNT; ++com) {
    struct sarno_serial* port = &d->port[com];
    struct sim_timeouts t = timeouts_of(port);
    PIRP irp;
    if (port->write.irp) {
      int up = sim_link_up(&d->model, com);
      if ((up || (port->write.due_ms && now >= port->write.due_ms)) && (irp = take(d, &port->write))) {
        /* timed out: a serial driver completes the write with what it wrote, here nothing */
        ULONG n = up ? sim_serial_write(&d->model, com, irp->AssociatedIrp.SystemBuffer,
                                        port->write.len) : 0;
        sarno_complete(irp, STATUS_SUCCESS, n);
      }
    }
    if (port->read.irp) {
      ULONG len = port->read.len;
      int ends = sim_read_ends(&t, sim_serial_waiting(&d->model, com), len) ||
                 (port->read.due_ms && now >= port->read.due_ms);
      if (ends && (irp = take(d, &port->read))) {
        uint32_t got = sim_serial_read(&d->model, com, irp->AssociatedIrp.SystemBuffer, len);
        sarno_complete(irp, STATUS_SUCCESS, got);
      }
    }
  }
}

/* Ends the held reads and writes of file (every one when NULL) with status. Under the lock. */
static void end_held(struct sarno_driver* d, int com_index, PFILE_OBJECT file, NTSTATUS status) {
  struct sarno_serial* port = &d->port[com_index];
  struct sarno_held_io* slots[2];
  int i;
  slots[0] = &port->read;
  slots[1] = &port->write;
  for (i = 0; i < 2; ++i) {
    PIRP irp;
    if (!slots[i]->irp || (file && slots[i]->file != file)) continue;
    irp = take(d, slots[i]);
    if (irp) sarno_complete(irp, status, 0);
  }
}

void sarno_serial_cleanup(struct sarno_driver* d, int com_index, PFILE_OBJECT file) {
  sarno_lock(d);
  end_held(d, com_index, file, STATUS_CANCELLED);
  sarno_unlock(d);
}

void sarno_serial_removed(struct sarno_driver* d, int com_index) {
  end_held(d, com_index, NULL, STATUS_CANCELLED);
}

/* ---- serial requests ------------------------------------------------------------------ */

static NTSTATUS control(struct sarno_driver* d, int com, struct sarno_serial* port, PIRP irp,
                        PIO_STACK_LOCATION s) {
  ULONG in = s->Parameters.DeviceIoControl.InputBufferLength;
  ULONG out = s->Parameters.DeviceIoControl.OutputBufferLength;
  SERIAL_LINE_CONTROL line;
  switch (s->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_SERIAL_GET_BAUD_RATE: return get(irp, out, &port->baud, sizeof port->baud);
    case IOCTL_SERIAL_SET_BAUD_RATE: return set(irp, in, &port->baud, sizeof port->baud);
    case IOCTL_SERIAL_GET_LINE_CONTROL:
      line.StopBits = port->stop_bits;
      line.Parity = port->parity;
      line.WordLength = port->word_length;
      return get(irp, out, &line, sizeof line);
    case IOCTL_SERIAL_SET_LINE_CONTROL:
      if (in < sizeof line) return sarno_complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
      RtlCopyMemory(&line, irp->AssociatedIrp.SystemBuffer, sizeof line);
      port->stop_bits = line.StopBits;
      port->parity = line.Parity;
      port->word_length = line.WordLength;
      return sarno_complete(irp, STATUS_SUCCESS, 0);
    case IOCTL_SERIAL_GET_CHARS: return get(irp, out, port->chars, sizeof port->chars);
    case IOCTL_SERIAL_SET_CHARS: return set(irp, in, port->chars, sizeof port->chars);
    case IOCTL_SERIAL_GET_HANDFLOW: return get(irp, out, port->handflow, sizeof port->handflow);
    case IOCTL_SERIAL_SET_HANDFLOW: return set(irp, in, port->handflow, sizeof port->handflow);
    case IOCTL_SERIAL_GET_TIMEOUTS: return get(irp, out, port->timeouts, sizeof port->timeouts);
    case IOCTL_SERIAL_SET_TIMEOUTS: return set(irp, in, port->timeouts, sizeof port->timeouts);
    case IOCTL_SERIAL_GET_WAIT_MASK: return get(irp, out, &port->wait_mask, sizeof port->wait_mask);
    case IOCTL_SERIAL_SET_WAIT_MASK: return set(irp, in, &port->wait_mask, sizeof port->wait_mask);
    case IOCTL_SERIAL_SET_RTS:
    case IOCTL_SERIAL_CLR_RTS:
    case IOCTL_SERIAL_SET_DTR:
    case IOCTL_SERIAL_CLR_DTR:
    case IOCTL_SERIAL_SET_XON:
    case IOCTL_SERIAL_SET_XOFF:
    case IOCTL_SERIAL_SET_BREAK_ON:
    case IOCTL_SERIAL_SET_BREAK_OFF:
    case IOCTL_SERIAL_SET_QUEUE_SIZE:
    case IOCTL_SERIAL_RESET_DEVICE:
      return sarno_complete(irp, STATUS_SUCCESS, 0);
    case IOCTL_SERIAL_PURGE:
      sarno_lock(d);
      sim_serial_purge(&d->model, com);
      sarno_unlock(d);
      return sarno_complete(irp, STATUS_SUCCESS, 0);
    case IOCTL_SERIAL_GET_COMMSTATUS:
      if (out < sizeof(SERIAL_STATUS) || !irp->AssociatedIrp.SystemBuffer)
        return sarno_complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
      RtlZeroMemory(irp->AssociatedIrp.SystemBuffer, sizeof(SERIAL_STATUS));
      sarno_lock(d);
      ((SERIAL_STATUS*)irp->AssociatedIrp.SystemBuffer)->AmountInInQueue =
          sim_serial_waiting(&d->model, com);
      sarno_unlock(d);
      return sarno_complete(irp, STATUS_SUCCESS, sizeof(SERIAL_STATUS));
    case IOCTL_SERIAL_GET_MODEMSTATUS:
    case IOCTL_SERIAL_GET_DTRRTS:
    case IOCTL_SERIAL_GET_PROPERTIES:
      /* nothing pending, no modem lines: all zero */
      if (out > 0 && irp->AssociatedIrp.SystemBuffer) RtlZeroMemory(irp->AssociatedIrp.SystemBuffer, out);
      return sarno_complete(irp, STATUS_SUCCESS, out);
    default:
      return sarno_complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
}

NTSTATUS sarno_serial_dispatch(struct sarno_driver* d, int com_index, PIRP irp) {
  PIO_STACK_LOCATION s = IoGetCurrentIrpStackLocation(irp);
  struct sarno_serial* port = &d->port[com_index];
  NTSTATUS st = STATUS_SUCCESS;
  switch (s->MajorFunction) {
    case IRP_MJ_CREATE:
      /* a serial port has one opener at a time */
      if (InterlockedCompareExchangePointer((PVOID*)&port->owner, s->FileObject, NULL) != NULL)
        st = STATUS_ACCESS_DENIED;
      return sarno_complete(irp, st, 0);
    case IRP_MJ_CLOSE:
      (void)InterlockedCompareExchangePointer((PVOID*)&port->owner, NULL, s->FileObject);
      return sarno_complete(irp, STATUS_SUCCESS, 0);
    case IRP_MJ_CLEANUP:
      sarno_serial_cleanup(d, com_index, s->FileObject);
      return sarno_complete(irp, STATUS_SUCCESS, 0);
    default:
      break;
  }
  /* A platform that opens the port despite a refused create still gets no use of it. */
  if (port->owner != s->FileObject) return sarno_complete(irp, STATUS_ACCESS_DENIED, 0);
  switch (s->MajorFunction) {
    case IRP_MJ_READ: return serial_read(d, com_index, port, irp, s);
    case IRP_MJ_WRITE: return serial_write(d, com_index, port, irp, s);
    case IRP_MJ_DEVICE_CONTROL: return control(d, com_index, port, irp, s);
    default: return sarno_complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
}
