// FindInstallDirectory on registry values made of arbitrary bytes: the fuzzer chooses the
// family, which of the package's keys and values exist, their types and bytes. Whatever they
// hold, the result is either "not found" with the caller's buffer untouched, or a terminated
// absolute folder of at most 259 bytes that is not a drive or share root, whose names Windows
// accepts, taken from the value the rules select; every key opened is closed and the registry is left as it was.
#include <cctype>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "plans/install_location.h"
#include "base/os_kind.h"
#include "base/run_state.h"
#include "winsim.h"
#include "winsim_registry.h"
#include "winsim_shell.h"

namespace {

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zorvik Tablet Driver";
const char kSecondUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tablet Driver";
const char kDocLocationKey[] = "SOFTWARE\\TABLET";
const DWORD kValueTypes[] = {REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_MULTI_SZ, REG_DWORD, REG_NONE};
const char* const kMarkers[] = {"uninst.isu", "Remove.exe"};

// A byte the caller's buffer is filled with, to see that "not found" leaves it alone.
const char kUntouched = '\xA5';

bool IsSeparator(unsigned char b) { return b == '\\' || b == '/'; }
unsigned char Fold(unsigned char b) { return (b >= 'A' && b <= 'Z') ? b + 0x20 : b; }

// The bytes a query of at most 1024 bytes gives as text; false when the value is too long.
bool ReadAsText(const std::string& stored, std::string* text) {
  if (stored.size() > 1024) return false;
  *text = UpToZero(stored);
  return true;
}

// The part after the first double quote, up to the next one; the whole text without quotes.
std::string QuotedPart(const std::string& text) {
  const size_t open = text.find('"');
  const std::string from = open == std::string::npos ? text : text.substr(open + 1);
  return from.substr(0, from.find('"'));
}

// One final backslash less, unless it is the second byte of a double-byte character.
std::string LessFinalBackslash(const std::string& path) {
  if (path.empty()) return path;
  size_t last = std::string::npos;
  for (size_t i = 0; i < path.size();) {
    last = i;
    i += (winsim::IsLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) ? 2 : 1;
  }
  if (last == path.size() - 1 && path[last] == '\\') return path.substr(0, last);
  return path;
}

// From the last "X:\\" (a single-byte letter) after the first character on.
std::string FromLastDrive(const std::string& text) {
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (winsim::IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
      ++i;
    } else if (i > 0 && std::isalpha(static_cast<unsigned char>(text[i])) && text.compare(i + 1, 2, ":\\") == 0) {
      start = i;
    }
  }
  return text.substr(start);
}

// The folder an uninstall command line names: cut at the first marker found, in marker order,
// from the last drive after the first character.
bool FolderFromCommandLine(const std::string& commandLine, std::string* folder) {
  const std::string candidate = QuotedPart(commandLine);
  for (const char* marker : kMarkers) {
    const size_t length = std::strlen(marker);
    for (size_t at = 0; at + length <= candidate.size(); ++at) {
      size_t i = 0;
      while (i < length && Fold(candidate[at + i]) == Fold(marker[i])) ++i;
      if (i == length) {
        *folder = LessFinalBackslash(FromLastDrive(candidate.substr(0, at)));
        return true;
      }
    }
  }
  return false;
}

// Every component of a path, split at either separator; a double-byte character (whose second
// byte may be 0x5C) stays whole.
std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < path.size(); ++i) {
    if (winsim::IsLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
      parts.back() += path.substr(i++, 2);
    } else if (IsSeparator(path[i])) {
      parts.emplace_back();
    } else {
      parts.back() += path[i];
    }
  }
  return parts;
}

bool OnlyDotsAndSpaces(const std::string& name) { return name.find_first_not_of(". ") == std::string::npos; }

// Judged from the text alone: an absolute folder below a drive root ("X:\name...") or inside a
// share ("\\server\share\name..."), with no component that Windows would read as the folder
// itself or its parent, so it can never stand for a root.
bool IsAbsoluteBelowRoot(const std::string& path) {
  if (path.size() > 259) return false;
  std::vector<std::string> parts;
  if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && IsSeparator(path[2])) {
    parts = Components(path.substr(3));
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    parts = Components(path.substr(2));
    if (parts.size() < 3) return false;
    parts.erase(parts.begin(), parts.begin() + 2);  // server and share
  } else {
    return false;
  }
  if (!parts.empty() && parts.back().empty()) parts.pop_back();  // one final separator
  if (parts.empty()) return false;
  for (const std::string& part : parts) {
    if (part.empty() || OnlyDotsAndSpaces(part)) return false;
  }
  return true;
}

// Every name in `path` is one Windows accepts: no control character, none of < > " | ? * and no
// ":" after the drive's, and no double-byte character cut short at the end.
bool HasOnlyValidNames(const std::string& path) {
  for (size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (winsim::IsLeadByte(c)) {
      if (i + 1 == path.size()) return false;
      ++i;
      continue;
    }
    if (c < 0x20 || std::strchr("<>\"|?*", c) != nullptr || (c == ':' && i != 1)) return false;
  }
  return true;
}

std::string FoldedCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Whether `path` is one of the folders this machine's system names (the Windows and system
// folders, the shell's folders) or a folder above one: never a package's own.
bool IsSystemNamedOrAbove(const std::string& path) {
  static const int kShellFolders[] = {0x02, 0x05, 0x07, 0x0b, 0x10, 0x16, 0x17, 0x18, 0x19, 0x26, 0x2b, 0x2e};
  std::vector<std::string> named = {"C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS\\SYSTEM32"};
  for (int csidl : kShellFolders) named.push_back(winsim::ShellFolderPath(csidl));
  const std::string folder = FoldedCase(path);
  for (const std::string& n : named) {
    const std::string other = FoldedCase(n);
    if (!other.empty() && other.compare(0, folder.size(), folder) == 0 &&
        (other.size() == folder.size() || other[folder.size()] == '\\')) {
      return true;
    }
  }
  return false;
}

// Plainly a folder the plans may use: "C:\" and names of letters, digits, blanks and "_-",
// each with a letter or digit and ending in neither a blank nor a dot (Windows drops those),
// and none of the folders the system names nor one above them.
bool IsPlainlyUsable(const std::string& path) {
  if (!IsAbsoluteBelowRoot(path) || path[1] != ':' || path[2] != '\\') return false;
  for (const std::string& part : Components(path.substr(3))) {
    bool hasAlnum = false;
    for (unsigned char c : part) {
      if (std::isalnum(c)) {
        hasAlnum = true;
      } else if (c != ' ' && c != '_' && c != '-') {
        return false;
      }
    }
    if (!hasAlnum || part.back() == ' ') return false;
  }
  return !IsSystemNamedOrAbove(path);
}

struct StoredValue {
  bool present;
  DWORD type;
  std::string bytes;
};

void Store(HKEY root, const char* key, const char* name, const StoredValue& value) {
  if (value.present) winsim::SetValue(root, key, name, value.type, value.bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  const int osKind = input.Byte() % 8;  // 0: a version the program does not know
  const uint8_t keys = input.Byte();
  const uint8_t types = input.Byte();
  const uint8_t terminators = input.Byte();
  StoredValue values[3];
  for (int i = 0; i < 3; ++i) {
    values[i].present = (keys >> (3 + i)) & 1;
    values[i].type = kValueTypes[((types >> (2 * i)) & 3) + ((terminators >> 6) & 2)];
    values[i].bytes = input.Field();
    if ((terminators >> i) & 1) values[i].bytes += '\0';
  }

  FreshMachine();
  if (osKind != 0) UseOsKind(kKnownOsKinds[osKind - 1]);
  RunState.osKind = osKind == 0 ? OsUnknown : kKnownOsKinds[osKind - 1];
  if (keys & 0x80) winsim::SetCodePage(1252);
  const bool firstKey = keys & 1, secondKey = keys & 2, docKey = keys & 4;
  if (firstKey) winsim::CreateKey(HKEY_LOCAL_MACHINE, kUninstallKey);
  if (secondKey) winsim::CreateKey(HKEY_LOCAL_MACHINE, kSecondUninstallKey);
  if (docKey) winsim::CreateKey(HKEY_LOCAL_MACHINE, kDocLocationKey);
  if (firstKey) Store(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", values[0]);
  if (secondKey) Store(HKEY_LOCAL_MACHINE, kSecondUninstallKey, "UninstallString", values[1]);
  if (docKey) Store(HKEY_LOCAL_MACHINE, kDocLocationKey, "OEMDocLocation", values[2]);
  const std::string registryBefore = winsim::DumpRegistry();

  // What the rules select: the first uninstall key that exists (the second only when the first
  // does not), then on the 9x family the documents location.
  std::string fromUninstall, fromDocs;
  bool haveUninstall = false, haveDocs = false;
  const StoredValue* uninstall = firstKey ? &values[0] : secondKey ? &values[1] : nullptr;
  std::string text;
  if (uninstall != nullptr && uninstall->present && ReadAsText(uninstall->bytes, &text)) {
    haveUninstall = FolderFromCommandLine(text, &fromUninstall);
  }
  const bool win9x = IsWin9xFamily(RunState.osKind);
  if (win9x && docKey && values[2].present && ReadAsText(values[2].bytes, &text)) {
    fromDocs = LessFinalBackslash(QuotedPart(text));
    haveDocs = true;
  }

  std::unique_ptr<char[]> out(new char[INSTALL_FOLDER_SIZE]);
  std::memset(out.get(), kUntouched, INSTALL_FOLDER_SIZE);
  const int found = FindInstallDirectory(out.get());

  FUZZ_CHECK(winsim::LeakReport().empty(), "%s", winsim::LeakReport().c_str());
  FUZZ_CHECK(winsim::DumpRegistry() == registryBefore, "the registry changed");
  const size_t length = strnlen(out.get(), INSTALL_FOLDER_SIZE);
  if (!found) {
    for (int i = 0; i < INSTALL_FOLDER_SIZE; ++i) FUZZ_CHECK(out[i] == kUntouched, "byte %d of the buffer changed", i);
    FUZZ_CHECK(!(haveUninstall && IsPlainlyUsable(fromUninstall)), "\"%s\" from the uninstall string was not taken",
               Shown(fromUninstall).c_str());
    FUZZ_CHECK(!(haveDocs && IsPlainlyUsable(fromDocs)), "\"%s\" from the documents location was not taken",
               Shown(fromDocs).c_str());
    return 0;
  }
  FUZZ_CHECK(found == 1, "result %d", found);
  FUZZ_CHECK(length < INSTALL_FOLDER_SIZE, "no terminator in the 260-byte buffer");
  const std::string folder(out.get(), length);
  FUZZ_CHECK(IsAbsoluteBelowRoot(folder), "\"%s\" is not an absolute folder below a root", Shown(folder).c_str());
  FUZZ_CHECK(HasOnlyValidNames(folder), "\"%s\" holds a character no name may hold", Shown(folder).c_str());
  // The uninstall string has the first word; the documents location counts only when the
  // uninstall string names no folder the plans may use.
  if (haveUninstall && IsPlainlyUsable(fromUninstall)) {
    FUZZ_CHECK(folder == fromUninstall, "got \"%s\", the uninstall string names \"%s\"", Shown(folder).c_str(),
               Shown(fromUninstall).c_str());
  } else {
    FUZZ_CHECK((haveUninstall && folder == fromUninstall) || (haveDocs && folder == fromDocs),
               "got \"%s\", which neither value names (uninstall \"%s\", documents \"%s\")", Shown(folder).c_str(),
               haveUninstall ? Shown(fromUninstall).c_str() : "-", haveDocs ? Shown(fromDocs).c_str() : "-");
  }
  return 0;
}
