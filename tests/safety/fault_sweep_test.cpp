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
#include <tuple>

#include "harness.h"
#include "base/os_kind.h"

namespace safety {
namespace {

// The "not there" answer a call can give for an item another program took away meanwhile, for
// the calls that can give one; 0 for the others.
DWORD VanishedError(const std::string& api) {
  static const std::map<std::string, DWORD> kErrors = {
      {"GetFileAttributesA", ERROR_FILE_NOT_FOUND}, {"SetFileAttributesA", ERROR_FILE_NOT_FOUND},
      {"DeleteFileA", ERROR_FILE_NOT_FOUND},        {"RemoveDirectoryA", ERROR_FILE_NOT_FOUND},
      {"FindFirstFileA", ERROR_PATH_NOT_FOUND},     {"FindNextFileA", ERROR_NO_MORE_FILES},
      {"MoveFileExA", ERROR_FILE_NOT_FOUND},        {"GetShortPathNameA", ERROR_FILE_NOT_FOUND},
      {"CreateFileA", ERROR_PATH_NOT_FOUND},        {"PathIsDirectoryEmptyA", ERROR_FILE_NOT_FOUND},
      {"RegOpenKeyExA", ERROR_FILE_NOT_FOUND},      {"RegEnumKeyExA", ERROR_NO_MORE_ITEMS},
      {"RegQueryValueExA", ERROR_FILE_NOT_FOUND},   {"RegDeleteKeyA", ERROR_FILE_NOT_FOUND},
      {"RegDeleteValueA", ERROR_FILE_NOT_FOUND},
  };
  auto it = kErrors.find(api);
  return it == kErrors.end() ? 0 : it->second;
}

enum class Errors { Typical, Vanished };
void PrintTo(Errors errors, std::ostream* out) {
  *out << (errors == Errors::Typical ? "typical errors" : "items vanishing");
}
class FaultSweep : public ::testing::TestWithParam<std::tuple<int, Errors>> {};

TEST_P(FaultSweep, EveryCallOfAFullRunFailsInTurn) {
  const int kind = std::get<0>(GetParam());
  const bool vanished = std::get<1>(GetParam()) == Errors::Vanished;
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
  int failures = 0, faulted = 0;
  for (size_t i = 0; i < cleanRun.calls.size(); ++i) {
    const std::string& api = cleanRun.calls[i];
    const int ordinal = ++ordinals[api];
    const DWORD error = vanished ? VanishedError(api) : TypicalError(api);
    if (error == 0) continue;
    apis.insert(api);
    ++faulted;
    const Fault fault{api, ordinal, error, vanished};
    const std::string what = "call " + std::to_string(i) + ": " + api + " #" + std::to_string(fault.ordinal) +
                             " fails with " + std::to_string(fault.error);
    SetCurrentRun(0, what);
    // The same machine again (a seed always gives the same one): what the oracle knew of it
    // before the clean run holds for this run too.
    GenerateFull(kind);
    const Prepared& p = clean;
    const RunRecord run = RunTheProgram(&fault);
    const std::vector<std::string> problems = Judge(p, run, &fault, &cleanRun, &tally);
    if (!problems.empty()) {
      ADD_FAILURE() << what << "\n" << Report(p, run, problems, what);
      if (++failures >= 8) break;
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cout << "[ sweep ] OsKind " << kind << (vanished ? ", items vanishing" : ", typical errors") << ": " << faulted
            << " of the run's " << cleanRun.calls.size() << " calls, of " << apis.size()
            << " functions, failed one at a time in " << seconds << " s; " << tally.Describe() << "\n";
}

// Generated machines, with their links, unshowable names, long paths and odd registrations,
// swept the same way (typical errors). The first machines from seed 1 whose run does not stop
// at the base folders are taken; --sweep-machines sets how many.
TEST(FaultSweepOfGeneratedMachines, EveryCallFailsInTurn) {
  const long wanted = TheOptions().sweepMachines;
  long swept = 0, faulted = 0;
  int failures = 0;
  const auto start = std::chrono::steady_clock::now();
  for (uint64_t seed = 1; swept < wanted && seed < 10000; ++seed) {
    SetCurrentRun(seed, "the generated machine without a fault");
    Prepared clean = Prepare(Generate(seed));
    const RunRecord cleanRun = RunTheProgram(nullptr);
    if (cleanRun.rows.size() <= 1) continue;  // stops at the base folders: little to sweep
    const std::vector<std::string> cleanProblems = Judge(clean, cleanRun, nullptr, nullptr, nullptr);
    ASSERT_TRUE(cleanProblems.empty()) << Report(clean, cleanRun, cleanProblems, "seed " + std::to_string(seed));
    ++swept;
    std::map<std::string, int> ordinals;
    for (size_t i = 0; i < cleanRun.calls.size() && failures < 8; ++i) {
      const std::string& api = cleanRun.calls[i];
      const Fault fault{api, ++ordinals[api], TypicalError(api), false};
      const std::string what = "seed " + std::to_string(seed) + ", call " + std::to_string(i) + ": " + api + " #" +
                               std::to_string(fault.ordinal) + " fails with " + std::to_string(fault.error);
      SetCurrentRun(seed, what);
      Generate(seed);
      const Prepared& p = clean;
      const RunRecord run = RunTheProgram(&fault);
      const std::vector<std::string> problems = Judge(p, run, &fault, &cleanRun, nullptr);
      ++faulted;
      if (!problems.empty()) {
        ADD_FAILURE() << what << "\n" << Report(p, run, problems, what);
        ++failures;
      }
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cout << "[ sweep ] " << swept << " generated machines: " << faulted << " calls failed one at a time in "
            << seconds << " s\n";
}

INSTANTIATE_TEST_SUITE_P(Families, FaultSweep,
                         ::testing::Combine(::testing::Values(OsWinXP, OsWin98, OsWin95),
                                            ::testing::Values(Errors::Typical, Errors::Vanished)),
                         [](const ::testing::TestParamInfo<std::tuple<int, Errors>>& info) {
                           const int kind = std::get<0>(info.param);
                           return std::string(kind == OsWinXP   ? "WindowsXP"
                                              : kind == OsWin98 ? "Windows98"
                                                                : "Windows95") +
                                  (std::get<1>(info.param) == Errors::Typical ? "TypicalErrors" : "ItemsVanishing");
                         });

}  // namespace
}  // namespace safety
