// The property: on any installation the generator makes, a run removes nothing outside what
// the tables allow for that machine, leaves every canary intact, releases every handle, shows
// one row per processed item with a status that agrees with what happened to it, keeps the
// rename file sound, and ends with the summary (or the stop) the rules give.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <map>
#include <set>

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
  // Every failing installation is counted; the first few are shown in full.
  int failures = 0;
  std::string failingSeeds;
  // Failing runs by the kind of each problem (its text up to ":" or a count of rows), and those
  // that touched what is not the package's.
  std::map<std::string, int> kinds;
  int notThePackages = 0;
  auto classify = [&](const std::vector<std::string>& problems) {
    std::set<std::string> seen;
    for (const std::string& p : problems) seen.insert(p.substr(0, std::min(p.find(':'), p.find(" ("))));
    for (const std::string& k : seen) kinds[k]++;
    for (const std::string& p : problems) {
      if (p.find("not the package's") != std::string::npos) {
        ++notThePackages;
        break;
      }
    }
  };
  const auto start = std::chrono::steady_clock::now();
  for (uint64_t seed = first; seed < first + count; ++seed) {
    SetCurrentRun(seed, "generated installation");
    Prepared p = Prepare(Generate(seed));
    const HWND window = OpenProgramWindow();
    const RunRecord run = RunAgain(window, nullptr);
    std::vector<std::string> problems = Judge(p, run, nullptr, nullptr, &tally);
    if (!problems.empty()) {
      if (++failures <= 5) {
        ADD_FAILURE() << "seed " << seed << ": " << problems.size() << " problem(s)\n"
                      << Report(p, run, problems, Replay(seed));
      }
      failingSeeds += " " + std::to_string(seed);
      classify(problems);
    } else if (o.seedGiven) {
      std::cout << Report(p, run, problems, Replay(seed));
    }
    // One machine in four: Run is pressed again, on what the first run left and with the flags
    // it raised, as a user may do.
    if (problems.empty() && seed % 4 == 0) {
      Prepared again = PrepareAgain(p.machine);
      const RunRecord second = RunAgain(window, nullptr);
      problems = Judge(again, second, nullptr, nullptr, &tally);
      if (!problems.empty()) {
        if (++failures <= 5) {
          ADD_FAILURE() << "seed " << seed << ", second run: " << problems.size() << " problem(s)\n"
                        << Report(again, second, problems, Replay(seed));
        }
        failingSeeds += " " + std::to_string(seed) + "(second run)";
        classify(problems);
      }
    }
    DestroyWindow(window);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cout << "[ safety ] " << count << " installations from seed " << first << " in " << seconds
            << " s: " << tally.Describe() << "\n";
  if (failures > 0) {
    std::string byKind;
    for (const auto& [kind, runs] : kinds) byKind += "\n  " + std::to_string(runs) + " run(s): " + kind;
    ADD_FAILURE() << failures << " failing run(s), " << notThePackages
                  << " of them touching what is not the package's; seeds:" << failingSeeds << byKind;
  }
}

// The generator makes what it promises: over a few hundred seeds every hostile shape turns up on
// the machine (the shapes the stand-in's test side confirmed after making them, not the ones the
// generator merely chose).
TEST(GeneratedInstallations, EveryHostileShapeTurnsUp) {
  std::vector<std::string> shapes = {
      // versions and base folders
      "Windows 95",
      "Windows 95 OSR2",
      "Windows 98",
      "Windows Me",
      "Windows NT 4.0",
      "Windows 2000",
      "Windows XP",
      "Windows folder reported as \"\"",
      "(254 bytes)",
      "(255 bytes)",
      "(258 bytes)",
      "system folder reported as \"\"",
      "Windows folder reported as \"C:\\OS\\WINDOWS\"",
      // shell folders
      "no location",
      "no path",
      ": resolvable \"\"",
      "(absent)",
      "the registry names ProgramFilesDir",
      "the registry names CommonFilesDir",
      // files, folders, links
      "in use:",
      "delete denied:",
      "attributes cannot be set:",
      "attributes cannot be read:",
      "cannot be listed:",
      "deep path",
      "folder in place of a file",
      "file in place of the menu folder",
      "link ",
      "(a drive root)",
      "\\LinkedMenu",
      "install folder cannot be deleted",
      // the install folder
      "install folder: plain",
      "install folder: double-byte",
      "install folder: on another drive",
      "install folder: long",
      "install folder: inside a Start-menu folder",
      "install folder: a junction to a canary folder",
      "install folder: missing",
      "install folder: written with a trailing dot",
      "install folder: a share",
      "install folder: the Windows folder,",
      "install folder: the system folder,",
      "install folder: a folder above the Windows folder,",
      "install folder: a folder above shell folder",
      "install folder: the registry's ProgramFilesDir,",
      "install folder: the registry's CommonFilesDir,",
      ", as the system names it",
      ", in other letter case",
      ", by its 8.3 alias",
      ", with a trailing dot",
      ", with a trailing blank",
      ", with trailing dots and blanks",
      ", with a dot ending a folder on the way",
      ", through a junction",
      ", below a junction",
      // the uninstall registration and the documents location
      "uninstall key 1: ",
      "uninstall key 2: ",
      "without UninstallString",
      "refuses every access",
      ": empty:",
      "empty quotes",
      "unbalanced opening quote",
      "unbalanced closing quote",
      "relative path",
      "drive root",
      "drive-relative",
      "UNC root",
      "UNC folder",
      "dot-dot",
      "two backslashes before the marker",
      "0x5C right before the marker",
      "control character",
      "exactly the capacity",
      "past the capacity",
      "without a terminator",
      "marker at the very start",
      "both markers",
      "forward slashes",
      "8.3 path",
      "mixed case",
      "dots only",
      "wildcard",
      "unexpanded variable",
      "binary type",
      "doubled separator",
      "UNC long-path prefix",
      "UNC device prefix",
      "UNC admin share",
      "UNC with forward slashes",
      "OEMDocLocation: ",
      "two trailing backslashes",
      "OEMDocLocation differs from the uninstall folder: the package's",
      "OEMDocLocation differs from the uninstall folder: a share",
      "OEMDocLocation differs from the uninstall folder: a junction",
      "OEMDocLocation differs from the uninstall folder: the",
      "OEMDocLocation differs from the uninstall folder: a folder above",
      // registry
      "key cannot be deleted",
      "levels deep",
      "plan key refuses DELETE",
      "plan key cannot be deleted",
      "RunServices refuses every access",
      "no RunServices key",
      // the pen class
      "pen class with",
      "capitals only",
      "too long for the buffer",
      "escapes to the Windows folder",
      "escapes to the root",
      "absolute",
      "rooted",
      "InfPath empty",
      "too long for the path",
      "0x5C trail byte",
      "dot-dot that stays inside",
      "instance refuses every access",
      "pen class key refuses every access",
      // the rename file
      "wininit.ini: with [rename]",
      "wininit.ini: no heading",
      "wininit.ini: a folder",
      "wininit.ini: read-only",
      "wininit.ini: held open",
      "zero byte before the heading",
      "heading with a line feed alone",
      "heading at the end of a longer line",
      "last line without end",
  };
  // Every folder the system names, as an install folder.
  for (int csidl : kGuardedCsidls) shapes.push_back("install folder: shell folder " + std::to_string(csidl) + ",");
  std::map<std::string, int> seen;
  for (uint64_t seed = 1; seed <= 600; ++seed) {
    const Machine m = Generate(seed);
    for (const std::string& made : m.made) {
      for (const std::string& shape : shapes) {
        if (made.find(shape) != std::string::npos) seen[shape]++;
      }
    }
  }
  for (const std::string& shape : shapes) EXPECT_GT(seen[shape], 0) << "never made: " << shape;
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
