// The portable part of the dialog stand-in: data exchange, OK/cancel and dispatch.
#include "setup/framework/afxdialog.h"

#include <cstring>

namespace fw {

void DDX_LBString(CDataExchange* pDX, int id, char (&value)[kLbTextSize]) {
  platform::DialogControls& c = *pDX->controls;
  if (pDX->m_bSaveAndValidate) {
    value[0] = '\0';
    int sel = c.LbGetCurSel(id);
    if (sel >= 0) c.LbGetText(id, sel, value, sizeof value);
    value[sizeof value - 1] = '\0';
    return;
  }
  int found = -1;
  char text[kLbTextSize];
  for (int i = 0, n = c.LbGetCount(id); i < n && value[0] != '\0'; ++i) {
    c.LbGetText(id, i, text, sizeof text);
    if (strncmp(value, text, sizeof text) == 0) {
      found = i;
      break;
    }
  }
  c.LbSetCurSel(id, found);
}

namespace {
ModalRunner g_runner = nullptr;
}

ModalRunner SetModalRunner(ModalRunner runner) {
  ModalRunner before = g_runner;
  g_runner = runner;
  return before;
}

int CDialog::DoModal() { return g_runner ? g_runner(*this) : RunModal(*this); }

bool CDialog::UpdateData(bool save) {
  CDataExchange dx{save, m_controls};
  DoDataExchange(&dx);
  return true;
}

bool CDialog::OnInitDialog() {
  UpdateData(false);
  return true;
}

void CDialog::OnOK() {
  UpdateData(true);
  EndDialog(kIdOk);
}

void CDialog::OnCancel() { EndDialog(kIdCancel); }

void CDialog::EndDialog(int result) {
  m_ended = true;
  m_result = result;
  if (m_controls) m_controls->EndDialog(result);
}

bool CDialog::DispatchCommand(int id, int code) {
  if (RouteCommand(id, code)) return true;
  if (code == kBnClicked && id == kIdOk) {
    OnOK();
    return true;
  }
  if (code == kBnClicked && id == kIdCancel) {
    OnCancel();
    return true;
  }
  return false;
}

bool CDialog::DispatchMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam,
                              intptr_t* result) {
  intptr_t ignored = 0;
  return RouteMessage(msg, wParam, lParam, result ? result : &ignored);
}

}  // namespace fw
