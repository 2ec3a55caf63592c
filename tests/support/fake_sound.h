// Sound playback for host tests: plays nothing, remembers what it was asked to play.
// Fixed storage and a lock, so the monitor thread can play while a test reads, and a play
// never allocates.
#pragma once
#include <cstdint>

#include "platform/sound.h"
#include "platform/test_threads.h"

namespace platform {

class FakeSound : public SoundApi {
 public:
  static constexpr int kMaxPlays = 64;
  struct Played {
    char file[32];
    void* module;
    uint32_t flags;
  };

  int Play(const char* file, void* module, uint32_t flags) override;

  int Count() const;
  // The i-th play (0 = first); a zeroed record when there is none.
  Played At(int i) const;
  void Clear();

 private:
  mutable test::Mutex mu_;
  Played plays_[kMaxPlays] = {};
  int count_ = 0;  // plays asked for; those past kMaxPlays are counted, not kept
};

}  // namespace platform
