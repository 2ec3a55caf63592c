// The main dialog's controls (template IDD_QUORVEX_DIALOG), in template order. Quorvex.rc
// declares the same controls; a test holds the two to each other, and the host tests build
// their headless dialog from this table.
#pragma once
#include "platform/dialog_controls.h"
#include "setup/res/resource.h"

namespace quorvex_res {

using platform::ControlKind;
using platform::ControlRow;

constexpr bool kShown = true, kHidden = false;
constexpr bool kOn = true, kOff = false;

// id, kind, text, x, y, w, h, shown, enabled, group, sorted, sunken
constexpr ControlRow kMainDialogControls[] = {
    {IDOK, ControlKind::DefPushButton, "EXIT", 340, 20, 50, 25, kShown, kOn, true, false, false},
    {IDCANCEL, ControlKind::PushButton, "CANCEL", 350, 160, 50, 14, kHidden, kOn, false, false, false},
    {IDC_SAVESETTING, ControlKind::PushButton, "SaveSetting", 350, 200, 50, 14, kHidden, kOn, false, false, false},
    {IDC_PRINTER_LIST, ControlKind::ListBox, "", 85, 110, 85, 71, kShown, kOn, false, false, false},
    {IDC_QUERY, ControlKind::PushButton, "Query Printer", 15, 20, 55, 14, kShown, kOn, false, false, false},
    {IDC_CONNECT, ControlKind::PushButton, "Connect", 15, 146, 55, 14, kHidden, kOff, false, false, false},
    {IDC_ENTER_DATA_MODE, ControlKind::PushButton, "EnterDataMode", 15, 151, 55, 14, kHidden, kOff, false, false, false},
    {IDC_END_DATA_MODE, ControlKind::PushButton, "End Data Mode", 20, 156, 55, 14, kHidden, kOff, false, false, false},
    {IDC_DISCONNECT, ControlKind::PushButton, "Disconnect", 25, 161, 55, 14, kHidden, kOff, false, false, false},
    {IDC_OPENCOM, ControlKind::PushButton, "OpenCom", 347, 118, 50, 14, kHidden, kOn, false, false, false},
    {IDC_CLOSECOM, ControlKind::PushButton, "CloseCom", 350, 150, 50, 14, kHidden, kOn, false, false, false},
    {IDC_STATUS_LIST, ControlKind::ListBox, "", 188, 111, 167, 148, kShown, kOn, false, true, false},
    {IDC_HOST_RESET, ControlKind::PushButton, "BT_Host Reset", 10, 141, 55, 14, kHidden, kOff, false, false, false},
    {IDC_HOST_LIST, ControlKind::ListBox, "", 85, 50, 85, 10, kShown, kOn, false, false, false},
    {IDC_UNUSED_LIST, ControlKind::ListBox, "", 355, 220, 45, 15, kHidden, kOn, false, false, false},
    {IDC_COMPORT, ControlKind::ComboBox, "", 84, 20, 85, 30, kShown, kOn, false, false, false},
    {IDC_AUTO, ControlKind::AutoRadio, "Auto", 360, 233, 30, 10, kHidden, kOff, true, false, false},
    {IDC_MANUAL, ControlKind::AutoRadio, "Manual ", 360, 243, 35, 10, kHidden, kOff, false, false, false},
    {IDC_LOGO, ControlKind::BitmapStatic, "logo.bmp", 340, 15, 11, 11, kShown, kOn, true, false, false},
    {IDC_HELPTEXT, ControlKind::PushButton, "?", 340, 55, 50, 14, kShown, kOn, false, false, false},
    {IDC_MYTEST, ControlKind::PushButton, "MyTest", 350, 170, 50, 14, kHidden, kOn, false, false, false},
    {IDC_CONNECT_PRINTER, ControlKind::PushButton, "Connect Printer", 16, 111, 55, 14, kShown, kOn, false, false, false},
    {IDC_CHANGE_BAUDRATE, ControlKind::PushButton, "ChangeBaudrate", 5, 35, 55, 14, kHidden, kOff, false, false, false},
    {IDC_BAUDRATE, ControlKind::ComboBox, "", 5, 15, 35, 30, kHidden, kOff, false, false, false},
    {IDC_PARITY, ControlKind::ComboBox, "", 30, 10, 20, 30, kHidden, kOff, false, false, false},
    {IDC_STOPBITS, ControlKind::ComboBox, "", 70, 10, 20, 30, kHidden, kOff, false, false, false},
    {IDC_DATABITS, ControlKind::ComboBox, "", 50, 10, 20, 30, kHidden, kOff, false, true, false},
    {IDC_STATE_COM1, ControlKind::Text, "COM1", 116, 206, 44, 8, kShown, kOn, false, false, true},
    {IDC_STATE_COM2, ControlKind::Text, "COM2", 116, 217, 44, 8, kShown, kOn, false, false, true},
    {IDC_STATE_COM3, ControlKind::Text, "COM3", 116, 228, 44, 8, kShown, kOn, false, false, true},
    {IDC_STATE_COM4, ControlKind::Text, "COM4", 116, 239, 44, 8, kShown, kOn, false, false, true},
    {IDC_THREADMSG, ControlKind::PushButton, "ThreadMsg", 350, 185, 50, 14, kHidden, kOn, false, false, false},
    {IDC_PLAYSOUND_ON, ControlKind::AutoRadio, "On", 25, 199, 25, 8, kShown, kOn, true, false, false},
    {IDC_PLAYSOUND_OFF, ControlKind::AutoRadio, "Off", 25, 212, 26, 8, kShown, kOn, false, false, false},
    {IDC_AUTORUN_ON, ControlKind::AutoRadio, "On", 25, 236, 25, 8, kShown, kOn, true, false, false},
    {IDC_AUTORUN_OFF, ControlKind::AutoRadio, "Off", 25, 248, 26, 8, kShown, kOn, false, false, false},
    {IDC_VERSION_QUORVEX, ControlKind::Edit, "", 281, 27, 35, 12, kShown, kOn, true, false, false},
    {IDC_VERSION_MENDALIX, ControlKind::Edit, "", 281, 43, 35, 12, kShown, kOn, false, false, false},
    {IDC_VERSION_DRIVER, ControlKind::Edit, "", 281, 58, 35, 12, kShown, kOn, false, false, false},
    {IDC_VERSION_DONGLE, ControlKind::Edit, "", 281, 74, 35, 12, kShown, kOn, false, false, false},
    {IDC_STATIC, ControlKind::Text, "PrinterDongle:       Address", 92, 100, 85, 8, kShown, kOn, false, false, false},
    {IDC_STATIC, ControlKind::Text, "TerminalDongle:  Address", 85, 40, 82, 8, kShown, kOn, false, false, false},
    {IDC_STATIC, ControlKind::Text, "Status", 188, 101, 44, 8, kShown, kOn, false, false, false},
    {IDC_STATIC, ControlKind::GroupBox, "Connection State", 86, 189, 84, 70, kShown, kOn, false, false, false},
    {IDC_STATIC, ControlKind::Text, "COM1", 91, 206, 21, 8, kShown, kOn, false, false, false},
    {IDC_STATIC, ControlKind::Text, "COM2", 91, 217, 21, 8, kShown, kOn, false, false, false},
    {IDC_STATIC, ControlKind::Text, "COM3", 91, 228, 21, 8, kShown, kOn, false, false, false},
    {IDC_STATIC, ControlKind::Text, "COM4", 91, 239, 21, 8, kShown, kOn, false, false, false},
    {IDC_STATIC, ControlKind::Text, "[[  Connection State  ]]", 95, 264, 79, 8, kHidden, kOn, false, false, false},
    {IDC_STATIC, ControlKind::GroupBox, "PlaySound", 15, 189, 48, 33, kShown, kOn, false, false, false},
    {IDC_STATIC, ControlKind::GroupBox, "AutoRun", 15, 226, 48, 33, kShown, kOn, false, false, false},
    {IDC_STATIC, ControlKind::GroupBox, "Version", 190, 16, 140, 74, kShown, kOn, false, false, false},
    {IDC_STATIC, ControlKind::Text, "Quorvex.exe", 211, 29, 45, 8, kShown, kOn, false, false, false},
    {IDC_STATIC, ControlKind::Text, "Mendalix.dll", 211, 45, 45, 8, kShown, kOn, false, false, false},
    {IDC_STATIC, ControlKind::Text, "Sarnovek.sys", 211, 60, 45, 8, kShown, kOn, false, false, false},
    {IDC_STATIC, ControlKind::Text, "TerminalDongle", 211, 77, 59, 8, kShown, kOn, false, false, false},
    {IDC_STATIC, ControlKind::GroupBox, "BT Connect", 355, 225, 41, 35, kHidden, kOn, false, false, false},
};

constexpr int kMainDialogControlCount =
    static_cast<int>(sizeof(kMainDialogControls) / sizeof(kMainDialogControls[0]));

}  // namespace quorvex_res
