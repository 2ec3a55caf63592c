// The host flavour has no windows: a modal run only counts, per template, so that tests can
// see which dialogs the program opened. The main dialog's tests drive its handlers directly.
#include <map>
#include <mutex>

#include "setup/framework/afxdialog.h"
#include "setup/framework/host_modal.h"

namespace fw {

namespace {
std::mutex g_lock;
std::map<int, int> g_runs;
}  // namespace

int CDialog::DoModal() {
  std::lock_guard<std::mutex> guard(g_lock);
  ++g_runs[TemplateId()];
  return kIdCancel;
}

int HostModalRuns(int templateId) {
  std::lock_guard<std::mutex> guard(g_lock);
  return g_runs[templateId];
}

}  // namespace fw
