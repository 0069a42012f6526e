// The stand-in's message boxes: each is recorded with the rows the result list had when it was
// shown, and answered at once with the answer the test chose.
#include <windows.h>

#include <vector>

#include "window_internal.h"

namespace winsim {

void SetMessageBoxAnswer(int answer) { wm::State().boxAnswer = answer; }
const std::vector<MessageBoxCall>& MessageBoxes() { return wm::State().boxes; }

}  // namespace winsim

using namespace winsim::wm;

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  if (Call call("MessageBoxA"); call.Failed()) return call.FailWithLastError(0);
  // The box runs a modal loop of its own, which answers what other threads send.
  LookAtQueue();
  State().boxes.push_back(winsim::MessageBoxCall{owner, text != nullptr ? text : "",
                                                 caption != nullptr ? caption : "Error", style, RowsNow()});
  return State().boxAnswer;
}
