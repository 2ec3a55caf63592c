#include "platform/win32/win32_dialog.h"

#include <cstring>

namespace platform {

namespace {
size_t TextOf(LRESULT got, char* out, size_t size) {
  if (size == 0) return 0;
  if (got < 0) got = 0;
  if (static_cast<size_t>(got) >= size) got = static_cast<LRESULT>(size - 1);
  out[got] = '\0';
  return static_cast<size_t>(got);
}
}  // namespace

void Win32DialogControls::SetText(int id, const char* text) { SetDlgItemTextA(hwnd_, id, text); }

size_t Win32DialogControls::GetText(int id, char* out, size_t size) {
  if (size == 0) return 0;
  return TextOf(GetDlgItemTextA(hwnd_, id, out, static_cast<int>(size)), out, size);
}

void Win32DialogControls::Enable(int id, bool enable) { EnableWindow(GetDlgItem(hwnd_, id), enable); }
void Win32DialogControls::Show(int id, bool show) { ShowWindow(GetDlgItem(hwnd_, id), show ? SW_SHOW : SW_HIDE); }

void Win32DialogControls::LbResetContent(int id) { Send(id, LB_RESETCONTENT); }
int Win32DialogControls::LbInsertString(int id, int index, const char* text) {
  return static_cast<int>(Send(id, LB_INSERTSTRING, index, reinterpret_cast<LPARAM>(text)));
}
int Win32DialogControls::LbDeleteString(int id, int index) { return static_cast<int>(Send(id, LB_DELETESTRING, index)); }
int Win32DialogControls::LbGetCount(int id) { return static_cast<int>(Send(id, LB_GETCOUNT)); }
int Win32DialogControls::LbSetCurSel(int id, int index) { return static_cast<int>(Send(id, LB_SETCURSEL, index)); }
int Win32DialogControls::LbGetCurSel(int id) { return static_cast<int>(Send(id, LB_GETCURSEL)); }

size_t Win32DialogControls::LbGetText(int id, int index, char* out, size_t size) {
  if (size == 0) return 0;
  LRESULT len = Send(id, LB_GETTEXTLEN, index);
  if (len == LB_ERR) return TextOf(0, out, size);
  if (static_cast<size_t>(len) < size) return TextOf(Send(id, LB_GETTEXT, index, reinterpret_cast<LPARAM>(out)), out, size);
  // LB_GETTEXT has no size: read a long entry into a buffer of its own and cut it.
  char* whole = new char[len + 1];
  Send(id, LB_GETTEXT, index, reinterpret_cast<LPARAM>(whole));
  std::memcpy(out, whole, size - 1);
  delete[] whole;
  return TextOf(static_cast<LRESULT>(size - 1), out, size);
}

int Win32DialogControls::CbAddString(int id, const char* text) {
  return static_cast<int>(Send(id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
}
int Win32DialogControls::CbInsertString(int id, int index, const char* text) {
  return static_cast<int>(Send(id, CB_INSERTSTRING, index, reinterpret_cast<LPARAM>(text)));
}
int Win32DialogControls::CbSetCurSel(int id, int index) { return static_cast<int>(Send(id, CB_SETCURSEL, index)); }
int Win32DialogControls::CbGetCurSel(int id) { return static_cast<int>(Send(id, CB_GETCURSEL)); }
void Win32DialogControls::CbShowDropDown(int id, bool show) { Send(id, CB_SHOWDROPDOWN, show); }

void Win32DialogControls::CbGrowDropDown(int id, int grow) {
  // The dropped-down rectangle is in screen coordinates; the control keeps its place in the
  // dialog and only its list grows.
  HWND combo = GetDlgItem(hwnd_, id);
  RECT dropped, place;
  Send(id, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
  GetWindowRect(combo, &place);
  MapWindowPoints(HWND_DESKTOP, hwnd_, reinterpret_cast<POINT*>(&place), 2);
  MoveWindow(combo, place.left, place.top, place.right - place.left,
             dropped.bottom - dropped.top + grow, TRUE);
}

void Win32DialogControls::CheckRadioButton(int first, int last, int check) {
  ::CheckRadioButton(hwnd_, first, last, check);
}
bool Win32DialogControls::IsDlgButtonChecked(int id) { return ::IsDlgButtonChecked(hwnd_, id) == BST_CHECKED; }

// The program passes no caption of its own; as in the dialog framework it stands in for, the
// box then shows the application's name: the program file's name without its extension.
// (A bare NULL would make the platform show "Error".)
void Win32DialogControls::MessageBox(const char* text) {
  char path[MAX_PATH] = "";
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  if (n >= sizeof path) n = 0;
  path[n] = '\0';
  const char* name = std::strrchr(path, '\\');
  name = name ? name + 1 : path;
  char app[MAX_PATH];
  lstrcpynA(app, name, sizeof app);
  if (char* dot = std::strrchr(app, '.')) *dot = '\0';
  ::MessageBoxA(hwnd_, text, app[0] ? app : nullptr, MB_OK);
}
void Win32DialogControls::PostCommand(int id) { PostMessageA(hwnd_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
void Win32DialogControls::EndDialog(int result) { ::EndDialog(hwnd_, result); }

bool Win32DialogControls::AppendSystemMenu(int commandId, const char* text) {
  HMENU menu = GetSystemMenu(hwnd_, FALSE);
  if (!menu) return false;
  wchar_t wide[256];
  if (!MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, 256)) wide[0] = L'\0';
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, commandId, wide);
  return true;
}

void Win32DialogControls::SetIcon(void* icon, bool big) {
  SendMessageA(hwnd_, WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

bool Win32DialogControls::IsIconic() { return ::IsIconic(hwnd_) != 0; }

void Win32DialogControls::GetClientSize(int* width, int* height) {
  RECT r;
  GetClientRect(hwnd_, &r);
  *width = r.right - r.left;
  *height = r.bottom - r.top;
}

void Win32DialogControls::GetIconMetrics(int* width, int* height) {
  *width = GetSystemMetrics(SM_CXICON);
  *height = GetSystemMetrics(SM_CYICON);
}

void Win32DialogControls::PaintIcon(void* icon, int x, int y) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  SendMessageA(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  DrawIcon(dc, x, y, static_cast<HICON>(icon));
  EndPaint(hwnd_, &ps);
}

}  // namespace platform
