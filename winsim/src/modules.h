// Internal to the stand-in: the start-state functions of its modules, run by winsim::Reset.
#pragma once

namespace winsim::detail {
void ResetCalls();
void ResetCore();
void ResetVersion();
void ResetWindows();
void ResetFileSystem();
void ResetRegistry();
void ResetShell();
}  // namespace winsim::detail
