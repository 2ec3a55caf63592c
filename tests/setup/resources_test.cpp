// The resource script and the table of controls describe one dialog: every control line of
// the script's main dialog must match the table, row for row, and the frame must be as the
// program expects it.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "setup/res/dialog_table.h"

namespace {

std::string ReadRes(const char* name) {
  std::ifstream in(std::string(QUORVEX_RES_DIR) + "/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::map<std::string, int> ResourceIds() {
  std::map<std::string, int> ids = {{"IDOK", 1}, {"IDCANCEL", 2}};
  std::istringstream in(ReadRes("resource.h"));
  std::regex def(R"(#define\s+(\w+)\s+(-?(?:0x)?[0-9A-Fa-f]+))");
  std::smatch m;
  for (std::string line; std::getline(in, line);)
    if (std::regex_search(line, m, def)) ids[m[1]] = static_cast<int>(std::stol(m[2], nullptr, 0));
  return ids;
}

// The block of one dialog, from its DIALOGEX line to END.
std::string DialogBlock(const std::string& rc, const std::string& name) {
  size_t at = rc.find(name + " DIALOGEX");
  if (at == std::string::npos) return "";
  size_t end = rc.find("\nEND", at);
  return rc.substr(at, end - at);
}

struct RcControl {
  std::string text, id, cls, style;
  int x, y, w, h;
};

std::vector<RcControl> Controls(const std::string& block) {
  std::vector<RcControl> out;
  std::regex line(R"re(CONTROL\s+"([^"]*)",(\w+),"(\w+)",([^,]+),(\d+),(\d+),(\d+),(\d+))re");
  for (std::sregex_iterator it(block.begin(), block.end(), line), end; it != end; ++it) {
    const std::smatch& m = *it;
    out.push_back({m[1], m[2], m[3], m[4], std::stoi(m[5]), std::stoi(m[6]), std::stoi(m[7]),
                   std::stoi(m[8])});
  }
  return out;
}

bool Has(const std::string& style, const std::string& flag) {
  std::regex word("(^|[ |])" + flag + "($|[ |])");
  return std::regex_search(style, word);
}

}  // namespace

TEST(Resources, TheMainDialogsControlLinesMatchTheTable) {
  std::string block = DialogBlock(ReadRes("Quorvex.rc"), "IDD_QUORVEX_DIALOG");
  ASSERT_FALSE(block.empty());
  auto ids = ResourceIds();
  auto lines = Controls(block);
  ASSERT_EQ(static_cast<int>(lines.size()), quorvex_res::kMainDialogControlCount);
  for (int i = 0; i < quorvex_res::kMainDialogControlCount; ++i) {
    const platform::ControlRow& t = quorvex_res::kMainDialogControls[i];
    const RcControl& c = lines[i];
    SCOPED_TRACE(c.text + " " + c.id);
    ASSERT_TRUE(ids.count(c.id));
    EXPECT_EQ(ids[c.id], t.id);
    EXPECT_EQ(c.text, t.text);
    EXPECT_EQ(c.x, t.x);
    EXPECT_EQ(c.y, t.y);
    EXPECT_EQ(c.w, t.width);
    EXPECT_EQ(c.h, t.height);
    EXPECT_EQ(Has(c.style, "NOT WS_VISIBLE"), !t.visible);
    EXPECT_EQ(Has(c.style, "WS_DISABLED"), !t.enabled);
    EXPECT_EQ(Has(c.style, "WS_GROUP"), t.group);
    EXPECT_EQ(Has(c.style, "LBS_SORT") || Has(c.style, "CBS_SORT"), t.sorted);
    EXPECT_EQ(Has(c.style, "SS_SUNKEN"), t.sunken);
    using K = platform::ControlKind;
    switch (t.kind) {
      case K::PushButton: EXPECT_TRUE(c.cls == "Button" && Has(c.style, "BS_PUSHBUTTON")); break;
      case K::DefPushButton: EXPECT_TRUE(c.cls == "Button" && Has(c.style, "BS_DEFPUSHBUTTON")); break;
      case K::AutoRadio: EXPECT_TRUE(c.cls == "Button" && Has(c.style, "BS_AUTORADIOBUTTON")); break;
      case K::GroupBox: EXPECT_TRUE(c.cls == "Button" && Has(c.style, "BS_GROUPBOX")); break;
      case K::ListBox: EXPECT_TRUE(c.cls == "ListBox" && Has(c.style, "LBS_NOTIFY")); break;
      case K::ComboBox: EXPECT_TRUE(c.cls == "ComboBox" && Has(c.style, "CBS_DROPDOWN")); break;
      case K::Text: EXPECT_TRUE(c.cls == "Static" && Has(c.style, "SS_LEFT")); break;
      case K::BitmapStatic: EXPECT_TRUE(c.cls == "Static" && Has(c.style, "SS_BITMAP")); break;
      case K::Edit: EXPECT_TRUE(c.cls == "Edit" && Has(c.style, "ES_READONLY") && Has(c.style, "WS_BORDER")); break;
    }
  }
}

TEST(Resources, TheFrameTheAboutBoxTheStringAndTheVersionRecord) {
  std::string rc = ReadRes("Quorvex.rc");
  EXPECT_NE(rc.find("#pragma code_page(65001)"), std::string::npos);
  std::string main = DialogBlock(rc, "IDD_QUORVEX_DIALOG");
  EXPECT_NE(main.find("IDD_QUORVEX_DIALOG DIALOGEX 0, 0, 400, 272"), std::string::npos);
  EXPECT_NE(main.find("CAPTION \"TARVONEL Wireless printer Setup\""), std::string::npos);
  EXPECT_NE(main.find("FONT 9, \"新細明體\""), std::string::npos);
  for (const char* flag : {"WS_CAPTION", "WS_SYSMENU", "WS_MINIMIZEBOX", "WS_MAXIMIZEBOX", "WS_THICKFRAME"})
    EXPECT_TRUE(Has(main.substr(0, main.find('\n', main.find("STYLE"))), flag)) << flag;
  EXPECT_NE(main.find("EXSTYLE WS_EX_APPWINDOW"), std::string::npos);

  std::string about = DialogBlock(rc, "IDD_ABOUTBOX");
  EXPECT_NE(about.find("CAPTION \"關於 Quorvex\""), std::string::npos);
  EXPECT_NE(about.find("\"Quorvex Version 1.0\""), std::string::npos);
  EXPECT_NE(about.find("\"確定\",IDOK"), std::string::npos);
  EXPECT_NE(about.find("ICON            IDR_MAINFRAME"), std::string::npos);

  EXPECT_NE(rc.find("IDS_ABOUTBOX            \"關於 Quorvex(&A)...\""), std::string::npos);
  EXPECT_NE(rc.find("IDR_MAINFRAME ICON \"Quorvex.ico\""), std::string::npos);
  EXPECT_NE(rc.find("FILEVERSION 3,1,5,0"), std::string::npos);
  EXPECT_NE(rc.find("BLOCK \"040404b0\""), std::string::npos);
  EXPECT_NE(rc.find("VALUE \"FileVersion\", \"3, 1, 5, 0\""), std::string::npos);
  EXPECT_NE(rc.find("VALUE \"ProductVersion\", \"3, 1, 5, 0\""), std::string::npos);
  EXPECT_NE(rc.find("VALUE \"InternalName\", \"Quorvex\""), std::string::npos);
  EXPECT_NE(rc.find("VALUE \"OriginalFilename\", \"Quorvex.EXE\""), std::string::npos);
  EXPECT_NE(rc.find("VALUE \"ProductName\", \"Quorvex Application\""), std::string::npos);
  EXPECT_NE(rc.find("VALUE \"Translation\", 0x404, 1200"), std::string::npos);

  auto ids = ResourceIds();
  EXPECT_EQ(ids["IDD_ABOUTBOX"], 100);
  EXPECT_EQ(ids["IDS_ABOUTBOX"], 101);
  EXPECT_EQ(ids["IDD_QUORVEX_DIALOG"], 102);
  EXPECT_EQ(ids["IDR_MAINFRAME"], 128);
}

TEST(Resources, RadioPairsAreRunsOfTheirOwn) {
  // Each auto radio's run (up to the next control that starts a group) holds exactly the
  // pair that the program treats as one.
  std::map<int, int> runOf;
  int run = 0;
  for (const auto& c : quorvex_res::kMainDialogControls) {
    if (c.group) ++run;
    if (c.kind == platform::ControlKind::AutoRadio) runOf[c.id] = run;
  }
  EXPECT_EQ(runOf[IDC_AUTO], runOf[IDC_MANUAL]);
  EXPECT_EQ(runOf[IDC_PLAYSOUND_ON], runOf[IDC_PLAYSOUND_OFF]);
  EXPECT_EQ(runOf[IDC_AUTORUN_ON], runOf[IDC_AUTORUN_OFF]);
  EXPECT_NE(runOf[IDC_PLAYSOUND_ON], runOf[IDC_AUTORUN_ON]);
  EXPECT_NE(runOf[IDC_AUTO], runOf[IDC_PLAYSOUND_ON]);
  EXPECT_EQ(runOf.size(), 6u);
}
