// Internal to the stand-in: how every Win32 function of the simulated machine begins (the call
// counted and logged, the test's hooks run, an injected failure reported the way that function's
// library reports failures) and the accounting of the handles and references it hands out.
#pragma once

#include <windows.h>

#include "winsim.h"

namespace winsim::detail {

// One call of a Win32 function. Constructing it counts the call, logs it, runs the test's hooks
// for it and asks the fault injection whether it fails; the function then returns the failure
// in its library's style:
//
//   if (Call call("DeleteFileA"); call.Failed()) return call.FailWithLastError(FALSE);
//   if (Call call("RegCloseKey"); call.Failed()) return call.ResultCode();
//   if (Call call("SHGetMalloc"); call.Failed()) return call.Hresult();
//
// A function whose failure value needs its output parameters set first keeps the object and
// looks at Failed() once it has set them, as Windows does.
//
// Only the functions the tests count and fail come through here; those that neither fail nor
// matter to a count (the string helpers, the message calls, GetLastError) do not.
class Call {
 public:
  explicit Call(const char* api);
  bool Failed() const { return failed_; }
  DWORD Error() const { return error_; }

  // kernel32, user32 and shlwapi: the code becomes the last error, and `result` is returned.
  template <typename T>
  T FailWithLastError(T result) const {
    SetLastError(error_);
    return result;
  }
  // advapi32: the code is the function's result.
  LONG ResultCode() const { return static_cast<LONG>(error_); }
  // shell32: the code as an HRESULT; a Win32 code becomes HRESULT_FROM_WIN32 of it.
  HRESULT Hresult() const;

 private:
  bool failed_ = false;
  DWORD error_ = 0;
};

// For the functions that cannot fail (GetACP, SetErrorMode, InitCommonControls): counted,
// logged and hooked like any other; an injected failure is ignored.
void CountCall(const char* api);

// The one-line failure paths of the functions that report through GetLastError.
template <typename T>
T Fail(DWORD error, T result) {
  SetLastError(error);
  return result;
}

// Handle accounting: every handle or reference a function hands out, and every one given back.
void Acquired(Resource r);
void Released(Resource r);

}  // namespace winsim::detail
