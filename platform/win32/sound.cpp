// Sounds through the multimedia library's PlaySoundA.
#include "platform/sound.h"

#include <windows.h>
#include <mmsystem.h>

namespace platform {
namespace {

class Win32Sound : public SoundApi {
 public:
  int Play(const char* file, void* module, uint32_t flags) override {
    return PlaySoundA(file, static_cast<HMODULE>(module), flags) ? 1 : 0;
  }
};

// Built before any code runs (no guarded local static, which would bring in the
// runtime's exception support).
Win32Sound theSound;

}  // namespace

SoundApi& SystemSound() { return theSound; }

}  // namespace platform
