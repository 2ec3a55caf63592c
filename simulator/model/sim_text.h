/* Bounded text helpers of the simulator model (the public ones are in sim_model.h). */
#ifndef SIMULATOR_MODEL_SIM_TEXT_H
#define SIMULATOR_MODEL_SIM_TEXT_H

#include "simulator/model/sim_model.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Appends src to dst (size bytes, terminated), cutting what does not fit. */
size_t sim_append(char* dst, size_t size, const char* src);
int sim_text_equal(const char* a, const char* b);
/* a_len bytes of a are exactly the text b. */
int sim_bytes_equal(const char* a, size_t a_len, const char* b);
int sim_starts_with(const char* s, size_t len, const char* prefix);
int sim_contains(const char* s, size_t len, const char* needle);
void sim_fill(void* p, int value, size_t n);
void sim_move(void* dst, const void* src, size_t n);

#ifdef __cplusplus
}
#endif

#endif
