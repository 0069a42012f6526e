// FindTextNoCase on arbitrary text and pattern: it must agree with a plain search that folds
// only A-Z, and must never read past either terminator (both strings sit in blocks of exactly
// their size, so AddressSanitizer sees any such read).
#include <cstring>

#include "fuzz_support.h"
#include "plans/install_location.h"

namespace {

unsigned char Fold(unsigned char b) { return (b >= 'A' && b <= 'Z') ? b + 0x20 : b; }

// The first start position in `text` where every byte of `pattern` matches after folding; an
// empty text has no position at all.
const char* ReferenceSearch(const char* text, const char* pattern) {
  const size_t textLength = std::strlen(text);
  const size_t patternLength = std::strlen(pattern);
  for (size_t start = 0; start < textLength && start + patternLength <= textLength; ++start) {
    size_t i = 0;
    while (i < patternLength && Fold(text[start + i]) == Fold(pattern[i])) ++i;
    if (i == patternLength) return text + start;
  }
  return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  const std::string textBytes = input.Field();
  const std::string patternBytes = input.Rest();
  std::unique_ptr<char[]> text = ExactCString(textBytes);
  std::unique_ptr<char[]> pattern = ExactCString(patternBytes);

  const char* expected = ReferenceSearch(text.get(), pattern.get());
  const char* found = FindTextNoCase(text.get(), pattern.get());
  FUZZ_CHECK(found == expected, "text \"%s\", pattern \"%s\": found at %ld, expected at %ld", Shown(text.get()).c_str(),
             Shown(pattern.get()).c_str(), found ? static_cast<long>(found - text.get()) : -1L,
             expected ? static_cast<long>(expected - text.get()) : -1L);
  return 0;
}
