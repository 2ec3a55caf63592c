#include "tests/support/headless_dialog.h"
#include "tests/support/copy_out.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

HeadlessDialog::HeadlessDialog(const ControlRow* rows, int count) {
  int group = 0;
  for (int i = 0; i < count; ++i) {
    const ControlRow& s = rows[i];
    if (s.group) ++group;
    if (s.id < 0) continue;  // labels without an id cannot be reached
    Control c;
    c.row = s;
    c.text = s.text;
    c.enabled = s.enabled;
    c.visible = s.visible;
    c.group = group;
    controls_[s.id] = c;
  }
}

HeadlessDialog::Control& HeadlessDialog::At(int id) {
  auto it = controls_.find(id);
  if (it == controls_.end()) {
    std::fprintf(stderr, "headless dialog: no control %d\n", id);
    std::abort();
  }
  return it->second;
}

void HeadlessDialog::SetText(int id, const char* text) {
  Control& c = At(id);
  c.text = text;
  ++c.textSets;
}

size_t HeadlessDialog::GetText(int id, char* out, size_t size) { return CopyOut(At(id).text, out, size); }
void HeadlessDialog::Enable(int id, bool enable) { At(id).enabled = enable; }
void HeadlessDialog::Show(int id, bool show) { At(id).visible = show; }

void HeadlessDialog::LbResetContent(int id) {
  Control& c = At(id);
  c.entries.clear();
  c.selection = -1;
}

int HeadlessDialog::LbInsertString(int id, int index, const char* text) {
  Control& c = At(id);
  int n = static_cast<int>(c.entries.size());
  if (index < -1 || index > n) return -1;
  if (index == -1) index = n;
  c.entries.insert(c.entries.begin() + index, text);
  if (c.selection >= index) ++c.selection;
  return index;
}

int HeadlessDialog::LbDeleteString(int id, int index) {
  Control& c = At(id);
  int n = static_cast<int>(c.entries.size());
  if (index < 0 || index >= n) return -1;
  c.entries.erase(c.entries.begin() + index);
  if (c.selection == index) c.selection = -1;
  else if (c.selection > index) --c.selection;
  return n - 1;
}

int HeadlessDialog::LbGetCount(int id) { return static_cast<int>(At(id).entries.size()); }

int HeadlessDialog::LbSetCurSel(int id, int index) {
  Control& c = At(id);
  if (index < 0 || index >= static_cast<int>(c.entries.size())) {
    c.selection = -1;
    return -1;
  }
  c.selection = index;
  return index;
}

int HeadlessDialog::LbGetCurSel(int id) { return At(id).selection; }

size_t HeadlessDialog::LbGetText(int id, int index, char* out, size_t size) {
  Control& c = At(id);
  if (index < 0 || index >= static_cast<int>(c.entries.size())) return CopyOut("", out, size);
  return CopyOut(c.entries[index], out, size);
}

int HeadlessDialog::CbAddString(int id, const char* text) {
  Control& c = At(id);
  if (!c.row.sorted) {
    c.entries.push_back(text);
    return static_cast<int>(c.entries.size()) - 1;
  }
  auto at = std::upper_bound(c.entries.begin(), c.entries.end(), std::string(text));
  int index = static_cast<int>(at - c.entries.begin());
  c.entries.insert(at, text);
  if (c.selection >= index) ++c.selection;
  return index;
}

int HeadlessDialog::CbInsertString(int id, int index, const char* text) { return LbInsertString(id, index, text); }

int HeadlessDialog::CbSetCurSel(int id, int index) {
  Control& c = At(id);
  if (index < 0 || index >= static_cast<int>(c.entries.size())) {
    c.selection = -1;
    c.text.clear();
    return -1;
  }
  c.selection = index;
  c.text = c.entries[index];
  return index;
}

int HeadlessDialog::CbGetCurSel(int id) { return At(id).selection; }
void HeadlessDialog::CbShowDropDown(int id, bool show) { At(id).droppedDown = show; }
void HeadlessDialog::CbGrowDropDown(int id, int grow) { At(id).dropDownGrowth += grow; }

void HeadlessDialog::CheckRadioButton(int first, int last, int check) {
  for (auto& [id, c] : controls_)
    if (id >= first && id <= last) c.checked = (id == check);
}

bool HeadlessDialog::IsDlgButtonChecked(int id) { return At(id).checked; }

void HeadlessDialog::MessageBox(const char* text) {
  boxes.push_back(text);
  if (onBox) onBox(text);
}

void HeadlessDialog::PostCommand(int id) {
  std::lock_guard<test::Mutex> guard(postLock_);
  posted_.push_back(id);
}

std::vector<int> HeadlessDialog::TakePosted() {
  std::lock_guard<test::Mutex> guard(postLock_);
  std::vector<int> out(posted_.begin(), posted_.end());
  posted_.clear();
  return out;
}

void HeadlessDialog::EndDialog(int result) {
  ended = true;
  endResult = result;
}

bool HeadlessDialog::AppendSystemMenu(int commandId, const char* text) {
  if (!hasSystemMenu) return false;
  systemMenu.emplace_back(0, "");  // the separator
  systemMenu.emplace_back(commandId, text);
  return true;
}

void HeadlessDialog::SetIcon(void* icon, bool big) { (big ? bigIcon : smallIcon) = icon; }

void HeadlessDialog::GetClientSize(int* width, int* height) {
  *width = clientWidth;
  *height = clientHeight;
}

void HeadlessDialog::GetIconMetrics(int* width, int* height) {
  *width = iconWidth;
  *height = iconHeight;
}

void HeadlessDialog::PaintIcon(void* icon, int x, int y) { paints.push_back({icon, x, y}); }

void HeadlessDialog::ClickRadio(int id) {
  Control& clicked = At(id);
  for (auto& [other, c] : controls_)
    if (c.row.kind == ControlKind::AutoRadio && c.group == clicked.group) c.checked = (other == id);
}

void HeadlessDialog::TypeComboText(int id, const std::string& text) {
  Control& c = At(id);
  c.text = text;
  c.selection = -1;
  for (size_t i = 0; i < c.entries.size(); ++i)
    if (EqualNoCase(c.entries[i], text)) {
      c.selection = static_cast<int>(i);
      break;
    }
}

}  // namespace platform
