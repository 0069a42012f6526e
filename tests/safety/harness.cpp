#include "harness.h"

#include <commctrl.h>

#include <map>
#include <sstream>

#include "resources/resource.h"
#include "shell/main_window.h"
#include "shell/run_sequence.h"
#include "base/run_state.h"
#include "winsim.h"
#include "winsim_fs.h"
#include "winsim_registry.h"
#include "winsim_shell.h"

namespace safety {

Options& TheOptions() {
  static Options options;
  return options;
}

Prepared Prepare(Machine machine) {
  Prepared p{std::move(machine), DiskSnapshot(), RegistrySnapshot(), Expectation()};
  p.before = DiskSnapshot::Take(p.machine.disk, true);
  p.registryBefore = RegistrySnapshot::Take();
  p.expectation = Expect(p.machine, p.before);
  return p;
}

Prepared PrepareAgain(const Machine& machine) { return Prepare(machine); }

HWND OpenProgramWindow() {
  RunState.hInstance = winsim::ProgramInstance();
  RegisterMainClass(RunState.hInstance);
  InitCommonControls();
  // The template is visible: creating it shows and activates it, which sets up the list and
  // classifies the version, as the first activation does.
  return CreateDialogParamA(RunState.hInstance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, nullptr, 0);
}

RunRecord RunTheProgram(const Fault* fault) {
  HWND window = OpenProgramWindow();
  RunRecord r = RunAgain(window, fault);
  DestroyWindow(window);
  r.leaks = winsim::LeakReport();
  return r;
}

RunRecord RunAgain(HWND window, const Fault* fault) {
  RunRecord r;
  r.mainWindow = window;
  r.errorSeenBefore = RunState.errorSeen != FALSE;
  r.restartPendingBefore = RunState.restartPending != FALSE;
  const HWND list = GetDlgItem(window, IDC_RESULT_LIST);
  const size_t rowMark = winsim::ListRows(list).size();
  const size_t callMark = winsim::CallLog().size();
  const size_t boxMark = winsim::MessageBoxes().size();
  const size_t moveMark = winsim::DelayedMoves().size();
  if (fault != nullptr) winsim::FailCall(fault->api, fault->ordinal, fault->error);

  RunRemoval();

  // A run inserts its rows from the top, above those of earlier runs.
  const std::vector<winsim::ListRow> rows = winsim::ListRows(list);
  r.rows.assign(rows.begin(), rows.begin() + static_cast<long>(rows.size() - rowMark));
  const auto& boxes = winsim::MessageBoxes();
  r.boxes.assign(boxes.begin() + static_cast<long>(boxMark), boxes.end());
  const auto& calls = winsim::CallLog();
  r.calls.assign(calls.begin() + static_cast<long>(callMark), calls.end());
  const auto& moves = winsim::DelayedMoves();
  r.delayedMoves.assign(moves.begin() + static_cast<long>(moveMark), moves.end());
  r.leaks = winsim::LeakReport();
  r.shellMisuses = winsim::ShellMisuses();
  return r;
}

std::vector<std::string> Judge(const Prepared& p, const RunRecord& run, const Fault* fault, const RunRecord* cleanRun,
                               Tally* tally) {
  const DiskSnapshot after = DiskSnapshot::Take(p.machine.disk, false);
  const RegistrySnapshot registryAfter = RegistrySnapshot::Take();
  CheckContext c{&p.machine,     &p.expectation, &p.before, &p.registryBefore, &after,
                 &registryAfter, &run,           fault,     cleanRun};
  std::vector<std::string> problems = Check(c);
  if (tally != nullptr) tally->Add(c);
  return problems;
}

std::string Report(const Prepared& p, const RunRecord& run, const std::vector<std::string>& problems,
                   const std::string& replay) {
  std::ostringstream out;
  out << "replay: " << replay << "\n";
  for (const std::string& problem : problems) out << "  PROBLEM: " << problem << "\n";
  out << p.machine.Describe();
  out << "rows:\n" << DescribeRows(run.rows);
  out << "outcomes the oracle allows:\n";
  for (const Outcome& o : p.expectation.outcomes) {
    if (!o.faultOnly) out << "  " << o.description << " (" << o.rows.size() << " rows)\n";
  }
  for (const winsim::MessageBoxCall& box : run.boxes) {
    std::string text;
    try {
      text = winsim::Utf8(box.text);
    } catch (...) {
      text = box.text;
    }
    out << "box: \"" << text << "\" style " << box.style << "\n";
  }
  out << "disk before the run:\n" << p.before.Describe();
  out << "registry before the run: " << p.registryBefore.keys.size() << " keys, " << p.registryBefore.values.size()
      << " values\n";
  return out.str();
}

DWORD TypicalError(const std::string& api) {
  static const std::map<std::string, DWORD> kErrors = {
      {"GetFileAttributesA", ERROR_ACCESS_DENIED},
      {"SetFileAttributesA", ERROR_ACCESS_DENIED},
      {"DeleteFileA", ERROR_SHARING_VIOLATION},
      {"RemoveDirectoryA", ERROR_SHARING_VIOLATION},
      {"FindFirstFileA", ERROR_ACCESS_DENIED},
      {"FindNextFileA", 59},  // ERROR_UNEXP_NET_ERR: a listing that breaks off
      {"FindClose", ERROR_INVALID_HANDLE},
      {"MoveFileExA", ERROR_ACCESS_DENIED},
      {"GetShortPathNameA", ERROR_ACCESS_DENIED},
      {"GetWindowsDirectoryA", ERROR_NOT_ENOUGH_MEMORY},
      {"GetSystemDirectoryA", ERROR_NOT_ENOUGH_MEMORY},
      {"CreateFileA", ERROR_SHARING_VIOLATION},
      {"GetFileSize", ERROR_INVALID_HANDLE},
      {"CreateFileMappingA", ERROR_DISK_FULL},
      {"MapViewOfFile", ERROR_NOT_ENOUGH_MEMORY},
      {"UnmapViewOfFile", 487},  // ERROR_INVALID_ADDRESS
      {"SetFilePointer", ERROR_INVALID_PARAMETER},
      {"SetEndOfFile", ERROR_ACCESS_DENIED},
      {"CloseHandle", ERROR_INVALID_HANDLE},
      {"PathIsDirectoryEmptyA", ERROR_ACCESS_DENIED},
      {"LoadLibraryA", ERROR_MOD_NOT_FOUND},
      {"GetProcAddress", ERROR_PROC_NOT_FOUND},
      {"RegOpenKeyExA", ERROR_ACCESS_DENIED},
      {"RegEnumKeyExA", ERROR_ACCESS_DENIED},
      {"RegQueryValueExA", ERROR_MORE_DATA},
      {"RegDeleteKeyA", ERROR_ACCESS_DENIED},
      {"RegDeleteValueA", ERROR_ACCESS_DENIED},
      {"RegCloseKey", ERROR_INVALID_HANDLE},
      {"RegFlushKey", ERROR_ACCESS_DENIED},
      {"SHGetMalloc", 0x8007000E},                 // E_OUTOFMEMORY
      {"SHGetSpecialFolderLocation", 0x80004005},  // E_FAIL
      {"SHGetPathFromIDListA", ERROR_INVALID_PARAMETER},
      {"LoadStringA", 1814},  // ERROR_RESOURCE_NAME_NOT_FOUND
      {"MessageBoxA", 1400},  // ERROR_INVALID_WINDOW_HANDLE
      {"GetCPInfo", ERROR_INVALID_PARAMETER},
  };
  auto it = kErrors.find(api);
  return it == kErrors.end() ? 31 : it->second;  // ERROR_GEN_FAILURE
}

}  // namespace safety
