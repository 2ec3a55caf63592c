/* The model's environment in kernel mode: the service's Parameters key (connection states,
 * the settings file path the setup program publishes, the scenario file) and whole-file
 * reads and replacements with the Zw file calls. Everything here runs at PASSIVE_LEVEL. */
#include "simulator/driver/sarno_driver.h"

/* Declared by the file-system headers, which a plain driver does not include. */
NTSTATUS NTAPI ZwFlushBuffersFile(HANDLE file, PIO_STATUS_BLOCK io);
struct sarno_rename_info {
  BOOLEAN ReplaceIfExists;
  HANDLE RootDirectory;
  ULONG FileNameLength;
  WCHAR FileName[SIM_PATH_SIZE + 8];
};

#define SARNO_NAME_CHARS 64
#define SARNO_VALUE_BYTES (sizeof(KEY_VALUE_PARTIAL_INFORMATION) + SIM_PATH_SIZE * sizeof(WCHAR))

/* "\??\" names an NT path; a plain DOS path ("C:\...") gets it put in front. */
static void to_nt_path(char* out, size_t size, const char* path, size_t len) {
  out[0] = '\0';
  if (len == 0 || path[0] != '\\') sim_copy(out, size, "\\??\\", 4);
  sim_copy(out + sim_strlen(out, size), size - sim_strlen(out, size), path, len);
}

/* Narrow text to a counted wide string in a caller's buffer (no allocation). */
static NTSTATUS widen(UNICODE_STRING* out, WCHAR* buf, USHORT buf_bytes, const char* text) {
  ANSI_STRING a;
  size_t n = sim_strlen(text, 0xFFFF);
  if (n > 0xFFFF) return STATUS_NAME_TOO_LONG;
  a.Buffer = (PCHAR)text;
  a.Length = a.MaximumLength = (USHORT)n;
  out->Buffer = buf;
  out->Length = 0;
  out->MaximumLength = buf_bytes;
  return RtlAnsiStringToUnicodeString(out, &a, FALSE);
}

static void value_name(UNICODE_STRING* out, WCHAR* buf, const char* name) {
  if (!NT_SUCCESS(widen(out, buf, SARNO_NAME_CHARS * sizeof(WCHAR), name))) out->Length = 0;
}

NTSTATUS sarno_open_parameters(struct sarno_driver* d, PUNICODE_STRING service_key) {
  static const WCHAR suffix[] = L"\\Parameters";
  WCHAR buf[512];
  UNICODE_STRING path;
  OBJECT_ATTRIBUTES oa;
  ULONG disposition;
  path.Buffer = buf;
  path.Length = 0;
  path.MaximumLength = sizeof buf;
  if (service_key->Length + sizeof suffix > sizeof buf) return STATUS_NAME_TOO_LONG;
  RtlCopyUnicodeString(&path, service_key);
  RtlAppendUnicodeToString(&path, suffix);
  InitializeObjectAttributes(&oa, &path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
  return ZwCreateKey(&d->parameters, KEY_ALL_ACCESS, &oa, 0, NULL, REG_OPTION_NON_VOLATILE,
                     &disposition);
}

/* Reads a REG_SZ value of the Parameters key as narrow text; the writer may or may not
 * have stored the terminating zero, so the length comes from the data size alone. */
static int read_text_value(struct sarno_driver* d, const char* name, char* out, size_t size) {
  union {
    KEY_VALUE_PARTIAL_INFORMATION info;
    UCHAR bytes[SARNO_VALUE_BYTES];
  } v;
  WCHAR name_buf[SARNO_NAME_CHARS];
  UNICODE_STRING uname, text;
  ANSI_STRING a;
  ULONG got = 0;
  USHORT chars;
  out[0] = '\0';
  if (!d->parameters) return 0;
  value_name(&uname, name_buf, name);
  if (!NT_SUCCESS(ZwQueryValueKey(d->parameters, &uname, KeyValuePartialInformation, &v,
                                  sizeof v, &got)))
    return 0;
  if (v.info.Type != REG_SZ && v.info.Type != REG_EXPAND_SZ) return 0;
  if (v.info.DataLength > sizeof v - FIELD_OFFSET(KEY_VALUE_PARTIAL_INFORMATION, Data)) return 0;
  chars = (USHORT)(v.info.DataLength / sizeof(WCHAR));
  while (chars > 0 && ((WCHAR*)v.info.Data)[chars - 1] == 0) --chars;
  text.Buffer = (WCHAR*)v.info.Data;
  text.Length = text.MaximumLength = (USHORT)(chars * sizeof(WCHAR));
  a.Buffer = out;
  a.Length = 0;
  a.MaximumLength = (USHORT)(size - 1);
  if (!NT_SUCCESS(RtlUnicodeStringToAnsiString(&a, &text, FALSE))) return 0;
  out[a.Length] = '\0';
  return a.Length > 0;
}

void sarno_set_load_error(struct sarno_driver* d, const char* text) {
  WCHAR name_buf[SARNO_NAME_CHARS], data[128];
  UNICODE_STRING uname, utext;
  if (!d->parameters) return;
  value_name(&uname, name_buf, "LoadError");
  if (!text || !text[0]) {
    ZwDeleteValueKey(d->parameters, &uname);
    return;
  }
  if (!NT_SUCCESS(widen(&utext, data, sizeof data - sizeof(WCHAR), text))) return;
  data[utext.Length / sizeof(WCHAR)] = 0;
  ZwSetValueKey(d->parameters, &uname, 0, REG_SZ, data, utext.Length + sizeof(WCHAR));
}

static void publish_state(void* context, int com_index, uint32_t state) {
  struct sarno_driver* d = context;
  char name[24] = "COM";
  WCHAR name_buf[SARNO_NAME_CHARS];
  UNICODE_STRING uname;
  ULONG data = state;
  if (!d->parameters) return;
  sim_append_uint(name, sizeof name, (uint32_t)com_index + 1u);
  sim_copy(name + sim_strlen(name, sizeof name), sizeof name - sim_strlen(name, sizeof name),
           "ConnectState", 12);
  value_name(&uname, name_buf, name);
  ZwSetValueKey(d->parameters, &uname, 0, REG_DWORD, &data, sizeof data);
}

void sarno_publish_no_state(struct sarno_driver* d) {
  int p;
  for (p = 0; p < SIM_PORT_COUNT; ++p) publish_state(d, p, LINK_STATE_NONE);
}

static void read_became_ready(void* context, int device) {
  /* sarno_serve runs after every model call and sees sim_read_ready itself */
  (void)context;
  (void)device;
}

static int settings_path(void* context, char* out, size_t size) {
  struct sarno_driver* d = context;
  char raw[SIM_PATH_SIZE];
  if (!read_text_value(d, SARNO_INI_PATH_VALUE, raw, sizeof raw)) return 0;
  to_nt_path(out, size, raw, sim_strlen(raw, sizeof raw));
  return out[0] != '\0';
}

static NTSTATUS open_file(HANDLE* h, const char* nt_path, ACCESS_MASK access, ULONG disposition) {
  WCHAR buf[SIM_PATH_SIZE + 8];
  UNICODE_STRING name;
  OBJECT_ATTRIBUTES oa;
  IO_STATUS_BLOCK io;
  NTSTATUS st = widen(&name, buf, sizeof buf, nt_path);
  if (!NT_SUCCESS(st)) return st;
  InitializeObjectAttributes(&oa, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
  return ZwCreateFile(h, access | SYNCHRONIZE, &oa, &io, NULL, FILE_ATTRIBUTE_NORMAL,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, disposition,
                      FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, NULL, 0);
}

/* Whole file into buf; SIM_FILE_* result. */
static int read_whole(const char* nt_path, char* buf, size_t size, size_t* len) {
  HANDLE h;
  IO_STATUS_BLOCK io;
  FILE_STANDARD_INFORMATION info;
  NTSTATUS st = open_file(&h, nt_path, GENERIC_READ, FILE_OPEN);
  *len = 0;
  if (st == STATUS_OBJECT_NAME_NOT_FOUND || st == STATUS_OBJECT_PATH_NOT_FOUND ||
      st == STATUS_NO_SUCH_FILE)
    return SIM_FILE_MISSING;
  if (!NT_SUCCESS(st)) return SIM_FILE_ERROR;
  st = ZwQueryInformationFile(h, &io, &info, sizeof info, FileStandardInformation);
  if (!NT_SUCCESS(st)) {
    ZwClose(h);
    return SIM_FILE_ERROR;
  }
  if (info.EndOfFile.QuadPart > (LONGLONG)size) {
    ZwClose(h);
    return SIM_FILE_TOO_BIG;
  }
  if (info.EndOfFile.QuadPart > 0) {
    st = ZwReadFile(h, NULL, NULL, NULL, &io, buf, (ULONG)info.EndOfFile.QuadPart, NULL, NULL);
    if (!NT_SUCCESS(st)) {
      ZwClose(h);
      return SIM_FILE_ERROR;
    }
    *len = io.Information;
  }
  ZwClose(h);
  return SIM_FILE_OK;
}

static int read_file(void* context, const char* path, char* buf, size_t size, size_t* len) {
  (void)context;
  return read_whole(path, buf, size, len);
}

/* Replaces the file through a temporary one beside it, so that a reader never sees half a
 * file and the old one survives a failure half-way. */
static int write_file(void* context, const char* path, const char* data, size_t len) {
  char temp[SIM_PATH_SIZE + 8];
  struct sarno_rename_info rename;
  UNICODE_STRING target;
  HANDLE h;
  IO_STATUS_BLOCK io;
  NTSTATUS st;
  (void)context;
  if (sim_strlen(path, SIM_PATH_SIZE) >= SIM_PATH_SIZE) return SIM_FILE_ERROR;
  sim_copy(temp, sizeof temp, path, SIM_PATH_SIZE);
  sim_copy(temp + sim_strlen(temp, sizeof temp), 6, ".new~", 5);
  st = open_file(&h, temp, GENERIC_WRITE | DELETE, FILE_OVERWRITE_IF);
  if (!NT_SUCCESS(st)) return SIM_FILE_ERROR;
  st = ZwWriteFile(h, NULL, NULL, NULL, &io, (PVOID)data, (ULONG)len, NULL, NULL);
  if (NT_SUCCESS(st)) st = ZwFlushBuffersFile(h, &io);
  if (NT_SUCCESS(st)) {
    st = widen(&target, rename.FileName, (USHORT)sizeof rename.FileName, path);
  }
  if (NT_SUCCESS(st)) {
    rename.ReplaceIfExists = TRUE;
    rename.RootDirectory = NULL;
    rename.FileNameLength = target.Length;
    st = ZwSetInformationFile(h, &io, &rename, sizeof rename, FileRenameInformation);
  }
  if (!NT_SUCCESS(st)) {
    FILE_DISPOSITION_INFORMATION gone;
    gone.DeleteFile = TRUE;
    ZwSetInformationFile(h, &io, &gone, sizeof gone, FileDispositionInformation);
  }
  ZwClose(h);
  return NT_SUCCESS(st) ? SIM_FILE_OK : SIM_FILE_ERROR;
}

void sarno_env_setup(struct sim_env* env, struct sarno_driver* d) {
  env->context = d;
  env->state_changed = publish_state;
  env->read_ready = read_became_ready;
  env->settings_path = settings_path;
  env->read_file = read_file;
  env->write_file = write_file;
}

NTSTATUS sarno_load_scenario(struct sarno_driver* d) {
  char raw[SIM_PATH_SIZE], path[SIM_PATH_SIZE + 8], why[160];
  struct sim_parse_error err;
  size_t len = 0;
  int r;
  if (!read_text_value(d, "ScenarioFile", raw, sizeof raw)) {
    sarno_set_load_error(d, "no ScenarioFile value in the Parameters key");
    return STATUS_OBJECT_NAME_NOT_FOUND;
  }
  to_nt_path(path, sizeof path, raw, sim_strlen(raw, sizeof raw));
  r = read_whole(path, d->scenario_text, sizeof d->scenario_text, &len);
  if (r != SIM_FILE_OK) {
    why[0] = '\0';
    sim_copy(why, sizeof why,
             r == SIM_FILE_MISSING ? "scenario file not found: "
             : r == SIM_FILE_TOO_BIG ? "scenario file too big: "
                                     : "scenario file unreadable: ",
             64);
    sim_copy(why + sim_strlen(why, sizeof why), sizeof why - sim_strlen(why, sizeof why), raw,
             sizeof raw);
    sarno_set_load_error(d, why);
    return STATUS_OBJECT_NAME_NOT_FOUND;
  }
  if (sim_parse_scenario(&d->scenario, d->scenario_text, len, &err) != 0) {
    why[0] = '\0';
    sim_copy(why, sizeof why, "scenario line ", 14);
    sim_append_uint(why, sizeof why, (uint32_t)err.line);
    sim_copy(why + sim_strlen(why, sizeof why), sizeof why - sim_strlen(why, sizeof why), ": ", 2);
    sim_copy(why + sim_strlen(why, sizeof why), sizeof why - sim_strlen(why, sizeof why),
             err.message, sizeof err.message);
    sarno_set_load_error(d, why);
    return STATUS_INVALID_PARAMETER;
  }
  return STATUS_SUCCESS;
}
