// StripTrailingSeparator on arbitrary bytes under code page 932, a single-byte code page, and a
// system that cannot describe its code page: it removes at most one byte, only a final
// backslash that is a character of its own (never the second byte of a double-byte
// character), and never reads or writes past the terminator (the path sits in a block of
// exactly its size).
#include <cstring>

#include "fuzz_support.h"
#include "plans/install_location.h"
#include "winsim.h"

namespace {

// What the path must be afterwards: the final character removed when it is a lone backslash.
// A lead byte directly before the terminator stands alone, as the program reads it.
std::string Expected(const std::string& path, bool knowsCodePage) {
  if (!knowsCodePage) return path;  // without lead bytes a final 0x5C may be a trail byte
  size_t lastStart = std::string::npos;
  for (size_t i = 0; i < path.size();) {
    lastStart = i;
    const bool pair = winsim::IsLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size();
    i += pair ? 2 : 1;
  }
  if (lastStart != std::string::npos && lastStart == path.size() - 1 && path[lastStart] == '\\') {
    return path.substr(0, lastStart);
  }
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  const uint8_t mode = input.Byte() % 3;
  FreshMachine();
  if (mode == 1) winsim::SetCodePage(1252);
  if (mode == 2) winsim::FailEveryCall("GetCPInfo", ERROR_INVALID_PARAMETER);

  const std::string before = UpToZero(input.Rest());
  std::unique_ptr<char[]> path = ExactCString(before);
  StripTrailingSeparator(path.get());

  // The block holds before.size() + 1 bytes: compare all of them, terminator included.
  const std::string expected = Expected(before, mode != 2);
  std::string after(path.get(), before.size() + 1);
  std::string wanted = expected + std::string(before.size() + 1 - expected.size(), '\0');
  // Removing the final byte writes a zero there; the old terminator stays a zero.
  FUZZ_CHECK(after == wanted, "code page mode %d, \"%s\" became \"%s\", expected \"%s\"", mode, Shown(before).c_str(),
             Shown(std::string(path.get())).c_str(), Shown(expected).c_str());
  return 0;
}
