// Stand-in for the connection-state monitor until setup/monitor.cpp exists (the build then
// drops this file): no thread is started.
#include "setup/QuorvexDlg.h"

void CQuorvexDlg::StartMonitor() {}
void CQuorvexDlg::StopMonitor() {}
void CQuorvexDlg::MonitorConnectState(void*) {}
