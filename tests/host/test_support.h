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
#include "base/run_state.h"
#include "winsim.h"

// Every test starts on a fresh machine (Windows XP, code page 932) and a program in its start state.
class MachineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    ResetRunState();
  }
  void TearDown() override {
    EXPECT_EQ("", winsim::LeakReport());
    EXPECT_EQ(0, winsim::RefusedLibraryLoads()) << "a library was loaded by its name alone or from another folder";
  }
};

// Runs the program from its entry; `actions` play the user, one each time the message queue is
// empty. Returns the exit code, or -1 (with a failure) when the program waited for input that
// never came.
inline int RunProgram(std::vector<std::function<void()>> actions) {
  for (auto& a : actions) winsim::QueueAction(std::move(a));
  int exitCode = -1;
  try {
    exitCode = StartProgram();
  } catch (const winsim::QueueStarved&) {
    ADD_FAILURE() << "the program waited for input after the last scripted action";
  }
  // The libraries it keeps for its life go with the process.
  winsim::EndProcess();
  return exitCode;
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

// A row as a person reads it on a terminal: UTF-8 text as it is, control characters and bytes
// that are no UTF-8 (a row left in code page 932, say) as \xNN.
inline std::string PrintableRow(const std::string& row) {
  std::string out;
  for (size_t i = 0; i < row.size();) {
    const unsigned char lead = static_cast<unsigned char>(row[i]);
    // The length of the UTF-8 sequence this byte opens, 0 where it opens none.
    size_t length = lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
    if (i + length > row.size()) length = 0;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(row[i + k]) & 0xC0) != 0x80) length = 0;
    }
    if (length != 0 && lead >= 0x20 && lead != 0x7F) {
      out.append(row, i, length);
      i += length;
    } else {
      const char* const hex = "0123456789ABCDEF";
      out += "\\x";
      out += hex[lead >> 4];
      out += hex[lead & 0xF];
      ++i;
    }
  }
  return out;
}

// Compares two lists of rows ("item | status", UTF-8). A mismatch names the first row that
// differs, as expected and as shown, and both counts, instead of printing both lists in full.
// Used through EXPECT_ROWS / ASSERT_ROWS.
inline ::testing::AssertionResult SameRows(const char* expectedText, const char* actualText,
                                           const std::vector<std::string>& expected,
                                           const std::vector<std::string>& actual) {
  size_t first = 0;
  while (first < expected.size() && first < actual.size() && expected[first] == actual[first]) ++first;
  if (first == expected.size() && first == actual.size()) return ::testing::AssertionSuccess();
  auto shown = [](const std::vector<std::string>& rows, size_t i) {
    return i < rows.size() ? PrintableRow(rows[i]) : std::string("(no row)");
  };
  return ::testing::AssertionFailure() << expectedText << " (" << expected.size() << " rows) and " << actualText << " ("
                                       << actual.size() << " rows) first differ at row [" << first << "]:\n"
                                       << "  expected: " << shown(expected, first) << "\n"
                                       << "  shown:    " << shown(actual, first);
}
#define EXPECT_ROWS(expected, actual) EXPECT_PRED_FORMAT2(SameRows, expected, actual)
#define ASSERT_ROWS(expected, actual) ASSERT_PRED_FORMAT2(SameRows, expected, actual)
