// Shared helpers of the host tests: a fresh simulated machine per test, running the whole
// program from its entry, and readable views of what it showed.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "resources/resource.h"
#include "shell/main_window.h"
#include "shell/run_state.h"
#include "winsim.h"

// Every test starts on a fresh machine (Windows XP, code page 932) and a program in its start state.
class MachineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    ResetRunState();
  }
  void TearDown() override { EXPECT_EQ("", winsim::LeakReport()); }
};

// Runs the program from its entry; `actions` play the user, one each time the message queue is
// empty. Returns the exit code, or -1 (with a failure) when the program waited for input that
// never came.
inline int RunProgram(std::vector<std::function<void()>> actions) {
  for (auto& a : actions) winsim::QueueAction(std::move(a));
  try {
    return StartProgram();
  } catch (const winsim::QueueStarved&) {
    ADD_FAILURE() << "the program waited for input after the last scripted action";
    return -1;
  }
}

inline std::function<void()> Press(int id) {
  return [id] { winsim::PressButton(id); };
}
inline std::function<void()> CloseButton() { return Press(IDOK); }

inline HWND ResultListWindow() { return GetDlgItem(winsim::MainWindow(), IDC_RESULT_LIST); }

// A row as "item | status" in UTF-8, for comparisons that print well.
inline std::vector<std::string> RowsUtf8() {
  std::vector<std::string> out;
  for (const winsim::ListRow& r : winsim::ListRows(ResultListWindow())) {
    out.push_back(winsim::Utf8(r.item) + " | " + winsim::Utf8(r.status));
  }
  return out;
}
