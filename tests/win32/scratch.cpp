#include "scratch.h"

#include "base/run_state.h"
#ifdef WINSIM
#include "winsim.h"
#endif

namespace {

const char kScratchRoot[] = "C:\\uninstaller-tests";
const char kScratchKeyRoot[] = "Software\\TabletUninstallerTests";

std::string TestName() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name) {
    if (c == '/' || c == '\\') c = '_';
  }
  return name;
}

// Removes a folder and everything in it with plain Win32 calls (test clean-up only).
void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &data);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      // A link to a folder is removed as a link, never walked into.
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        RemoveTree(child);
      } else if (!DeleteFileA(child.c_str())) {
        RemoveDirectoryA(child.c_str());
      }
    } while (FindNextFileA(search, &data));
    FindClose(search);
  }
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryA(path.c_str());
}

void DeleteKeyTreeForCleanup(HKEY root, const std::string& subkey) {
  HKEY key;
  if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  char name[256];
  for (;;) {
    DWORD chars = sizeof name;
    if (RegEnumKeyExA(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    DeleteKeyTreeForCleanup(key, name);
  }
  RegCloseKey(key);
  RegDeleteKeyA(root, subkey.c_str());
}

}  // namespace

void Win32Test::SetUp() {
#ifdef WINSIM
  winsim::Reset();
#endif
  ResetRunState();
  scratch_ = std::string(kScratchRoot) + "\\" + TestName();
  scratchKey_ = std::string(kScratchKeyRoot) + "\\" + TestName();
  CreateDirectoryA(kScratchRoot, nullptr);
  RemoveTree(scratch_);
  DeleteKeyTreeForCleanup(HKEY_CURRENT_USER, scratchKey_);
  ASSERT_TRUE(CreateDirectoryA(scratch_.c_str(), nullptr)) << "error " << GetLastError();
}

void Win32Test::TearDown() {
#ifdef WINSIM
  EXPECT_EQ("", winsim::LeakReport());
#endif
  RemoveTree(scratch_);
  DeleteKeyTreeForCleanup(HKEY_CURRENT_USER, scratchKey_);
}

std::string Win32Test::Scratch(const std::string& relative) const {
  return relative.empty() ? scratch_ : scratch_ + "\\" + relative;
}

std::string Win32Test::ScratchKey(const std::string& relative) const {
  return relative.empty() ? scratchKey_ : scratchKey_ + "\\" + relative;
}

void Win32Test::MakeFolder(const std::string& path) const {
  ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path << ": error " << GetLastError();
}

void Win32Test::MakeFile(const std::string& path, const std::string& bytes) const {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file) << path << ": error " << GetLastError();
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  ASSERT_TRUE(ok && written == bytes.size()) << path;
}

std::string Win32Test::ReadFileBytes(const std::string& path) const {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << path << ": cannot open, error " << GetLastError();
    return "";
  }
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  CloseHandle(file);
  return bytes;
}

bool Win32Test::Exists(const std::string& path) const {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Win32Test::MakeKey(HKEY root, const std::string& subkey) const {
  HKEY key;
  LONG rc = RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  ASSERT_EQ(ERROR_SUCCESS, rc) << subkey;
  RegCloseKey(key);
}

void Win32Test::SetStringValue(HKEY root, const std::string& subkey, const char* name, const std::string& value) const {
  HKEY key;
  LONG rc = RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  ASSERT_EQ(ERROR_SUCCESS, rc) << subkey;
  rc = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                      static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
  ASSERT_EQ(ERROR_SUCCESS, rc) << subkey << "\\" << (name ? name : "");
}

bool Win32Test::KeyExists(HKEY root, const std::string& subkey) const {
  HKEY key;
  if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}
