// Host flavour only: how often a dialog of a template was run modally in this process.
#pragma once

namespace fw {
int HostModalRuns(int templateId);
}  // namespace fw
