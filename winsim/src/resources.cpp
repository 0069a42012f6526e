// The stand-in's resource loader. It reads the .res file that windres compiles from the same
// .rc as the shipped program (path fixed at build time), so LoadStringA, LoadIconA and
// CreateDialogParamA work on exactly the resources that ship.
#include "resources.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <utility>

#include "calls.h"
#include "text.h"
#include "winsim.h"

#ifndef WINSIM_RES_PATH
#error "WINSIM_RES_PATH must name the compiled .res file"
#endif

namespace winsim {
namespace {

using detail::AnsiFromUtf16;
using Key = std::pair<int, int>;  // (type, id); the program's resources are all numbered

struct Reader {
  const std::vector<uint8_t>& data;
  size_t pos;
  uint16_t U16() {
    if (pos + 2 > data.size()) throw std::runtime_error("resource data ends early");
    uint16_t v = static_cast<uint16_t>(data[pos] | (data[pos + 1] << 8));
    pos += 2;
    return v;
  }
  uint32_t U32() {
    uint32_t lo = U16();
    return lo | (static_cast<uint32_t>(U16()) << 16);
  }
  // A name-or-ordinal field: 0xFFFF then an ordinal, or a zero-terminated UTF-16 string.
  std::u16string SzOrOrd(int* ordinal) {
    *ordinal = -1;
    uint16_t first = U16();
    if (first == 0xFFFF) {
      *ordinal = U16();
      return u"";
    }
    std::u16string s;
    for (uint16_t c = first; c != 0; c = U16()) s += static_cast<char16_t>(c);
    return s;
  }
  void Align4() { pos = (pos + 3) & ~static_cast<size_t>(3); }
};

std::map<Key, std::vector<uint8_t>> LoadAll() {
  std::ifstream in(WINSIM_RES_PATH, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " WINSIM_RES_PATH);
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::map<Key, std::vector<uint8_t>> all;
  size_t pos = 0;
  while (pos + 32 <= file.size()) {
    Reader r{file, pos};
    uint32_t dataSize = r.U32();
    uint32_t headerSize = r.U32();
    int type, name;
    r.SzOrOrd(&type);
    r.SzOrOrd(&name);
    size_t dataStart = pos + headerSize;
    if (dataStart + dataSize > file.size()) throw std::runtime_error("truncated .res file");
    if (type > 0 && name >= 0) {
      all[{type, name}] = std::vector<uint8_t>(file.begin() + dataStart, file.begin() + dataStart + dataSize);
    }
    pos = (dataStart + dataSize + 3) & ~static_cast<size_t>(3);
  }
  return all;
}

const std::map<Key, std::vector<uint8_t>>& All() {
  static const std::map<Key, std::vector<uint8_t>> all = LoadAll();
  return all;
}

std::string ClassNameOf(int ordinal, const std::u16string& name) {
  switch (ordinal) {
    case 0x80: return "Button";
    case 0x81: return "Edit";
    case 0x82: return "Static";
    case 0x83: return "ListBox";
    case 0x84: return "ScrollBar";
    case 0x85: return "ComboBox";
    default: return AnsiFromUtf16(name);
  }
}

}  // namespace

const std::vector<unsigned char>* ResourceData(int type, int id) {
  auto it = All().find({type, id});
  return it == All().end() ? nullptr : &it->second;
}

bool LoadDialogTemplate(int id, DialogTemplate* out) {
  const std::vector<uint8_t>* data = ResourceData(detail::kRtDialog, id);
  if (data == nullptr) return false;
  Reader r{*data, 0};
  out->style = r.U32();
  out->exStyle = r.U32();
  WORD count = r.U16();
  out->x = static_cast<short>(r.U16());
  out->y = static_cast<short>(r.U16());
  out->cx = static_cast<short>(r.U16());
  out->cy = static_cast<short>(r.U16());
  int ord;
  out->menu = AnsiFromUtf16(r.SzOrOrd(&ord));
  out->className = AnsiFromUtf16(r.SzOrOrd(&ord));
  out->caption = AnsiFromUtf16(r.SzOrOrd(&ord));
  out->pointSize = 0;
  if (out->style & DS_SETFONT) {
    out->pointSize = r.U16();
    out->font = AnsiFromUtf16(r.SzOrOrd(&ord));
  }
  out->items.clear();
  for (WORD i = 0; i < count; ++i) {
    r.Align4();
    DialogItem item;
    item.style = r.U32();
    item.exStyle = r.U32();
    item.x = static_cast<short>(r.U16());
    item.y = static_cast<short>(r.U16());
    item.cx = static_cast<short>(r.U16());
    item.cy = static_cast<short>(r.U16());
    item.id = r.U16();
    std::u16string cls = r.SzOrOrd(&ord);
    item.className = ClassNameOf(ord, cls);
    item.text = AnsiFromUtf16(r.SzOrOrd(&ord));
    WORD extra = r.U16();
    r.pos += extra;
    out->items.push_back(item);
  }
  return true;
}

}  // namespace winsim

using winsim::detail::Call;
using winsim::detail::Fail;

namespace {
bool IsProgram(HINSTANCE instance) { return instance == winsim::ProgramInstance(); }
}  // namespace

// Strings live in blocks of 16 (block id = string id / 16 + 1), each a length-prefixed UTF-16
// string. As on Windows, the ANSI text is cut to capacity - 1 bytes without splitting a
// double-byte character, always terminated, and the result is the number of bytes copied.
int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int capacity) {
  if (Call call("LoadStringA"); call.Failed()) {
    if (capacity > 0) buffer[0] = '\0';
    return call.FailWithLastError(0);
  }
  if (buffer == nullptr || capacity <= 0) return 0;
  buffer[0] = '\0';
  if (!IsProgram(instance)) return Fail(ERROR_RESOURCE_NAME_NOT_FOUND, 0);
  const std::vector<uint8_t>* block = winsim::ResourceData(winsim::detail::kRtString, static_cast<int>(id / 16 + 1));
  if (block == nullptr) return Fail(ERROR_RESOURCE_NAME_NOT_FOUND, 0);
  size_t pos = 0;
  std::u16string text;
  for (UINT i = 0; i <= id % 16; ++i) {
    if (pos + 2 > block->size()) return 0;
    size_t len = (*block)[pos] | ((*block)[pos + 1] << 8);
    pos += 2;
    if (i == id % 16) {
      for (size_t k = 0; k < len; ++k) {
        text += static_cast<char16_t>((*block)[pos + 2 * k] | ((*block)[pos + 2 * k + 1] << 8));
      }
    }
    pos += 2 * len;
  }
  if (text.empty()) return Fail(ERROR_RESOURCE_NAME_NOT_FOUND, 0);
  std::string ansi = winsim::detail::AnsiFromUtf16(text);
  size_t n = 0;
  while (n < ansi.size()) {
    size_t charLen = winsim::IsLeadByte(static_cast<unsigned char>(ansi[n])) ? 2 : 1;
    if (n + charLen > static_cast<size_t>(capacity - 1)) break;
    n += charLen;
  }
  std::memcpy(buffer, ansi.data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  if (Call call("LoadIconA"); call.Failed()) return call.FailWithLastError(static_cast<HICON>(nullptr));
  if (IsProgram(instance) && IS_INTRESOURCE(name) &&
      winsim::ResourceData(winsim::detail::kRtGroupIcon, static_cast<int>(reinterpret_cast<ULONG_PTR>(name))) !=
          nullptr) {
    return reinterpret_cast<HICON>(0x1000 + reinterpret_cast<ULONG_PTR>(name));
  }
  return Fail(ERROR_RESOURCE_NAME_NOT_FOUND, static_cast<HICON>(nullptr));
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  if (Call call("LoadCursorA"); call.Failed()) return call.FailWithLastError(static_cast<HCURSOR>(nullptr));
  if (instance == nullptr && name == IDC_ARROW) return reinterpret_cast<HCURSOR>(0x2000 + 32512);
  return Fail(ERROR_RESOURCE_NAME_NOT_FOUND, static_cast<HCURSOR>(nullptr));
}
