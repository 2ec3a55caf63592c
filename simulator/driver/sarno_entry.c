/* Driver entry and unload: reads the scenario named in the service's Parameters key, creates
 * a control device \Device\Sarno<n> (\DosDevices\Sarno<n>) for each device of the scenario
 * and a serial port \DosDevices\COM<k> for each port with a terminal dongle, publishes the
 * ports' connection states and starts the timer thread. */
#include "simulator/driver/sarno_driver.h"

struct sarno_driver g_sarno;

/* prefix and n; n < 0: the prefix alone. */
static void device_name(WCHAR* buf, size_t chars, const char* prefix, int n) {
  char text[48];
  size_t i, len;
  text[0] = '\0';
  sim_copy(text, sizeof text, prefix, 40);
  if (n >= 0) sim_append_uint(text, sizeof text, (uint32_t)n);
  len = sim_strlen(text, sizeof text);
  for (i = 0; i < len && i + 1 < chars; ++i) buf[i] = (WCHAR)(unsigned char)text[i];
  buf[i] = 0;
}

/* Creates one device and its DOS name. A DOS name already there (the platform's own COM
 * links) is taken over: the ports COM1..COM4 belong to this driver. */
static NTSTATUS create_device(struct sarno_driver* d, int kind, int number, const char* nt_prefix,
                              const char* dos_prefix, int dos_number, ULONG type,
                              PDEVICE_OBJECT* out, int* linked, const char** step) {
  WCHAR nt_buf[48], dos_buf[48];
  UNICODE_STRING nt_name, dos_name;
  struct sarno_device* ext;
  NTSTATUS st;
  device_name(nt_buf, 48, nt_prefix, number);
  device_name(dos_buf, 48, dos_prefix, dos_number);
  RtlInitUnicodeString(&nt_name, nt_buf);
  RtlInitUnicodeString(&dos_name, dos_buf);
  *step = "cannot create a device";
  st = IoCreateDevice(d->driver, sizeof(struct sarno_device), &nt_name, type, 0, FALSE, out);
  if (!NT_SUCCESS(st)) return st;
  *step = "cannot create a DOS device name";
  ext = (*out)->DeviceExtension;
  ext->kind = kind;
  ext->number = number;
  (*out)->Flags |= DO_BUFFERED_IO;
  (*out)->Flags &= ~DO_DEVICE_INITIALIZING;
  st = IoCreateSymbolicLink(&dos_name, &nt_name);
  if (!NT_SUCCESS(st)) {
    *step = "cannot take over a DOS device name";
    IoDeleteSymbolicLink(&dos_name);
    st = IoCreateSymbolicLink(&dos_name, &nt_name);
  }
  if (!NT_SUCCESS(st)) return st;
  *linked = 1;
  return STATUS_SUCCESS;
}

/* A port without a dongle must not open: any COM link of the platform for it goes. */
static void remove_dos_port(int com_index) {
  WCHAR buf[48];
  UNICODE_STRING name;
  device_name(buf, 48, "\\DosDevices\\COM", com_index + 1);
  RtlInitUnicodeString(&name, buf);
  IoDeleteSymbolicLink(&name);
}

static void delete_devices(struct sarno_driver* d) {
  WCHAR buf[48];
  UNICODE_STRING name;
  int i;
  for (i = 0; i < SIM_DEVICE_COUNT; ++i) {
    if (d->control_linked[i]) {
      device_name(buf, 48, "\\DosDevices\\Sarno", i);
      RtlInitUnicodeString(&name, buf);
      IoDeleteSymbolicLink(&name);
      d->control_linked[i] = 0;
    }
    if (d->control[i]) IoDeleteDevice(d->control[i]);
    d->control[i] = NULL;
  }
  for (i = 0; i < SIM_PORT_COUNT; ++i) {
    if (d->serial_linked[i]) remove_dos_port(i);
    d->serial_linked[i] = 0;
    if (d->serial[i]) IoDeleteDevice(d->serial[i]);
    d->serial[i] = NULL;
  }
  if (d->sim_linked) {
    device_name(buf, 48, "\\DosDevices\\SarnoSim", -1);
    RtlInitUnicodeString(&name, buf);
    IoDeleteSymbolicLink(&name);
    d->sim_linked = 0;
  }
  if (d->sim) IoDeleteDevice(d->sim);
  d->sim = NULL;
}

/* Creates or deletes the DOS name of one device; *linked follows. */
static void link_name(const char* nt_prefix, int number, const char* dos_prefix, int dos_number,
                      int present, int* linked) {
  WCHAR nt_buf[48], dos_buf[48];
  UNICODE_STRING nt_name, dos_name;
  device_name(nt_buf, 48, nt_prefix, number);
  device_name(dos_buf, 48, dos_prefix, dos_number);
  RtlInitUnicodeString(&nt_name, nt_buf);
  RtlInitUnicodeString(&dos_name, dos_buf);
  if (present && !*linked) {
    *linked = NT_SUCCESS(IoCreateSymbolicLink(&dos_name, &nt_name));
  } else if (!present && *linked) {
    IoDeleteSymbolicLink(&dos_name);
    *linked = 0;
  }
}

void sarno_set_port_names(struct sarno_driver* d, int com_index, int present) {
  int i;
  for (i = 0; i < SIM_DEVICE_COUNT; ++i) {
    if (d->control[i] && sarno_control_port(d, i) == com_index)
      link_name("\\Device\\Sarno", i, "\\DosDevices\\Sarno", i, present, &d->control_linked[i]);
  }
  if (d->serial[com_index])
    link_name("\\Device\\SarnoSerial", com_index, "\\DosDevices\\COM", com_index + 1, present,
              &d->serial_linked[com_index]);
}

static NTSTATUS serve(struct sarno_driver* d, struct sarno_device* ext, PIRP irp) {
  PIO_STACK_LOCATION s = IoGetCurrentIrpStackLocation(irp);
  NTSTATUS st = sarno_check_handle(d, ext->kind, ext->number, s);
  if (st != STATUS_SUCCESS) return sarno_complete(irp, st, 0);
  if (ext->kind == SARNO_SERIAL) return sarno_serial_dispatch(d, ext->number, irp);
  switch (s->MajorFunction) {
    case IRP_MJ_CREATE:
    case IRP_MJ_CLOSE:
      return sarno_complete(irp, STATUS_SUCCESS, 0);
    default:
      break;
  }
  if (ext->kind == SARNO_SIM) {
    if (s->MajorFunction == IRP_MJ_DEVICE_CONTROL) return sarno_sim_request(d, irp);
    if (s->MajorFunction == IRP_MJ_CLEANUP) return sarno_complete(irp, STATUS_SUCCESS, 0);
    return sarno_complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
  switch (s->MajorFunction) {
    case IRP_MJ_CLEANUP:
      sarno_control_cleanup(d, ext->number, s->FileObject);
      return sarno_complete(irp, STATUS_SUCCESS, 0);
    case IRP_MJ_READ:
      return sarno_control_read(d, ext->number, irp);
    case IRP_MJ_DEVICE_CONTROL:
      return sarno_control_request(d, ext->number, irp);
    default:
      return sarno_complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
}

static NTSTATUS NTAPI dispatch(PDEVICE_OBJECT dev, PIRP irp) {
  struct sarno_driver* d = &g_sarno;
  NTSTATUS st;
  if (sarno_enter(d))
    st = serve(d, dev->DeviceExtension, irp);
  else
    st = sarno_complete(irp, STATUS_DELETE_PENDING, 0);
  sarno_leave(d);
  return st;
}

/* Stops the timer, ends every waiting request, removes the devices so that no new request
 * comes, and returns only when no thread is left in the driver's code. */
static VOID NTAPI unload(PDRIVER_OBJECT driver) {
  struct sarno_driver* d = &g_sarno;
  (void)driver;
  sarno_stop_timer(d);
  sarno_drain(d);
  delete_devices(d);
  sarno_publish_no_state(d);
  if (d->parameters) ZwClose(d->parameters);
  d->parameters = NULL;
  sarno_wait_until_outside(d);
}

static void fail_start(struct sarno_driver* d, const char* why, NTSTATUS st) {
  static const char digits[] = "0123456789abcdef";
  char text[96];
  size_t n;
  int shift;
  text[0] = '\0';
  sim_copy(text, sizeof text, why, 60);
  n = sim_strlen(text, sizeof text);
  sim_copy(text + n, sizeof text - n, " (status 0x", 11);
  n = sim_strlen(text, sizeof text);
  for (shift = 28; shift >= 0 && n + 2 < sizeof text; shift -= 4) text[n++] = digits[((ULONG)st >> shift) & 0xF];
  text[n++] = ')';
  text[n] = '\0';
  sarno_set_load_error(d, text);
  sarno_stop_timer(d);
  delete_devices(d);
  if (d->parameters) ZwClose(d->parameters);
  d->parameters = NULL;
  sarno_wait_until_outside(d);
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path) {
  struct sarno_driver* d = &g_sarno;
  struct sim_env env;
  NTSTATUS st;
  const char* step = "";
  int i;
  RtlZeroMemory(d, sizeof *d);
  d->driver = driver;
  d->start_ms = sarno_now_ms();
  sarno_lock_init(d);
  KeInitializeSpinLock(&d->irp_lock);
  st = sarno_open_parameters(d, registry_path);
  if (!NT_SUCCESS(st)) return st;
  st = sarno_load_scenario(d);
  if (!NT_SUCCESS(st)) {
    ZwClose(d->parameters);
    d->parameters = NULL;
    return st;
  }
  sarno_env_setup(&env, d);
  sim_init(&d->model, &d->scenario, &env, d->start_ms);

  for (i = 0; i < IRP_MJ_MAXIMUM_FUNCTION + 1; ++i) driver->MajorFunction[i] = dispatch;
  driver->DriverUnload = unload;

  for (i = 0; i < SIM_PORT_COUNT; ++i) {
    sarno_serial_init(&d->port[i]);
    if (!sim_port_exists(&d->model, i)) {
      remove_dos_port(i);
      continue;
    }
    st = create_device(d, SARNO_SERIAL, i, "\\Device\\SarnoSerial", "\\DosDevices\\COM", i + 1,
                       FILE_DEVICE_SERIAL_PORT, &d->serial[i], &d->serial_linked[i], &step);
    if (!NT_SUCCESS(st)) {
      fail_start(d, step, st);
      return st;
    }
  }
  for (i = 0; i < SIM_DEVICE_COUNT; ++i) {
    if (!sim_device_exists(&d->model, i)) continue;
    st = create_device(d, SARNO_CONTROL, i, "\\Device\\Sarno", "\\DosDevices\\Sarno", i,
                       SARNO_DEVICE_TYPE, &d->control[i], &d->control_linked[i], &step);
    if (!NT_SUCCESS(st)) {
      fail_start(d, step, st);
      return st;
    }
  }

  st = create_device(d, SARNO_SIM, -1, "\\Device\\SarnoSim", "\\DosDevices\\SarnoSim", -1,
                     FILE_DEVICE_UNKNOWN, &d->sim, &d->sim_linked, &step);
  if (!NT_SUCCESS(st)) {
    fail_start(d, step, st);
    return st;
  }

  sarno_lock(d);
  sim_publish_states(&d->model);
  sarno_unlock(d);
  st = sarno_start_timer(d);
  if (!NT_SUCCESS(st)) {
    fail_start(d, "cannot start the timer thread", st);
    return st;
  }
  sarno_set_load_error(d, NULL);
  return STATUS_SUCCESS;
}
