// The safety suite's entry: GoogleTest with three options of its own.
//   --count N   generated installations in the property test (default 100; SAFETY_COUNT too)
//   --first N   the first seed (default 1)
//   --seed N    replay the one machine of seed N and show it, failing or not
//   --sweep-machines N   generated machines the fault sweep goes through (default 2)
// If the process dies (a crash, or a sanitizer's report), the seed that was running is printed.
#include <gtest/gtest.h>

#include <iconv.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "harness.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" void __asan_set_death_callback(void (*callback)(void));
#endif

#if defined(__SANITIZE_ADDRESS__)
// Tens of thousands of runs allocate and free a great deal: no quarantine of freed memory and
// short allocation stacks keep them fast; the checks of bounds, the point here, stay whole.
extern "C" const char* __asan_default_options() {
  return "malloc_context_size=2:quarantine_size_mb=0:max_malloc_fill_size=0";
}
#endif

namespace {

char currentRun[256] = "no run yet";

void PrintCurrentRun() {
  const char prefix[] = "\n*** the safety suite died during: ";
  ssize_t ignored = write(2, prefix, sizeof prefix - 1);
  ignored = write(2, currentRun, std::strlen(currentRun));
  ignored = write(2, "\n", 1);
  (void)ignored;
}

void OnFatalSignal(int signal) {
  PrintCurrentRun();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// The stand-in converts texts through iconv, opening a converter for each piece of text. While
// one converter per pair stays open, the C library keeps its conversion modules loaded instead
// of loading and unloading them on every call. Kept in a global, so the leak checker sees them
// as in use.
iconv_t KeptConverters[4];

void KeepConvertersLoaded() {
  const char* const pairs[][2] = {
      {"CP932", "UTF-16LE"}, {"CP1252", "UTF-16LE"}, {"CP932", "UTF-8"}, {"UTF-8", "CP932"}};
  for (int i = 0; i < 4; ++i) KeptConverters[i] = iconv_open(pairs[i][0], pairs[i][1]);  // never closed
}

bool TakeNumber(int* argc, char** argv, const char* name, uint64_t* value) {
  for (int i = 1; i + 1 < *argc; ++i) {
    if (std::strcmp(argv[i], name) != 0) continue;
    *value = std::strtoull(argv[i + 1], nullptr, 10);
    for (int j = i; j + 2 <= *argc; ++j) argv[j] = argv[j + 2];
    *argc -= 2;
    return true;
  }
  return false;
}

}  // namespace

namespace safety {
void SetCurrentRun(uint64_t seed, const std::string& what) {
  std::snprintf(currentRun, sizeof currentRun, "seed %llu, %s (replay: safety_tests --seed %llu)",
                static_cast<unsigned long long>(seed), what.c_str(), static_cast<unsigned long long>(seed));
}
}  // namespace safety

int main(int argc, char** argv) {
  safety::Options& o = safety::TheOptions();
  if (const char* env = std::getenv("SAFETY_COUNT")) o.count = std::strtol(env, nullptr, 10);
  uint64_t value = 0;
  if (TakeNumber(&argc, argv, "--count", &value)) o.count = static_cast<long>(value);
  if (TakeNumber(&argc, argv, "--first", &value)) o.first = value;
  if (TakeNumber(&argc, argv, "--sweep-machines", &value)) o.sweepMachines = static_cast<long>(value);
  if (TakeNumber(&argc, argv, "--seed", &value)) {
    o.seedGiven = true;
    o.seed = value;
  }
  KeepConvertersLoaded();
  std::signal(SIGSEGV, OnFatalSignal);
  std::signal(SIGABRT, OnFatalSignal);
#if defined(__SANITIZE_ADDRESS__)
  __asan_set_death_callback(PrintCurrentRun);
#endif
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
