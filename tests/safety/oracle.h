// The independent oracle. From the tables (plan_tables.h) and the machine as it was before a
// run, and never from the program's code, it works out what a run may do: the rows it must
// show (for each outcome the tool's rules leave open), and the files, folders, keys and values
// it may remove. After the run it checks that nothing else went: every removed item is in the
// set, every other item is intact (canaries included), nothing was added but the rename file,
// the rename file kept its bytes and gained only whole, well-formed lines, every status agrees
// with what happened to its item, every handle was released, and the summary or the stop is the
// one the rules give.
#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "generator.h"
#include "plan_tables.h"
#include "snapshot.h"
#include "winsim.h"
#include "winsim_fs.h"

namespace safety {

enum class RowKind {
  Section,
  Detect,         // the install folder could not be found
  FileDefer,      // deleted, or put off until restart
  FileNoDefer,    // the Windows 95 INF files: deleted or not, never deferred
  MenuTree,       // a Start-menu folder with everything in it
  InstallFolder,  // the install folder, only when empty
  Key,
  Value,
};

struct ExpectedRow {
  RowKind kind;
  std::string text;                // code page 932
  std::string id;                  // canonical disk key, or registry KeyId, or value id; "" when none
  bool prefixMayBeShown = false;   // a text too long for the row may be shown cut short
  bool removable = true;           // may this item be removed at all (INF outside its folder: no)
  bool simpleText = true;          // the path is plain enough for a firm prediction of its status
  bool mandatory = false;          // no failure of a platform call can take this row away
  bool fromInstallFolder = false;  // composed from the install folder the registry names
};

struct Outcome {
  std::string description;
  bool faultOnly = false;  // reachable only when a platform call fails (the fault sweep)
  bool stops = false;
  std::string stopLabel;  // "Windows", "System", "System32"
  bool refused = false;   // no rows at all: the box that asks for an administrator
  bool installFound = false;
  std::string installFolder;
  std::vector<ExpectedRow> rows;
};

struct Expectation {
  std::vector<Outcome> outcomes;          // what the rules allow, in order of preference
  std::string renameFileKey;              // canonical key of the Windows folder's "wininit.ini"
  std::set<std::string> allowedKeyTrees;  // registry KeyIds whose whole tree may go
  std::string allowedValue;               // "KEYID|FOLDEDNAME", or ""
  // Values as they were before the run: (root name + "\" + key, folded name) -> bytes.
  std::map<std::pair<std::string, std::string>, std::string> valuesBefore;
  // Registry facts the status rules need, read before the run.
  std::set<std::string> valueIdsBefore;  // "KEYID|FOLDEDNAME"

  // What is never the package's, worked out from the machine alone and not from the tool's
  // rules for the install folder: the folders the system names (Windows, system, every shell
  // folder, the registry's Program Files and Common Files), each folder on their way and above
  // them; other programs' and the user's folders, whole; and, as exceptions, the items of the
  // plan that come from the fixed tables (never from the install folder).
  std::set<std::string> systemFolders;  // canonical keys
  std::vector<std::string> foreignTrees;
  std::set<std::string> fixedNodes, fixedTrees;
  std::set<std::string> installNames;  // folded names of the install folder's files
};

// What a run did, as the stand-in recorded it.
struct RunRecord {
  std::vector<winsim::ListRow> rows;  // the rows this run added, top to bottom
  // The run-wide flags as an earlier run of the same process left them (they are never cleared).
  bool errorSeenBefore = false;
  bool restartPendingBefore = false;
  std::vector<winsim::MessageBoxCall> boxes;
  HWND mainWindow = nullptr;
  std::vector<std::string> calls;  // every Win32 call of the run, in order
  std::vector<winsim::DelayedMove> delayedMoves;
  std::string leaks;
  int shellMisuses = 0;
};

// The one platform call a fault-sweep run makes fail.
struct Fault {
  std::string api;
  int ordinal = 0;  // 1-based, among the run's calls of `api`
  DWORD error = 0;
  // The call answers "not there" (or "no more") for an item that is there, as when another
  // program takes it away at that moment: statuses of absence are then no lie.
  bool vanished = false;
};

Expectation Expect(const Machine& m, const DiskSnapshot& before);

struct CheckContext {
  const Machine* machine;
  const Expectation* expectation;
  const DiskSnapshot* before;
  const RegistrySnapshot* registryBefore;
  const DiskSnapshot* after;
  const RegistrySnapshot* registryAfter;
  const RunRecord* run;
  const Fault* fault = nullptr;         // the sweep's fault, or null
  const RunRecord* cleanRun = nullptr;  // the sweep's run without a fault
};

// Every violation, one line each; empty when the run was safe and correct.
std::vector<std::string> Check(const CheckContext& c);

// Figures for the report.
struct Tally {
  long runs = 0, stops = 0, rows = 0, removedEntries = 0, keptEntries = 0, removedKeys = 0, keptKeys = 0;
  long delayedMoves = 0;
  std::map<std::string, long> statuses;
  void Add(const CheckContext& c);
  std::string Describe() const;
};

std::string DescribeRows(const std::vector<winsim::ListRow>& rows);

}  // namespace safety
