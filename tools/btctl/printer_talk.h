// Talking to the receipt printer at the end of a port's link, over the port's serial line:
// the seams btctl's print-test and health share, the port opened alone and always closed
// again, and the printer's answers awaited with a time limit each.
//
// Every wait is on the clock seam and looks at the stop flag, so Ctrl-C ends a command
// within one read slice, and the port is closed whatever path the command takes.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/clock.h"
#include "platform/registry.h"
#include "platform/serial_line.h"

constexpr uint32_t kAnswerMs = 500;     // each answer of the printer within this
constexpr uint32_t kConfirmMs = 2000;   // the print confirmation, once the receipt is sent
constexpr uint32_t kReadSliceMs = 50;   // one read's wait, so the stop flag is seen
constexpr uint32_t kWriteWaitMs = 500;  // a write the link does not take ends after this
constexpr size_t kInfoSize = 32;        // an information text: 31 bytes and a NUL

struct PrinterSeams {
  platform::SerialLineApi* line;  // null: this system has no serial ports to talk through
  platform::Clock& clock;
  platform::RegistryApi& registry;  // the settings file's path, for the bound printer
  const std::atomic<int>& stop;
  FILE* out;
  FILE* err;
  // For the test receipt: the library's and the driver's file versions, the date and time.
  void (*versions)(char* library, char* driver, size_t size);
  void (*now)(char* out, size_t size);
};

enum class Answer { kAnswered, kNotSent, kSilent, kStopped };

// What the three real-time status requests told.
struct PrinterStatus {
  Answer answer[3] = {Answer::kSilent, Answer::kSilent, Answer::kSilent};  // n = 1, 2, 4
  uint8_t byte[3] = {};
  uint32_t ms[3] = {};
  bool Answered() const;  // all three
  bool Offline() const { return (byte[0] & 0x08u) != 0; }
  bool CoverOpen() const { return (byte[1] & 0x04u) != 0; }
  bool PaperEnd() const { return (byte[1] & 0x20u) != 0 || (byte[2] & 0x60u) != 0; }
  bool Error() const { return (byte[1] & 0x40u) != 0; }
  bool NearEnd() const { return (byte[2] & 0x0Cu) != 0; }
  bool CanPrint() const { return Answered() && !Offline() && !CoverOpen() && !PaperEnd() && !Error(); }
};

class PrinterTalk {
 public:
  explicit PrinterTalk(const PrinterSeams& seams) : s_(seams) {}
  ~PrinterTalk() { Close(); }
  PrinterTalk(const PrinterTalk&) = delete;
  PrinterTalk& operator=(const PrinterTalk&) = delete;

  // Opens COM<comIndex + 1> alone, sets its time-outs and throws away stale input.
  platform::LineOpen Open(int comIndex);
  void Close();

  // Writes len bytes; *sent gets how many the port took. False when it took fewer.
  bool Send(const void* data, uint32_t len, uint32_t* sent);
  // DLE EOT n for n = 1, 2, 4 in turn, each answered within kAnswerMs; stops at the first
  // request that gets no answer.
  void AskStatus(PrinterStatus* status);
  // GS I n: the printer's text, or kSilent when it has none to give.
  Answer AskInfo(uint8_t n, char (&text)[kInfoSize], size_t* len, uint32_t* ms);
  // GS ( H with id; waits up to kConfirmMs for the printer to say it printed everything
  // sent before it.
  Answer Confirm(const uint8_t (&id)[4], uint32_t* ms);

 private:
  // Reads until find() spots its answer among the bytes come so far, or waitMs pass.
  template <typename Find>
  Answer Await(uint32_t waitMs, uint32_t* ms, Find find);
  // Sends a request after forgetting what came before it: kSilent once it went out.
  Answer Ask(const uint8_t* request, uint32_t len, uint32_t* ms);

  const PrinterSeams& s_;
  platform::CommHandle h_ = platform::InvalidComm();
  unsigned char buf_[256] = {};
  size_t have_ = 0;
};

// "COM1".."COM4" as index 0..3; -1 for anything else.
int PrinterPortIndex(const char* name);
// The printer the settings file binds to the port, or "" when none or unreadable.
void BoundPrinter(platform::RegistryApi& registry, int comIndex, char* out, size_t size);
