// The stand-in's version and code page: GetVersionExA reports what a test sets; GetACP and
// GetCPInfo describe code page 932 (lead bytes 0x81-0x9F and 0xE0-0xFC) or a single-byte page.
#include <windows.h>

#include <cstring>

#include "calls.h"
#include "modules.h"
#include "winsim.h"

namespace winsim {
namespace {
struct VersionState {
  DWORD major = 5, minor = 1, build = 2600, platform = VER_PLATFORM_WIN32_NT;
  UINT codePage = 932;
};
VersionState& State() {
  static VersionState state;
  return state;
}
}  // namespace

namespace detail {
void ResetVersion() { State() = VersionState(); }
}  // namespace detail

void SetVersion(DWORD major, DWORD minor, DWORD build, DWORD platform) {
  State().major = major;
  State().minor = minor;
  State().build = build;
  State().platform = platform;
}

bool IsWin9xPlatform() { return State().platform == VER_PLATFORM_WIN32_WINDOWS; }

void SetCodePage(UINT codePage) { State().codePage = codePage; }
UINT CodePage() { return State().codePage; }

bool IsLeadByte(unsigned char b) {
  return State().codePage == 932 && ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC));
}

}  // namespace winsim

using winsim::detail::Call;
using winsim::detail::Fail;

// Windows accepts the two record sizes it knows (OSVERSIONINFOA and OSVERSIONINFOEXA) and
// refuses any other with ERROR_INSUFFICIENT_BUFFER.
BOOL GetVersionExA(LPOSVERSIONINFOA info) {
  if (Call call("GetVersionExA"); call.Failed()) return call.FailWithLastError(FALSE);
  if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) && info->dwOSVersionInfoSize != 156) {
    return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  }
  info->dwMajorVersion = winsim::State().major;
  info->dwMinorVersion = winsim::State().minor;
  info->dwBuildNumber = winsim::State().build;
  info->dwPlatformId = winsim::State().platform;
  info->szCSDVersion[0] = '\0';
  return TRUE;
}

UINT GetACP(void) {
  winsim::detail::CountCall("GetACP");
  return winsim::State().codePage;
}

BOOL GetCPInfo(UINT codePage, LPCPINFO info) {
  if (Call call("GetCPInfo"); call.Failed()) return call.FailWithLastError(FALSE);
  if (codePage == CP_ACP) codePage = winsim::State().codePage;
  std::memset(info, 0, sizeof *info);
  info->DefaultChar[0] = '?';
  if (codePage == 932) {
    info->MaxCharSize = 2;
    info->LeadByte[0] = 0x81;
    info->LeadByte[1] = 0x9F;
    info->LeadByte[2] = 0xE0;
    info->LeadByte[3] = 0xFC;
  } else if (codePage == 1252 || codePage == 437 || codePage == 1250) {
    info->MaxCharSize = 1;
  } else {
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  }
  return TRUE;
}
