// Short notification sounds from files (PlaySoundA).
//
// Contract: Play(file, module, flags) is PlaySoundA(file, module, flags) and returns its
// result. With kSndAsync it returns at once while the sound plays. Safe to call from any
// thread; the monitor thread is the caller.
#pragma once
#include <cstdint>

namespace platform {

constexpr uint32_t kSndAsync = 0x0001;     // SND_ASYNC
constexpr uint32_t kSndFilename = 0x20000; // SND_FILENAME

class SoundApi {
 public:
  virtual ~SoundApi() = default;
  virtual int Play(const char* file, void* module, uint32_t flags) = 0;
};

// The platform's sound playback (the Win32 adapter; on the host one that plays nothing).
SoundApi& SystemSound();

}  // namespace platform
