// The controls of a real dialog window (HWND), for the dialog framework's window side.
#pragma once
#include "platform/win32/windows_names.h"

#include "platform/dialog_controls.h"

namespace platform {

class Win32DialogControls : public DialogControls {
 public:
  explicit Win32DialogControls(HWND dialog) : hwnd_(dialog) {}
  HWND Window() const { return hwnd_; }

  void SetText(int id, const char* text) override;
  size_t GetText(int id, char* out, size_t size) override;
  void Enable(int id, bool enable) override;
  void Show(int id, bool show) override;
  void LbResetContent(int id) override;
  int LbInsertString(int id, int index, const char* text) override;
  int LbDeleteString(int id, int index) override;
  int LbGetCount(int id) override;
  int LbSetCurSel(int id, int index) override;
  int LbGetCurSel(int id) override;
  size_t LbGetText(int id, int index, char* out, size_t size) override;
  int CbAddString(int id, const char* text) override;
  int CbInsertString(int id, int index, const char* text) override;
  int CbSetCurSel(int id, int index) override;
  int CbGetCurSel(int id) override;
  void CbShowDropDown(int id, bool show) override;
  void CbGrowDropDown(int id, int grow) override;
  void CheckRadioButton(int first, int last, int check) override;
  bool IsDlgButtonChecked(int id) override;
  void MessageBox(const char* text) override;
  void PostCommand(int id) override;
  void EndDialog(int result) override;
  bool AppendSystemMenu(int commandId, const char* text) override;
  void SetIcon(void* icon, bool big) override;
  bool IsIconic() override;
  void GetClientSize(int* width, int* height) override;
  void GetIconMetrics(int* width, int* height) override;
  void PaintIcon(void* icon, int x, int y) override;

 private:
  LRESULT Send(int id, UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
    return SendDlgItemMessageA(hwnd_, id, msg, wp, lp);
  }
  HWND hwnd_;
};

}  // namespace platform
