// Fixture of the tests that set up their state through Win32 calls only. They are built twice:
// into the host tests, against the stand-in, and into a Windows program run under Wine, against
// a real Win32 implementation, so that both answer the same assertions.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

class Win32Test : public ::testing::Test {
 protected:
  // Host: a fresh simulated machine. Both: RunState at its start values and an empty scratch
  // folder C:\uninstaller-tests\<test name> that exists for the test's duration.
  void SetUp() override;
  // Windows: removes the scratch folder and the scratch registry key. Host: also checks that
  // every handle, key and search the test's code acquired was released.
  void TearDown() override;

  // The scratch folder, or a path inside it (`relative` without a leading backslash).
  std::string Scratch(const std::string& relative = "") const;
  // A registry path under HKEY_CURRENT_USER reserved for this test ("Software\...\<test name>"),
  // or a path below it. Deleted with everything below it after the test.
  std::string ScratchKey(const std::string& relative = "") const;

  // Set-up helpers (each asserts that its calls succeeded).
  void MakeFolder(const std::string& path) const;
  void MakeFile(const std::string& path, const std::string& bytes = "x") const;
  std::string ReadFileBytes(const std::string& path) const;  // "" with a failure when missing
  bool Exists(const std::string& path) const;                // GetFileAttributesA succeeds
  void MakeKey(HKEY root, const std::string& subkey) const;
  void SetStringValue(HKEY root, const std::string& subkey, const char* name, const std::string& value) const;
  bool KeyExists(HKEY root, const std::string& subkey) const;

 private:
  std::string scratch_;
  std::string scratchKey_;
};
