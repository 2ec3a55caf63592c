// The window side of the dialog stand-in: a modal dialog from a template resource
// (DialogBoxParamA), whose procedure hands commands and the mapped window messages to the
// dialog object.
#include "platform/win32/windows_names.h"

#include "platform/win32/win32_dialog.h"
#include "setup/framework/afxdialog.h"

namespace fw {

namespace {

// The dialogs running modally, innermost last: a new one is owned by the one before it.
// The program nests two (the main dialog and its About box); one nested deeper than the
// stack holds is owned by the innermost one recorded.
constexpr int kMaxOpen = 8;
HWND g_open[kMaxOpen];
int g_openCount = 0;

// Messages whose handler result goes back through DWLP_MSGRESULT.
INT_PTR Handled(HWND h, intptr_t result) {
  SetWindowLongPtrA(h, DWLP_MSGRESULT, result);
  return TRUE;
}

INT_PTR CALLBACK DialogProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  auto* d = reinterpret_cast<CDialog*>(GetWindowLongPtrA(h, DWLP_USER));
  if (msg == WM_INITDIALOG) {
    d = reinterpret_cast<CDialog*>(lp);
    SetWindowLongPtrA(h, DWLP_USER, lp);
    if (g_openCount < kMaxOpen) g_open[g_openCount++] = h;
    d->AttachControls(new platform::Win32DialogControls(h));
    return d->OnInitDialog() ? TRUE : FALSE;
  }
  if (!d) return FALSE;
  intptr_t result = 0;
  switch (msg) {
    case WM_COMMAND:
      return d->DispatchCommand(LOWORD(wp), HIWORD(wp)) ? TRUE : FALSE;
    case WM_CTLCOLORSTATIC: {
      // The standard colours first; the dialog may then change the text background.
      auto brush = static_cast<INT_PTR>(DefWindowProcA(h, msg, wp, lp));
      CtlColor cc;
      cc.id = GetDlgCtrlID(reinterpret_cast<HWND>(lp));
      if (!d->DispatchMessage(msg, 0, reinterpret_cast<intptr_t>(&cc), &result)) return FALSE;
      if (cc.setBkColor) SetBkColor(reinterpret_cast<HDC>(wp), cc.bkColor);
      return brush;  // unchanged
    }
    case WM_QUERYDRAGICON:
      return d->DispatchMessage(msg, wp, lp, &result) ? static_cast<INT_PTR>(result) : FALSE;
    case WM_SYSCOMMAND:
    case WM_PAINT:
      return d->DispatchMessage(msg, wp, lp, &result) ? Handled(h, result) : FALSE;
    case WM_DESTROY:
      d->DispatchMessage(msg, wp, lp, &result);
      return FALSE;  // the window's own destroy handling follows
    case WM_NCDESTROY: {
      if (g_openCount > 0 && g_open[g_openCount - 1] == h) --g_openCount;
      auto* controls = &d->Controls();
      d->AttachControls(nullptr);
      delete static_cast<platform::Win32DialogControls*>(controls);
      SetWindowLongPtrA(h, DWLP_USER, 0);
      return FALSE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

int RunModal(CDialog& dialog) {
  HWND owner = g_openCount > 0 ? g_open[g_openCount - 1] : nullptr;
  return static_cast<int>(DialogBoxParamA(GetModuleHandleA(nullptr),
                                          MAKEINTRESOURCEA(dialog.TemplateId()), owner, DialogProc,
                                          reinterpret_cast<LPARAM>(&dialog)));
}

}  // namespace fw
