// The controls of one dialog window, reached by control id, in the terms of the Win32 dialog
// calls (SetDlgItemTextA, EnableWindow, LB_*/CB_* messages, CheckRadioButton,
// IsDlgButtonChecked, MessageBoxA, PostMessageA). The Win32 adapter wraps a real HWND; the
// host adapter (tests/support/headless_dialog.h) keeps every control's state in memory.
//
// Contract: every call but PostCommand is made on the dialog's own thread. PostCommand may
// come from any thread; the command reaches the dialog's handlers later, on its thread.
// Indexes are 0-based; -1 means "none" (LB_ERR / CB_ERR, or no selection).
#pragma once
#include <cstddef>

namespace platform {

// One control of a dialog template, as the template declares it. The program's table of
// controls (setup/res/dialog_table.h) lists them; the headless dialog is built from it and
// a test holds the resource script to it.
enum class ControlKind {
  PushButton, DefPushButton, ListBox, ComboBox, AutoRadio, Text, BitmapStatic, Edit, GroupBox
};

struct ControlRow {
  int id;               // -1 for labels and group boxes without an id
  ControlKind kind;
  const char* text;     // UTF-8
  int x, y, width, height;  // dialog units
  bool visible;
  bool enabled;
  bool group;           // starts a group (WS_GROUP): radio pairs are the runs between groups
  bool sorted;          // LBS_SORT / CBS_SORT
  bool sunken;          // SS_SUNKEN
};

class DialogControls {
 public:
  virtual ~DialogControls() = default;

  // Window text of a control (button caption, static text, edit contents, combo edit field).
  virtual void SetText(int id, const char* text) = 0;
  // Copies the text into out (size bytes, always terminated); returns its length.
  virtual size_t GetText(int id, char* out, size_t size) = 0;
  virtual void Enable(int id, bool enable) = 0;
  virtual void Show(int id, bool show) = 0;

  // List boxes.
  virtual void LbResetContent(int id) = 0;
  virtual int LbInsertString(int id, int index, const char* text) = 0;  // -1 appends
  virtual int LbDeleteString(int id, int index) = 0;                      // count left
  virtual int LbGetCount(int id) = 0;
  virtual int LbSetCurSel(int id, int index) = 0;  // -1 clears; returns -1 when out of range
  virtual int LbGetCurSel(int id) = 0;
  virtual size_t LbGetText(int id, int index, char* out, size_t size) = 0;

  // Combo boxes.
  virtual int CbAddString(int id, const char* text) = 0;  // sorted when the combo is sorted
  virtual int CbInsertString(int id, int index, const char* text) = 0;
  virtual int CbSetCurSel(int id, int index) = 0;
  virtual int CbGetCurSel(int id) = 0;
  virtual void CbShowDropDown(int id, bool show) = 0;
  // Makes the dropped-down list of the combo taller by grow pixels, keeping its place.
  virtual void CbGrowDropDown(int id, int grow) = 0;

  // Radio buttons: checks check and clears the others of first..last.
  virtual void CheckRadioButton(int first, int last, int check) = 0;
  virtual bool IsDlgButtonChecked(int id) = 0;

  // A modal box owned by the dialog: MB_OK, no caption of its own (the program's name shows).
  virtual void MessageBox(const char* text) = 0;
  // Posts WM_COMMAND (notification 0, no control handle) with the id to the dialog.
  virtual void PostCommand(int id) = 0;
  // Ends the modal loop with result (the window is then destroyed).
  virtual void EndDialog(int result) = 0;

  // The frame: the system menu, the icons, the minimised state and its painting.
  // Appends a separator and the entry (command id, text) to the system menu; false when the
  // window has no system menu.
  virtual bool AppendSystemMenu(int commandId, const char* text) = 0;
  virtual void SetIcon(void* icon, bool big) = 0;  // WM_SETICON
  virtual bool IsIconic() = 0;
  virtual void GetClientSize(int* width, int* height) = 0;
  virtual void GetIconMetrics(int* width, int* height) = 0;  // SM_CXICON, SM_CYICON
  // Opens a paint context, has the icon background erased (WM_ICONERASEBKGND) and draws the
  // icon at x, y.
  virtual void PaintIcon(void* icon, int x, int y) = 0;
};

}  // namespace platform
