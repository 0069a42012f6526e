// Code page conversions for the stand-in and its tests, through the C library's iconv.
#include <iconv.h>

#include <stdexcept>
#include <string>

#include "text.h"
#include "winsim.h"

namespace winsim {
namespace {
std::string Convert(const char* to, const char* from, const std::string& in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
  std::string out(in.size() * 4 + 16, '\0');
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) throw std::runtime_error(std::string("cannot convert to ") + to);
  out.resize(out.size() - dstLeft);
  return out;
}
}  // namespace

std::string Sjis(const std::string& utf8) { return Convert("CP932", "UTF-8", utf8); }
std::string Utf8(const std::string& sjis) { return Convert("UTF-8", "CP932", sjis); }

namespace detail {
// UTF-16LE code units to the ANSI code page; characters the page lacks become '?', as
// WideCharToMultiByte's default character does.
std::string AnsiFromUtf16(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    std::string units(reinterpret_cast<const char*>(&c), 2);
    try {
      out += Convert(CodePage() == 932 ? "CP932" : "CP1252", "UTF-16LE", units);
    } catch (const std::runtime_error&) {
      out += '?';
    }
  }
  return out;
}
}  // namespace detail
}  // namespace winsim
