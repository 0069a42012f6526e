// Running the program on a generated machine, and judging the run with the oracle: the steps
// shared by the property test, the fault sweep and the oracle's own tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "generator.h"
#include "oracle.h"
#include "snapshot.h"

namespace safety {

// Options of the safety suite's command line (see safety_main.cpp).
struct Options {
  long count = 100;        // generated installations of the property test
  uint64_t first = 1;      // first seed
  bool seedGiven = false;  // --seed: replay one machine and show it
  uint64_t seed = 0;
  long sweepMachines = 2;  // generated machines whose every call the sweep fails in turn
};
Options& TheOptions();
// What is running now, printed if the process dies.
void SetCurrentRun(uint64_t seed, const std::string& what);

// A machine with what the oracle knows about it before the run.
struct Prepared {
  Machine machine;
  DiskSnapshot before;
  RegistrySnapshot registryBefore;
  Expectation expectation;
};
// Snapshots and expectations of the machine just generated (the stand-in holds it).
Prepared Prepare(Machine machine);

// The program's main window, open and activated (the version classified), as after start-up.
HWND OpenProgramWindow();

// Opens the program's window (which classifies the version), presses Run by calling the run
// sequence, and records what the run did. With a fault, the call `fault->api` fails with
// `fault->error` at its `fault->ordinal`th call of the run.
RunRecord RunTheProgram(const Fault* fault);
// Presses Run once more in the open window `window`, as a user may after a first run.
RunRecord RunAgain(HWND window, const Fault* fault);
// Snapshots and expectations of the machine as a run left it, for a second run.
Prepared PrepareAgain(const Machine& machine);

// Snapshots after the run and every violation the oracle finds; `tally` collects figures.
std::vector<std::string> Judge(const Prepared& p, const RunRecord& run, const Fault* fault, const RunRecord* cleanRun,
                               Tally* tally);

// Everything a reader needs to understand a failing machine, and how to replay it.
std::string Report(const Prepared& p, const RunRecord& run, const std::vector<std::string>& problems,
                   const std::string& replay);

// The error a failing call of `api` typically gives.
DWORD TypicalError(const std::string& api);

}  // namespace safety
