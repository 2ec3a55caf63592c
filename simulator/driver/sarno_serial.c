/* The virtual serial ports COM1..COM4 that the terminal dongle gives: the setup program
 * probes a port by opening it and setting its line and time-outs, so a port keeps what was
 * set and answers the standard serial requests. Nothing is ever received on it. */
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

static NTSTATUS control(struct sarno_serial* port, PIRP irp, PIO_STACK_LOCATION s) {
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
    case IOCTL_SERIAL_PURGE:
    case IOCTL_SERIAL_RESET_DEVICE:
      return sarno_complete(irp, STATUS_SUCCESS, 0);
    case IOCTL_SERIAL_GET_MODEMSTATUS:
    case IOCTL_SERIAL_GET_DTRRTS:
    case IOCTL_SERIAL_GET_COMMSTATUS:
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
      return sarno_complete(irp, STATUS_SUCCESS, 0);
    default:
      break;
  }
  /* A platform that opens the port despite a refused create still gets no use of it. */
  if (port->owner != s->FileObject) return sarno_complete(irp, STATUS_ACCESS_DENIED, 0);
  switch (s->MajorFunction) {
    case IRP_MJ_READ: return sarno_complete(irp, STATUS_SUCCESS, 0);
    case IRP_MJ_WRITE: return sarno_complete(irp, STATUS_SUCCESS, s->Parameters.Write.Length);
    case IRP_MJ_DEVICE_CONTROL: return control(port, irp, s);
    default: return sarno_complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
}
