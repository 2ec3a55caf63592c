// Works the setup program's real window from outside, as a person at the terminal would,
// and prints what it reads, one line per step:
//
//   dialog-driver CAPTION STEP...
//     wait MS            wait until the dialog with that caption exists
//     text ID            "text ID: <window text>"
//     list ID            "list ID sel=N: a|b|c"  (list box entries and selection)
//     combo ID           "combo ID sel=N: a|b|c"
//     checked ID         "checked ID: 0|1"
//     enabled ID         "enabled ID: 0|1"
//     box MS             waits for a message box owned by the dialog, prints
//                        "box caption=<caption>: <text>" and presses its OK
//     syscommand N       posts WM_SYSCOMMAND N to the dialog
//     owned MS           waits for another dialog owned by this one and prints
//                        "owned caption=<caption> ok=<OK button text>"
//     close-owned        closes that dialog (IDOK)
//     click ID           posts the command ID to the dialog (a button click)
//     gone MS            waits until the dialog has gone
//
// Texts are printed as UTF-8. Exit status 0 when every step worked, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/wine/wine_time_scale.h"

namespace {

const char* g_caption = "";

std::string Utf8(const wchar_t* w) {
  char out[1024];
  int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, out, sizeof out, nullptr, nullptr);
  return n > 0 ? std::string(out) : std::string();
}

// WM_GETTEXT itself: GetWindowText does not ask another process's controls for their text.
std::string WindowText(HWND h) {
  wchar_t w[512] = L"";
  DWORD_PTR got = 0;
  if (!h || !SendMessageTimeoutW(h, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(w), SMTO_ABORTIFHUNG,
                                 ScaledMs(5000), &got))
    w[0] = L'\0';
  return Utf8(w);
}

std::wstring Wide(const char* utf8) {
  wchar_t w[512];
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, w, 512);
  return w;
}

HWND FindDialog() { return FindWindowW(L"#32770", Wide(g_caption).c_str()); }

template <class Pred>
bool WaitFor(DWORD ms, Pred pred) {
  ms = ScaledMs(ms);
  DWORD start = GetTickCount();
  for (;;) {
    if (pred()) return true;
    if (GetTickCount() - start > ms) return false;
    Sleep(50);
  }
}

struct OwnedSearch {
  HWND owner;
  HWND found;
};

BOOL CALLBACK FindOwned(HWND h, LPARAM lp) {
  auto* s = reinterpret_cast<OwnedSearch*>(lp);
  char cls[32];
  GetClassNameA(h, cls, sizeof cls);
  if (GetWindow(h, GW_OWNER) == s->owner && std::strcmp(cls, "#32770") == 0 && IsWindowVisible(h)) {
    s->found = h;
    return FALSE;
  }
  return TRUE;
}

HWND Owned(HWND dialog) {
  OwnedSearch s{dialog, nullptr};
  EnumWindows(FindOwned, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

std::string Entries(HWND ctl, UINT count, UINT lenMsg, UINT textMsg, UINT selMsg) {
  LRESULT n = SendMessageW(ctl, count, 0, 0);
  std::string out = "sel=" + std::to_string(static_cast<long>(SendMessageW(ctl, selMsg, 0, 0))) + ":";
  for (LRESULT i = 0; i < n; ++i) {
    wchar_t w[512] = L"";
    if (SendMessageW(ctl, lenMsg, i, 0) < 511) SendMessageW(ctl, textMsg, i, reinterpret_cast<LPARAM>(w));
    out += (i ? "|" : " ") + Utf8(w);
  }
  return out;
}

HWND g_owned = nullptr;

bool Step(HWND& dlg, const std::string& op, const char* arg) {
  int n = arg ? std::atoi(arg) : 0;
  if (op == "wait") {
    bool ok = WaitFor(n, [&] { return (dlg = FindDialog()) != nullptr; });
    std::printf("wait: %s\n", ok ? "found" : "not found");
    return ok;
  }
  // Every step gives a dialog that is still starting a moment to appear.
  if (!dlg && !WaitFor(15000, [&] { return (dlg = FindDialog()) != nullptr; })) {
    std::printf("%s: no dialog \"%s\"\n", op.c_str(), g_caption);
    return false;
  }
  HWND ctl = arg ? GetDlgItem(dlg, n) : nullptr;
  if (op == "text") {
    std::printf("text %d: %s\n", n, WindowText(ctl).c_str());
  } else if (op == "list") {
    std::printf("list %d %s\n", n, Entries(ctl, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT, LB_GETCURSEL).c_str());
  } else if (op == "combo") {
    std::printf("combo %d %s\n", n, Entries(ctl, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT, CB_GETCURSEL).c_str());
  } else if (op == "checked") {
    std::printf("checked %d: %d\n", n, IsDlgButtonChecked(dlg, n) == BST_CHECKED ? 1 : 0);
  } else if (op == "enabled") {
    std::printf("enabled %d: %d\n", n, IsWindowEnabled(ctl) ? 1 : 0);
  } else if (op == "box" || op == "owned") {
    HWND box = nullptr;
    if (!WaitFor(n, [&] { return (box = Owned(dlg)) != nullptr; })) {
      std::printf("%s: none\n", op.c_str());
      return false;
    }
    if (op == "box") {
      std::printf("box caption=%s: %s\n", WindowText(box).c_str(),
                  WindowText(GetDlgItem(box, 0xFFFF)).c_str());
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      WaitFor(5000, [&] { return !IsWindow(box); });
    } else {
      g_owned = box;
      std::printf("owned caption=%s ok=%s\n", WindowText(box).c_str(),
                  WindowText(GetDlgItem(box, IDOK)).c_str());
    }
  } else if (op == "close-owned") {
    HWND box = g_owned ? g_owned : Owned(dlg);
    if (!box) return false;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return WaitFor(5000, [&] { return !IsWindow(box); });
  } else if (op == "syscommand") {
    PostMessageW(dlg, WM_SYSCOMMAND, n, 0);
  } else if (op == "click") {
    PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(n, BN_CLICKED), 0);
  } else if (op == "gone") {
    bool ok = WaitFor(n, [&] { return !IsWindow(dlg); });
    std::printf("gone: %s\n", ok ? "yes" : "no");
    return ok;
  } else {
    std::printf("unknown step %s\n", op.c_str());
    return false;
  }
  return true;
}

bool TakesArgument(const std::string& op) { return op != "close-owned"; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: dialog-driver CAPTION STEP...\n");
    return 2;
  }
  g_caption = argv[1];
  HWND dlg = nullptr;
  bool ok = true;
  for (int i = 2; i < argc && ok; ++i) {
    std::string op = argv[i];
    const char* arg = nullptr;
    if (TakesArgument(op) && i + 1 < argc) arg = argv[++i];
    ok = Step(dlg, op, arg);
    std::fflush(stdout);
  }
  return ok ? 0 : 1;
}
