// The fault sweep: a full run on a machine of each family, once for every platform call the
// run makes, with that one call failing with a typical error. Every such run must end without
// a crash, remove nothing outside the plan, release what it acquired (all but the one thing
// whose release was made to fail), stop only where a base folder cannot be read (with its
// error box), and never end with a summary of success after an error row.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <map>
#include <set>

#include "harness.h"
#include "shell/os_kind.h"

namespace safety {
namespace {

class FaultSweep : public ::testing::TestWithParam<int> {};

TEST_P(FaultSweep, EveryCallOfAFullRunFailsInTurn) {
  const int kind = GetParam();
  const auto start = std::chrono::steady_clock::now();
  SetCurrentRun(0, "the full run without a fault");
  Tally tally;
  Prepared clean = Prepare(GenerateFull(kind));
  const RunRecord cleanRun = RunTheProgram(nullptr);
  const std::vector<std::string> cleanProblems = Judge(clean, cleanRun, nullptr, nullptr, nullptr);
  ASSERT_TRUE(cleanProblems.empty()) << Report(clean, cleanRun, cleanProblems, "the full run without a fault");
  ASSERT_GT(cleanRun.calls.size(), 100u);

  std::map<std::string, int> ordinals;
  std::set<std::string> apis;
  int failures = 0;
  for (size_t i = 0; i < cleanRun.calls.size(); ++i) {
    const std::string& api = cleanRun.calls[i];
    apis.insert(api);
    const Fault fault{api, ++ordinals[api], TypicalError(api)};
    const std::string what = "call " + std::to_string(i) + ": " + api + " #" + std::to_string(fault.ordinal) +
                             " fails with " + std::to_string(fault.error);
    SetCurrentRun(0, what);
    Prepared p = Prepare(GenerateFull(kind));
    const RunRecord run = RunTheProgram(&fault);
    const std::vector<std::string> problems = Judge(p, run, &fault, &cleanRun, &tally);
    if (!problems.empty()) {
      ADD_FAILURE() << what << "\n" << Report(p, run, problems, what);
      if (++failures >= 8) break;
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cout << "[ sweep ] OsKind " << kind << ": " << cleanRun.calls.size() << " calls of " << apis.size()
            << " functions faulted one at a time in " << seconds << " s; " << tally.Describe() << "\n";
}

INSTANTIATE_TEST_SUITE_P(Families, FaultSweep, ::testing::Values(OsWinXP, OsWin98, OsWin95),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param == OsWinXP ? std::string("WindowsXP")
                                  : info.param == OsWin98 ? std::string("Windows98")
                                                          : std::string("Windows95");
                         });

}  // namespace
}  // namespace safety
