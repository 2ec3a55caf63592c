#include "tests/support/fake_sound.h"

#include <cstdio>

namespace platform {

int FakeSound::Play(const char* file, void* module, uint32_t flags) {
  std::lock_guard<test::Mutex> g(mu_);
  if (count_ < kMaxPlays) {
    Played& p = plays_[count_];
    std::snprintf(p.file, sizeof p.file, "%s", file ? file : "");
    p.module = module;
    p.flags = flags;
  }
  ++count_;
  return 1;
}

int FakeSound::Count() const {
  std::lock_guard<test::Mutex> g(mu_);
  return count_;
}

FakeSound::Played FakeSound::At(int i) const {
  std::lock_guard<test::Mutex> g(mu_);
  if (i < 0 || i >= count_ || i >= kMaxPlays) return Played{};
  return plays_[i];
}

void FakeSound::Clear() {
  std::lock_guard<test::Mutex> g(mu_);
  count_ = 0;
}

SoundApi& SystemSound() {
  static FakeSound sound;
  return sound;
}

}  // namespace platform
