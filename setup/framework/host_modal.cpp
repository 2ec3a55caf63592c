// The host flavour has no windows: a dialog run modally ends at once, as if cancelled. The
// main dialog's tests drive its handlers directly.
#include "setup/framework/afxdialog.h"

namespace fw {

int RunModal(CDialog&) { return kIdCancel; }

}  // namespace fw
