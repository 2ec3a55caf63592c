// A dialog without a window for host tests: every control of a template's table, with its
// text, enabled and shown state, list and combo entries and selection, and radio checks, as
// the Win32 controls keep them. Boxes, posted commands, the system menu, icons and paints
// are recorded for the test to look at.
//
// Like the real controls, setting a selection sends no notification; a test that plays the
// user sends the notification itself (see the tests' helpers). Thread safe for PostCommand
// only, as the real dialog.
#pragma once
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/dialog_controls.h"
#include "platform/test_threads.h"

namespace platform {

class HeadlessDialog : public DialogControls {
 public:
  struct Control {
    ControlRow row{};
    std::string text;
    bool enabled = true;
    bool visible = true;
    bool checked = false;
    std::vector<std::string> entries;
    int selection = -1;
    bool droppedDown = false;
    int dropDownGrowth = 0;
    int group = 0;      // radio run this control belongs to
    int textSets = 0;   // SetText calls that changed nothing count too
  };

  HeadlessDialog(const ControlRow* rows, int count);

  // DialogControls.
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
  bool IsIconic() override { return iconic; }
  void GetClientSize(int* width, int* height) override;
  void GetIconMetrics(int* width, int* height) override;
  void PaintIcon(void* icon, int x, int y) override;

  // The user's side.
  // Clicks an automatic radio button: it is checked and the others of its run cleared.
  void ClickRadio(int id);
  // Types text into a combo's edit field: the entry equal to it (ignoring case) becomes the
  // selection, none when no entry matches.
  void TypeComboText(int id, const std::string& text);

  // Test access.
  Control& At(int id);  // a missing id fails the test program (abort)
  std::string Text(int id) { return At(id).text; }
  std::vector<std::string> Entries(int id) { return At(id).entries; }
  int Selection(int id) { return At(id).selection; }
  std::vector<int> TakePosted();  // the commands posted so far, oldest first

  std::vector<std::string> boxes;        // message box texts, in order
  std::function<void(const std::string&)> onBox;  // runs while a box is "open"
  std::vector<std::pair<int, std::string>> systemMenu;
  bool hasSystemMenu = true;
  void* bigIcon = nullptr;
  void* smallIcon = nullptr;
  bool iconic = false;
  int clientWidth = 600, clientHeight = 440;
  int iconWidth = 32, iconHeight = 32;
  struct Paint { void* icon; int x, y; };
  std::vector<Paint> paints;
  bool ended = false;
  int endResult = 0;

 private:
  std::map<int, Control> controls_;
  test::Mutex postLock_;
  std::deque<int> posted_;
};

}  // namespace platform
