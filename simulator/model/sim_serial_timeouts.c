/* The time-outs a caller sets on a serial port, as a serial driver honours them. */
#include "simulator/model/sim_model.h"

#define MAXDWORD_VALUE 0xFFFFFFFFu

/* mult * len + constant, held at the largest finite wait. */
static uint32_t total(uint32_t mult, uint32_t len, uint32_t constant) {
  uint64_t t = (uint64_t)mult * len + constant;
  return t >= SIM_WAIT_FOREVER ? SIM_WAIT_FOREVER - 1u : (uint32_t)t;
}

uint32_t sim_read_wait_ms(const struct sim_timeouts* t, uint32_t len) {
  uint32_t ms;
  if (t->read_interval == MAXDWORD_VALUE && t->read_multiplier == 0 && t->read_constant == 0)
    return 0; /* return at once with whatever has come */
  if (t->read_interval == MAXDWORD_VALUE && t->read_multiplier == MAXDWORD_VALUE &&
      t->read_constant != 0 && t->read_constant != MAXDWORD_VALUE)
    return t->read_constant; /* the first byte ends it, else the constant does */
  ms = total(t->read_multiplier, len, t->read_constant);
  return ms == 0 ? SIM_WAIT_FOREVER : ms;
}

int sim_read_ends(const struct sim_timeouts* t, uint32_t got, uint32_t len) {
  if (got >= len) return 1;
  return got > 0 && t->read_interval != 0;
}

uint32_t sim_write_wait_ms(const struct sim_timeouts* t, uint32_t len) {
  uint32_t ms = total(t->write_multiplier, len, t->write_constant);
  return ms == 0 ? SIM_WAIT_FOREVER : ms;
}
