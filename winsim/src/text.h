// Internal to the stand-in: UTF-16 resource text to the ANSI code page.
#pragma once
#include <string>

namespace winsim::detail {
std::string AnsiFromUtf16(const std::u16string& text);
}  // namespace winsim::detail
