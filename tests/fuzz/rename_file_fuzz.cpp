// Deletion at restart through the start-up rename file, with arbitrary file content, arbitrary
// paths to schedule and failures of the calls that edit the file. After every request:
// - a refused request leaves the file as it was (a file that did not exist may remain, empty),
//   unless cutting the file to its new length was what failed: then it may hold the edit;
// - an accepted one keeps every old byte in order and adds exactly one whole line
//   "<new name>=<8.3 path>\r\n" (with "[rename]\r\n" before it when the file has no section),
//   directly below the first heading of the first variant found, or at the very end;
// - the NT family never touches the file; nothing stays open.
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "primitives/restart_delete.h"
#include "base/os_kind.h"
#include "winsim.h"
#include "winsim_fs.h"

namespace {

const char* const kHeadings[] = {"[rename]\r\n", "[Rename]\r\n", "[RENAME]\r\n"};
const size_t kHeadingLength = 10;

// The calls whose failure the editor must survive, picked by an input byte. The calls that
// give something back (UnmapViewOfFile, CloseHandle) are left out: they fail only for a handle
// or view that is not valid, and a caller can do nothing more about one that does.
const char* const kFaultApis[] = {"CreateFileA",        "GetFileSize",  "CreateFileMappingA",   "MapViewOfFile",
                                  "SetFilePointer",     "SetEndOfFile", "GetWindowsDirectoryA", "GetShortPathNameA",
                                  "GetFileAttributesA", "GetCPInfo",    "MoveFileExA",          "WriteFile"};
const int kFaultApiCount = sizeof kFaultApis / sizeof kFaultApis[0];

// Windows folders the machine may report: the usual one, a drive root, one with double-byte
// names, and one so long that "\wininit.ini" no longer fits MAX_PATH.
const char* WindowsFolder(int choice) {
  static const std::string kLong = "C:\\" + std::string(240, 'W') + "\\WINDOWS";
  switch (choice) {
    case 1: return "C:\\";
    case 2: return "C:\\\x83\x5C\x95\x5C\\WIN";  // "ソ表\WIN": trail bytes 0x5C
    case 3: return kLong.c_str();
    default: return "C:\\WINDOWS";
  }
}

std::string RenameFilePath(const std::string& windowsFolder) {
  return windowsFolder + (windowsFolder.back() == '\\' ? "" : "\\") + "wininit.ini";
}

bool HasControlByte(const std::string& s) {
  for (unsigned char c : s) {
    if (c < 0x20) return true;
  }
  return false;
}

// Where the line must go in `before`: after the first occurrence of the first heading variant
// present in the text up to the first zero byte; npos when there is none.
size_t InsertionPoint(const std::string& before) {
  const std::string text = UpToZero(before);
  for (const char* heading : kHeadings) {
    const size_t at = text.find(heading);
    if (at != std::string::npos) return at + kHeadingLength;
  }
  return std::string::npos;
}

// What is wrong with `after` as `before` with one well-formed line inserted where the format
// says; "" when nothing is. `shortExisting` is the 8.3 path the line must name ("" when unknown).
std::string AcceptedProblem(const std::string& before, const std::string& after, const std::string& shortExisting,
                            bool deletion) {
  if (after.size() <= before.size() || after.size() > before.size() + kHeadingLength + 1023) {
    return "the file went from " + std::to_string(before.size()) + " to " + std::to_string(after.size()) + " bytes";
  }
  const size_t at = InsertionPoint(before);
  std::string line;
  if (at == std::string::npos) {
    if (after.compare(0, before.size(), before) != 0) return "old bytes changed";
    if (after.compare(before.size(), kHeadingLength, kHeadings[0]) != 0) return "no new section at the end";
    line = after.substr(before.size() + kHeadingLength);
  } else {
    const size_t added = after.size() - before.size();
    if (after.compare(0, at, before, 0, at) != 0 || after.compare(at + added, std::string::npos, before, at) != 0) {
      return "the line is not directly below the heading at " + std::to_string(at - kHeadingLength);
    }
    line = after.substr(at, added);
  }
  // One whole line: name, "=", path, CR LF, and no other control byte. (The path may hold a
  // "=" only as the second byte of a double-byte character; the first "=" ends the name.)
  if (line.size() < 3 || line.compare(line.size() - 2, 2, "\r\n") != 0) return "not a whole line: " + Shown(line);
  const std::string body = line.substr(0, line.size() - 2);
  const size_t equals = body.find('=');
  if (HasControlByte(body) || equals == std::string::npos || equals == 0) return "malformed line " + Shown(line);
  if (deletion && body.compare(0, equals, "NUL") != 0) return "a deletion names " + Shown(body);
  if (!shortExisting.empty() && body.substr(equals + 1) != shortExisting) {
    return "the line names " + Shown(body.substr(equals + 1)) + ", the file is " + Shown(shortExisting);
  }
  return "";
}

// `bytes` less up to `most` zero bytes at its end.
std::string LessTrailingZeros(const std::string& bytes, size_t most) {
  size_t end = bytes.size();
  while (end > 0 && bytes.size() - end < most && bytes[end - 1] == '\0') --end;
  return bytes.substr(0, end);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  const int osKind = kKnownOsKinds[input.Byte() % 7];
  const uint8_t machine = input.Byte();
  const uint8_t faults = input.Byte();
  const uint8_t requests = input.Byte();
  const std::string content = input.Field();

  FreshMachine();
  UseOsKind(osKind);
  const std::string windowsFolder = WindowsFolder(machine & 3);
  if ((machine & 3) != 0) {
    winsim::MakeFolder(windowsFolder);
    winsim::SetWindowsDirectory(windowsFolder);
  }
  const std::string renameFile = RenameFilePath(windowsFolder);
  if (machine & 4)
    winsim::MakeFile(renameFile, content, (machine & 8) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_ARCHIVE);
  if (machine & 16) winsim::HoldFileOpen(renameFile, (machine & 32) ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0);

  const int count = 1 + requests % 3;
  const char* faultApi = kFaultApis[(faults & 15) % kFaultApiCount];
  // Cutting the file is the editor's last step: when it fails the file cannot be put back, so
  // the file may then hold the edit (and the mapping's zero padding) although the call failed.
  const bool cutFault = std::strcmp(faultApi, "SetFilePointer") == 0 || std::strcmp(faultApi, "SetEndOfFile") == 0;
  bool faultPending = false;
  for (int request = 0; request < count; ++request) {
    const std::string folder = input.Field();
    const std::string name = input.Field();
    const bool rename = (requests >> (2 + request)) & 1;
    const std::string newName = rename ? input.Field() : "";
    std::string existing = "C:\\" + folder + (folder.empty() ? "" : "\\") + name;
    existing = UpToZero(existing);
    if (!name.empty()) winsim::MakeFile(existing, "in use");

    // The 8.3 path is asked before the fault is set up, so that the fault meets the program.
    char shortPath[MAX_PATH] = "";
    const DWORD shortLength = GetShortPathNameA(existing.c_str(), shortPath, MAX_PATH);
    const std::string shortExisting = shortLength > 0 && shortLength < MAX_PATH ? shortPath : "";
    // The next call of the chosen function fails, in this request or a later one.
    if ((faults >> (4 + request)) & 1) {
      winsim::FailCall(faultApi, 1, ERROR_ACCESS_DENIED);
      faultPending = true;
    }
    const bool faultBefore = faultPending;
    const int callsBefore = winsim::CallCount(faultApi);

    const bool existedBefore = winsim::Exists(renameFile);
    const std::string before = existedBefore ? winsim::FileBytes(renameFile) : "";
    const size_t delayedBefore = winsim::DelayedMoves().size();
    std::unique_ptr<char[]> existingArg = ExactCString(existing);
    std::unique_ptr<char[]> newNameArg = ExactCString(newName);
    const BOOL accepted = ScheduleDeleteAtRestart(existingArg.get(), rename ? newNameArg.get() : nullptr);
    const bool faultHit = faultPending && winsim::CallCount(faultApi) > callsBefore;
    if (faultHit) faultPending = false;

    FUZZ_CHECK(winsim::LeakReport().empty(), "%s", winsim::LeakReport().c_str());
    const bool existsAfter = winsim::Exists(renameFile);
    const std::string after = existsAfter ? winsim::FileBytes(renameFile) : "";
    const bool unchanged = after == before && (existsAfter == existedBefore || (!existedBefore && after.empty()));
    const bool handedToSystem = winsim::DelayedMoves().size() > delayedBefore;
    FUZZ_CHECK(!handedToSystem || accepted, "the system took the request but the call says it failed");
    if (!IsWin9xFamily(osKind) || handedToSystem) {
      FUZZ_CHECK(unchanged, "the rename file changed from \"%s\" to \"%s\" (accepted %d)", Shown(before).c_str(),
                 Shown(after).c_str(), accepted);
    } else if (accepted) {
      const std::string problem = AcceptedProblem(before, after, shortExisting, !rename);
      FUZZ_CHECK(problem.empty(), "%s: \"%s\" became \"%s\"", problem.c_str(), Shown(before).c_str(),
                 Shown(after).c_str());
    } else if (!unchanged) {
      FUZZ_CHECK(faultHit && cutFault &&
                     AcceptedProblem(before, LessTrailingZeros(after, kHeadingLength), shortExisting, !rename).empty(),
                 "a refused request changed the file from \"%s\" to \"%s\"", Shown(before).c_str(),
                 Shown(after).c_str());
    }

    // A plain deletion of an existing file, with nothing in the way, must be written.
    const DWORD attributes = winsim::Attributes(existing);
    const bool plainFile = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                           !HasControlByte(existing) && !shortExisting.empty();
    const bool fileFree = !(machine & 8) && !(machine & 16) && (machine & 3) != 3;
    if (!rename && plainFile && fileFree && !faultBefore) {
      FUZZ_CHECK(accepted, "scheduling \"%s\" failed with nothing in the way", Shown(existing).c_str());
    }
  }
  return 0;
}
