// The PlaySound and AutoRun switches: their radio pairs, their registry values, and the
// settings path published for the driver.
#include <cstdio>
#include <cstring>

#include "setup/program/quorvex_program.h"

using platform::HKeyLocalMachine;
using platform::RegKey;

static const char kParametersFailed[] = "OnInitDialog: open registry failed: Sarnovek\\Parameters";

// Opens (or creates) the key under HKEY_LOCAL_MACHINE for writing; a box says when it cannot.
static bool CreateKeyOrTell(platform::RegistryApi& reg, SetupView& view, const char* path,
                            const char* failText, RegKey* key) {
  if (reg.CreateKey(HKeyLocalMachine(), path, key) == platform::kErrorSuccess) return true;
  view.MessageBox(failText);
  return false;
}

void QuorvexProgram::RdPlaySoundReg() {
  platform::RegistryApi& reg = *seams.registry;
  uint32_t cb = 4;
  RegKey key = nullptr;
  if (reg.OpenKey(HKeyLocalMachine(), SARNO_PARAMETERS_KEY, &key) == platform::kErrorSuccess) {
    int32_t value = st.bPlaySound;
    uint32_t type = 0;
    long r = reg.QueryValue(key, SARNO_PLAY_SOUND_VALUE, &type, &value, &cb);
    // The platform leaves the count alone for a missing value; a value that is not there
    // yet (first start) counts as none, so that first start plays sounds.
    if (r == platform::kErrorFileNotFound) cb = 0;
    if (r == platform::kErrorSuccess) st.bPlaySound = value;
    reg.CloseKey(key);
  }
  if (cb == 0) {
    st.bPlaySound = 1;
    view.ShowPlaySound(true);
  } else {
    view.ShowPlaySound(st.bPlaySound != 0);
  }
}

void QuorvexProgram::RdAutoRunReg() {
  platform::RegistryApi& reg = *seams.registry;
  uint32_t cb = 255;
  RegKey key = nullptr;
  if (reg.OpenKey(HKeyLocalMachine(), kRunKey, &key) == platform::kErrorSuccess) {
    char entry[256];
    uint32_t type = 0;
    // A missing entry (first start) means Off: nothing asked to start at log-on.
    if (reg.QueryValue(key, "Quorvex", &type, entry, &cb) == platform::kErrorFileNotFound) cb = 0;
    reg.CloseKey(key);
  }
  st.bAutoRun = 1;
  if (cb == 0) {
    st.bAutoRun = 0;
    view.ShowAutoRun(false);
  } else {
    view.ShowAutoRun(true);
  }
}

void QuorvexProgram::WrtPlaySoundReg() {
  st.bPlaySound = view.PlaySoundChosen() ? 1 : 0;
  platform::RegistryApi& reg = *seams.registry;
  RegKey key = nullptr;
  if (!CreateKeyOrTell(reg, view, SARNO_PARAMETERS_KEY, kParametersFailed, &key)) return;
  int32_t value = st.bPlaySound;
  reg.SetValue(key, SARNO_PLAY_SOUND_VALUE, platform::kRegDword, &value, 4);
  reg.CloseKey(key);
}

void QuorvexProgram::WrtAutoRunReg() {
  st.bAutoRun = view.AutoRunChosen() ? 1 : 0;
  platform::RegistryApi& reg = *seams.registry;
  RegKey key = nullptr;
  if (!CreateKeyOrTell(reg, view, kRunKey, "WrtAutoRunReg: open AutoRun failed: ", &key)) return;
  char program[255] = "";
  if (st.bAutoRun == 1) seams.process->GetModuleFileName(program, sizeof program);
  reg.SetValue(key, "Quorvex", platform::kRegSz, program,
               static_cast<uint32_t>(std::strlen(program)));
  reg.CloseKey(key);
}

void QuorvexProgram::WrtIniPathReg() {
  platform::RegistryApi& reg = *seams.registry;
  RegKey key = nullptr;
  if (!CreateKeyOrTell(reg, view, SARNO_PARAMETERS_KEY, kParametersFailed, &key)) return;
  char text[kTextSize + 4];
  std::snprintf(text, sizeof text, "\\??\\%s", st.szIniPath);
  reg.SetValue(key, SARNO_INI_PATH_VALUE, platform::kRegSz, text,
               static_cast<uint32_t>(std::strlen(text)));
  reg.CloseKey(key);
}

void QuorvexProgram::OnPlaySoundOn() { st.bPlaySound = 1; }
void QuorvexProgram::OnPlaySoundOff() { st.bPlaySound = 0; }
void QuorvexProgram::OnAutoRunOn() { st.bAutoRun = 1; }
void QuorvexProgram::OnAutoRunOff() { st.bAutoRun = 0; }
