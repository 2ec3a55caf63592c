/* A terminal dongle pulled out and plugged back, as a removed USB device goes and a new one
 * comes: the port's DOS names (its control devices' and its serial port's) go, whatever waits
 * on them ends as cancelled, and a handle opened before fails every request from then on,
 * also after the names are back. New opens fail while the names are gone (Win32
 * ERROR_FILE_NOT_FOUND). The device objects stay until the unload, since open handles
 * still refer to them. */
#include "simulator/driver/sarno_driver.h"

int sarno_control_port(const struct sarno_driver* d, int device) {
  if (device < 0 || device >= SIM_DEVICE_COUNT || !d->scenario.device_present[device] ||
      d->scenario.device_index[device] >= SIM_PORT_COUNT)
    return -1;
  return (int)d->scenario.device_index[device];
}

int sarno_handle_removed(const struct sarno_driver* d, int com_index, PFILE_OBJECT file) {
  if (com_index < 0) return 0;
  if (d->unplugged[com_index]) return 1;
  return file && (ULONG_PTR)file->FsContext2 != d->unplugs_seen[com_index];
}

NTSTATUS sarno_wait_refusal(const struct sarno_driver* d, int com_index, PFILE_OBJECT file) {
  if (d->stopping) return STATUS_DELETE_PENDING;
  return sarno_handle_removed(d, com_index, file) ? SARNO_STATUS_REMOVED : STATUS_SUCCESS;
}

NTSTATUS sarno_check_handle(struct sarno_driver* d, int kind, int number, PIO_STACK_LOCATION s) {
  int com = kind == SARNO_SERIAL ? number : sarno_control_port(d, number);
  if (com < 0) return STATUS_SUCCESS;
  switch (s->MajorFunction) {
    case IRP_MJ_CREATE:
      if (d->unplugged[com]) return STATUS_NO_SUCH_DEVICE;
      if (s->FileObject) s->FileObject->FsContext2 = (PVOID)(ULONG_PTR)d->unplugs_seen[com];
      return STATUS_SUCCESS;
    case IRP_MJ_CLEANUP:
    case IRP_MJ_CLOSE:
      return STATUS_SUCCESS;
    default:
      return sarno_handle_removed(d, com, s->FileObject) ? SARNO_STATUS_REMOVED : STATUS_SUCCESS;
  }
}

void sarno_follow_plugs(struct sarno_driver* d) {
  int com, device;
  for (com = 0; com < SIM_PORT_COUNT; ++com) {
    uint32_t unplugs = sim_port_unplugs(&d->model, com);
    if (unplugs != d->unplugs_seen[com]) {
      /* pulled out (and perhaps back already): the old names and handles go first */
      InterlockedExchange(&d->unplugged[com], 1);
      d->unplugs_seen[com] = unplugs;
      sarno_set_port_names(d, com, 0);
      for (device = 0; device < SIM_DEVICE_COUNT; ++device) {
        if (sarno_control_port(d, device) == com) sarno_end_removed(d, device);
      }
      sarno_serial_removed(d, com);
      /* the port that comes back is free for a new opener */
      InterlockedExchangePointer((PVOID*)&d->port[com].owner, NULL);
    }
    if (d->unplugged[com] && sim_port_exists(&d->model, com)) {
      sarno_set_port_names(d, com, 1);
      InterlockedExchange(&d->unplugged[com], 0);
    }
  }
}
