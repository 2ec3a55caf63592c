// Worker threads of the dialog stand-in: started on the platform's threads at normal
// priority with the default stack, running at once.
#pragma once
#include "platform/thread.h"

namespace fw {

inline platform::ThreadHandle AfxBeginThread(platform::ThreadApi& threads, void (*fn)(void*),
                                             void* param) {
  return threads.Start(fn, param);
}

// Ends the calling worker thread with its exit code (the thread function may also return).
inline void AfxEndThread(platform::ThreadApi& threads, uint32_t code) {
  threads.ExitCurrent(code);
}

}  // namespace fw
