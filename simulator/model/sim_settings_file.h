/* The settings file as the simulated driver rewrites it after a query: one port's dongle
 * address, printers found and dongle version, every other line kept as it was. */
#ifndef SIMULATOR_MODEL_SIM_SETTINGS_FILE_H
#define SIMULATOR_MODEL_SIM_SETTINGS_FILE_H

#include "simulator/model/sim_model.h"

#ifdef __cplusplus
extern "C" {
#endif

struct sim_findings {
  const char* host;                 /* SelHost */
  const char* version;              /* HostVrsn */
  int count;                        /* 0..SIM_QUERY_MAX */
  const char* printers[SIM_QUERY_MAX];
};

/* The file the settings writer produces from defaults: COM1 selected, "19200N81", four
 * blocks of "NONE", "AUTO". Returns its length, 0 when out is too small. */
size_t sim_default_settings(char* out, size_t size);

/* Writes into out the file in[0..in_len) with block com_index (0..3, by position, as the
 * reader takes them) carrying the findings. Blocks missing up to com_index are added.
 * Returns the new length, 0 when it does not fit out. */
size_t sim_write_findings(const char* in, size_t in_len, int com_index,
                          const struct sim_findings* f, char* out, size_t size);

#ifdef __cplusplus
}
#endif

#endif
