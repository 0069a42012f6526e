// Input cutting, machine set-up and messages shared by the fuzz targets.
#include "fuzz_support.h"

#include <iconv.h>

#include <cstring>

#include "base/os_kind.h"
#include "tests/common/windows_versions.h"
#include "base/run_state.h"
#include "winsim.h"

const int kKnownOsKinds[7] = {OsWinNT4, OsWin98, OsWin95, OsWin95Osr2, OsWin2000, OsWinMe, OsWinXP};

std::string FuzzInput::Field() {
  const std::string rest(data_ + at_, size_ - at_);
  const size_t end = rest.find(kFieldSeparator);
  if (end == std::string::npos) {
    at_ = size_;
    return rest;
  }
  at_ += end + std::strlen(kFieldSeparator);
  return rest.substr(0, end);
}

std::string FuzzInput::Rest() {
  std::string rest(data_ + at_, size_ - at_);
  at_ = size_;
  return rest;
}

std::string UpToZero(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }

std::unique_ptr<char[]> ExactCString(const std::string& text) {
  const std::string s = UpToZero(text);
  std::unique_ptr<char[]> block(new char[s.size() + 1]);
  std::memcpy(block.get(), s.c_str(), s.size() + 1);
  return block;
}

std::string Shown(const std::string& bytes) {
  std::string out;
  char hex[8];
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else if (c == '\\') {
      out += "\\\\";
    } else {
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

namespace {

// The stand-in converts texts through iconv, opening a converter for each piece of text. While
// one converter per code page stays open, the C library keeps its conversion modules loaded
// instead of loading and unloading them on every call, which would dominate a run's time.
// They are kept in a global, so that the leak checker sees them as still in use.
iconv_t KeptConverters[4];

void KeepConvertersLoaded() {
  static bool done = false;
  if (done) return;
  done = true;
  const char* const pairs[][2] = {
      {"CP932", "UTF-16LE"}, {"CP1252", "UTF-16LE"}, {"CP932", "UTF-8"}, {"UTF-8", "CP932"}};
  for (int i = 0; i < 4; ++i) KeptConverters[i] = iconv_open(pairs[i][0], pairs[i][1]);  // never closed
}

}  // namespace

void FreshMachine() {
  KeepConvertersLoaded();
  winsim::Reset();
  ResetRunState();
}

void UseOsKind(int osKind) {
  SimulateWindows(osKind);
  RunState.osKind = osKind;
}
