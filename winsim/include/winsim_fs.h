// The test side of the stand-in's file system: how a test builds the disk a run meets (files,
// folders, links, names the ANSI code page cannot show), makes it hostile (files held open by
// "another process", access denied, a call that fails at the right moment), and reads back what
// is left. None of these functions counts as a Win32 call, and none is limited to MAX_PATH, so a
// test can build paths the ANSI calls refuse.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace winsim {

// ---- building the disk ----

// Drive C: exists from the start; other letters are added empty.
void AddDrive(char letter);
// What GetDriveTypeA reports for the drive (DRIVE_FIXED until set), adding it when needed.
void SetDriveType(char letter, UINT type);

// Each creates the missing folders on the way; false when the path is malformed, a component
// on the way is a file, or the item exists already (MakeFolder: an existing folder is fine).
bool MakeFolder(const std::string& path);
bool MakeFile(const std::string& path, const std::string& bytes = "", DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);

// An entry whose long name has characters the ANSI code page cannot show: searches report
// `shownName` (with "?" for those characters, e.g. "?.txt") in cFileName and `shortName` in
// cAlternateFileName; the shown name cannot be used in a path (it holds a wildcard), the short
// name can. `folder` is its parent folder.
bool MakeUnrepresentableEntry(const std::string& folder, const std::string& shownName, const std::string& shortName,
                              bool isFolder);

// A directory link (junction) at `link` standing for the folder `target`: attributes
// FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT; paths through it and searches in it
// reach the target's entries; RemoveDirectoryA on it removes the link alone.
bool MakeDirectoryLink(const std::string& link, const std::string& target);

// Gives an existing entry the 8.3 alias `shortName` instead of the generated one.
bool SetShortName(const std::string& path, const std::string& shortName);

// Sets a file's length without storing its bytes (the added part reads as zero bytes), so a test
// can have a file larger than the host would hold.
bool SetFileLength(const std::string& path, uint64_t length);

// Takes an entry away with everything in it, as another process might (a link goes alone).
bool Remove(const std::string& path);

// ---- reading it back ----

bool Exists(const std::string& path);
// The attributes as GetFileAttributesA would give them, or INVALID_FILE_ATTRIBUTES.
DWORD Attributes(const std::string& path);
// The bytes of a file, as far as they are stored, with the writes of open views included.
std::string FileBytes(const std::string& path);
uint64_t FileLength(const std::string& path);
// The names in a folder in listing order, without "." and ".."; names the code page cannot show
// appear as shown by a search.
std::vector<std::string> FolderEntries(const std::string& path);

// ---- listing order ----

enum class ListingOrder {
  Creation,         // the default: the order in which the entries were made
  ReverseCreation,  // newest first
  ByName,           // sorted without regard to case, as NTFS lists
};
void SetListingOrder(ListingOrder order);

// ---- another process, access control ----

// Opens `path` as another process would: `access` is GENERIC_READ and/or GENERIC_WRITE, and
// `shareMode` says what others may still do (0: nothing, so DeleteFileA meets
// ERROR_SHARING_VIOLATION). Returns an id for ReleaseFile, or 0 when the file does not exist.
// Not counted as a handle of the program.
int HoldFileOpen(const std::string& path, DWORD shareMode, DWORD access = GENERIC_READ);
void ReleaseFile(int id);

// Operations on an entry that fail with ERROR_ACCESS_DENIED, as an access control list would.
enum Denied : unsigned {
  DenyDelete = 1,           // DeleteFileA, RemoveDirectoryA, MoveFileExA of the entry
  DenySetAttributes = 2,    // SetFileAttributesA
  DenyOpen = 4,             // CreateFileA of an existing file
  DenyList = 8,             // FindFirstFileA in the folder, PathIsDirectoryEmptyA
  DenyReadAttributes = 16,  // GetFileAttributesA
  DenyCreate = 32,          // new files and folders inside the folder
};
bool DenyAccess(const std::string& path, unsigned denied);

// ---- what the system reports ----

// Any path, also one that does not exist or is longer than a caller's buffer. Until set, the
// Windows folder is C:\WINDOWS and the system folder C:\WINDOWS\SYSTEM32 on the NT family and
// C:\WINDOWS\SYSTEM on the 9x family (both folders exist on a fresh machine).
void SetWindowsDirectory(const std::string& path);
void SetSystemDirectory(const std::string& path);

// The requests MoveFileExA accepted with MOVEFILE_DELAY_UNTIL_REBOOT, in order.
struct DelayedMove {
  std::string existing;
  std::string newName;  // "" for a deletion
  bool deletion;        // newName was null
  DWORD flags;
};
const std::vector<DelayedMove>& DelayedMoves();

// ---- timing ----

// Runs `action` just before the nth call (1-based, counted from this request on) of the file
// system function `api` does its work, e.g. to make a listed file vanish before it is deleted.
// The action may use the functions of this header; Win32 calls it makes do not run hooks.
// The same hook as winsim::WhenCalled, under the name the file system tests know it by.
void BeforeCall(const std::string& api, int nth, std::function<void()> action);

}  // namespace winsim
