// The property: on any installation the generator makes, a run removes nothing outside what
// the tables allow for that machine, leaves every canary intact, releases every handle, shows
// one row per processed item with a status that agrees with what happened to it, keeps the
// rename file sound, and ends with the summary (or the stop) the rules give.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>

#include "harness.h"

namespace safety {
namespace {

std::string Replay(uint64_t seed) {
  return "build/host/tests/safety/safety_tests --seed " + std::to_string(seed) +
         " --gtest_filter=GeneratedInstallations.*";
}

TEST(GeneratedInstallations, RunsRemoveOnlyWhatThePlanAllowsAndReportItTruly) {
  const Options& o = TheOptions();
  const uint64_t first = o.seedGiven ? o.seed : o.first;
  const uint64_t count = o.seedGiven ? 1 : static_cast<uint64_t>(o.count);
  Tally tally;
  int failures = 0;
  const auto start = std::chrono::steady_clock::now();
  for (uint64_t seed = first; seed < first + count; ++seed) {
    SetCurrentRun(seed, "generated installation");
    Prepared p = Prepare(Generate(seed));
    const RunRecord run = RunTheProgram(nullptr);
    const std::vector<std::string> problems = Judge(p, run, nullptr, nullptr, &tally);
    if (!problems.empty()) {
      ADD_FAILURE() << "seed " << seed << ": " << problems.size() << " problem(s)\n" << Report(p, run, problems, Replay(seed));
      if (++failures >= 5) break;
    } else if (o.seedGiven) {
      std::cout << Report(p, run, problems, Replay(seed));
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cout << "[ safety ] " << count << " installations from seed " << first << " in " << seconds << " s: "
            << tally.Describe() << "\n";
}

// The same seed gives the same machine: a failure can always be replayed.
TEST(GeneratedInstallations, TheSameSeedGivesTheSameMachine) {
  for (uint64_t seed : {7u, 1234u, 99991u}) {
    Prepared a = Prepare(Generate(seed));
    const std::string disk = a.before.Describe();
    const size_t keys = a.registryBefore.keys.size(), values = a.registryBefore.values.size();
    Prepared b = Prepare(Generate(seed));
    EXPECT_EQ(a.machine.Describe(), b.machine.Describe()) << "seed " << seed;
    EXPECT_EQ(disk, b.before.Describe()) << "seed " << seed;
    EXPECT_EQ(keys, b.registryBefore.keys.size()) << "seed " << seed;
    EXPECT_EQ(values, b.registryBefore.values.size()) << "seed " << seed;
  }
}

}  // namespace
}  // namespace safety
