// A small stand-in for the dialog framework the program is written against: a modal dialog
// with data exchange, an OK/cancel ending and a message map that sends commands (control id,
// notification) and window messages to member handlers. Portable: the window itself is behind
// platform::DialogControls, and the flavour's modal loop lives in win32_modal.cpp (a real
// window) or host_modal.cpp (no window; tests drive the handlers).
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/dialog_controls.h"

namespace fw {

// Window messages and notifications the program's map names (the Win32 values).
constexpr uint32_t kWmDestroy = 0x0002;
constexpr uint32_t kWmPaint = 0x000F;
constexpr uint32_t kWmQueryDragIcon = 0x0037;
constexpr uint32_t kWmCommand = 0x0111;
constexpr uint32_t kWmSysCommand = 0x0112;
constexpr uint32_t kWmCtlColorStatic = 0x0138;
constexpr int kBnClicked = 0;
constexpr int kLbnSelChange = 1;
constexpr int kCbnSelChange = 1;
constexpr int kCbnEditChange = 5;
constexpr int kIdOk = 1;      // IDOK
constexpr int kIdCancel = 2;  // IDCANCEL

// What a kWmCtlColorStatic handler receives: the control, and the text background colour it
// asks for (the brush stays the framework's).
struct CtlColor {
  int id = 0;
  bool setBkColor = false;
  uint32_t bkColor = 0;  // COLORREF, 0x00BBGGRR
};

struct CDataExchange {
  bool m_bSaveAndValidate;
  platform::DialogControls* controls;
};

// List box data exchange: loading selects the entry equal to value (none when there is no
// such entry); saving stores the selected entry's text, or empty when none is selected.
// value holds kLbTextSize bytes, the longest entry text the exchange reads.
constexpr size_t kLbTextSize = 256;
void DDX_LBString(CDataExchange* pDX, int id, char (&value)[kLbTextSize]);

// One row of a message map: a command (message kWmCommand, control id, notification) that
// runs a plain handler, or a window message that runs a handler taking its parameters.
// A message handler returns false to ask for the platform's default processing.
template <class T>
struct MessageMapEntry {
  uint32_t message;
  int id;
  int code;
  void (T::*onCommand)();
  bool (T::*onMessage)(uintptr_t wParam, intptr_t lParam, intptr_t* result);
};

template <class T>
constexpr MessageMapEntry<T> OnCommand(int id, int code, void (T::*h)()) {
  return {kWmCommand, id, code, h, nullptr};
}
template <class T>
constexpr MessageMapEntry<T> OnMessage(uint32_t msg,
                                       bool (T::*h)(uintptr_t, intptr_t, intptr_t*)) {
  return {msg, 0, 0, nullptr, h};
}

class CDialog;

// How a dialog runs modally: the flavour's own way (a real window on Windows, nothing on the
// host) unless a runner is set; tests set one to see which dialogs the program opens.
using ModalRunner = int (*)(CDialog& dialog);
ModalRunner SetModalRunner(ModalRunner runner);  // returns the one set before; null: the flavour's
int RunModal(CDialog& dialog);                   // the flavour's (win32_modal.cpp, host_modal.cpp)

class CDialog {
 public:
  explicit CDialog(int templateId) : m_templateId(templateId) {}
  virtual ~CDialog() = default;

  int TemplateId() const { return m_templateId; }
  // The window's controls; set by the flavour when the window exists.
  void AttachControls(platform::DialogControls* c) { m_controls = c; }
  platform::DialogControls& Controls() { return *m_controls; }

  // Runs the dialog modally and returns the result given to EndDialog.
  int DoModal();

  virtual void DoDataExchange(CDataExchange*) {}
  // The base initialisation: loads the data exchange. Returns true (focus to the default).
  virtual bool OnInitDialog();
  // The framework's OK: saves the data exchange and ends with IDOK.
  virtual void OnOK();
  // The framework's cancel: ends with IDCANCEL.
  virtual void OnCancel();

  bool UpdateData(bool save);
  void EndDialog(int result);
  bool Ended() const { return m_ended; }
  int Result() const { return m_result; }

  // Entry points of the window side. Command: true when a handler ran (IDOK and IDCANCEL run
  // OnOK/OnCancel when the map has no row for them). Message: true when handled, with the
  // message's result in *result.
  bool DispatchCommand(int id, int code);
  bool DispatchMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, intptr_t* result);

 protected:
  virtual bool RouteCommand(int id, int code) = 0;
  virtual bool RouteMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam,
                            intptr_t* result) = 0;

  // The map walk that RouteCommand/RouteMessage of a dialog class run over its table.
  template <class T, size_t N>
  static bool RouteCommandIn(T* self, const MessageMapEntry<T> (&map)[N], int id, int code) {
    for (const auto& e : map)
      if (e.message == kWmCommand && e.id == id && e.code == code) {
        (self->*e.onCommand)();
        return true;
      }
    return false;
  }
  template <class T, size_t N>
  static bool RouteMessageIn(T* self, const MessageMapEntry<T> (&map)[N], uint32_t msg,
                             uintptr_t wParam, intptr_t lParam, intptr_t* result) {
    for (const auto& e : map)
      if (e.message == msg && e.onMessage) return (self->*e.onMessage)(wParam, lParam, result);
    return false;
  }

 private:
  int m_templateId;
  platform::DialogControls* m_controls = nullptr;
  bool m_ended = false;
  int m_result = 0;
};

}  // namespace fw
