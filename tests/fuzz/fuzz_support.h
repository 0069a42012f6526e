// Shared by the fuzz targets: how an input is cut into fields, a fresh simulated machine per
// input, and the check that stops a run (and keeps its input) when a property does not hold.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

// Stops the process with the property and a message: libFuzzer then saves the input as a crash.
#define FUZZ_CHECK(condition, ...)                                                                     \
  do {                                                                                                 \
    if (!(condition)) {                                                                                \
      std::fprintf(stderr, "\nproperty violated: %s\n  at %s:%d\n  ", #condition, __FILE__, __LINE__); \
      std::fprintf(stderr, __VA_ARGS__);                                                               \
      std::fputc('\n', stderr);                                                                        \
      std::abort();                                                                                    \
    }                                                                                                  \
  } while (0)

// An input read front to back: a few single bytes of settings, then byte strings separated by
// kFieldSeparator (chosen so that mutations keep the fields apart; it is in the dictionaries).
// Past the end every byte reads as 0 and every field as empty.
class FuzzInput {
 public:
  static constexpr const char* kFieldSeparator = "\n--\n";

  FuzzInput(const uint8_t* data, size_t size) : data_(reinterpret_cast<const char*>(data)), size_(size) {}

  uint8_t Byte() { return at_ < size_ ? static_cast<uint8_t>(data_[at_++]) : 0; }
  // The bytes up to the next separator (which is skipped) or to the end.
  std::string Field();
  // Everything not read yet.
  std::string Rest();

 private:
  const char* data_;
  size_t size_;
  size_t at_ = 0;
};

// A heap block holding exactly `text` up to its first zero byte and one terminating zero, so
// that AddressSanitizer reports any read or write past the terminator.
std::unique_ptr<char[]> ExactCString(const std::string& text);
// The part of `bytes` before its first zero byte.
std::string UpToZero(const std::string& bytes);

// The bytes as printable text, for messages: other bytes as \xNN.
std::string Shown(const std::string& bytes);

// A fresh machine: the stand-in reset (XP, code page 932, C:\WINDOWS), the program's RunState
// back to its start values.
void FreshMachine();
// Makes the stand-in report the version that the program classifies as `osKind` (1 to 7), and
// puts that kind into RunState as the shell would after its version check.
void UseOsKind(int osKind);

// The seven kinds the program knows, for picking one with an input byte.
extern const int kKnownOsKinds[7];
