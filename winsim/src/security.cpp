// The stand-in's security calls: the process token with its groups and the SIDs a program builds
// to compare with them, the advapi32 functions the program looks up at run time. Results follow
// Windows (Wine's conformance tests in dlls/advapi32/tests/security.c).
#include <windows.h>

#include <cstring>
#include <list>
#include <vector>

#include "calls.h"
#include "modules.h"
#include "winsim.h"

namespace winsim {
namespace {

// A SID as Windows lays it out: revision 1, the count of subauthorities, the 6-byte authority,
// then the subauthorities.
struct Sid {
  BYTE revision;
  BYTE count;
  BYTE authority[6];
  DWORD sub[8];
};

struct SecurityState {
  AdministratorsGroup administrators = AdministratorsGroup::Enabled;
  bool tokenOpen = false;
  std::list<Sid> sids;  // those AllocateAndInitializeSid gave out and FreeSid has not taken back
};

SecurityState& State() {
  static SecurityState state;
  return state;
}

HANDLE const kTokenHandle = reinterpret_cast<HANDLE>(0x7E00);
DWORD SidLength(const Sid& sid) { return 8 + 4 * sid.count; }

Sid MakeSid(BYTE authority, std::vector<DWORD> subs) {
  Sid sid{};
  sid.revision = 1;
  sid.count = static_cast<BYTE>(subs.size());
  sid.authority[5] = authority;
  for (size_t i = 0; i < subs.size(); ++i) sid.sub[i] = subs[i];
  return sid;
}

using detail::Acquired;
using detail::Call;
using detail::Fail;
using detail::Released;

BOOL WINAPI StandInOpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
  if (Call call("OpenProcessToken"); call.Failed()) return call.FailWithLastError(FALSE);
  // Windows 95's ADVAPI32 exports it as a stub.
  if (IsWin9xPlatform()) return Fail(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
  if (process != GetCurrentProcess() || token == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if ((access & TOKEN_QUERY) == 0) return Fail(ERROR_ACCESS_DENIED, FALSE);
  // Simplification: one token, opened once at a time.
  if (State().tokenOpen) return Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
  State().tokenOpen = true;
  Acquired(Resource::Token);
  *token = kTokenHandle;
  return TRUE;
}

// The groups of a user's logon: Everyone, Users and, as set, Administrators; the groups come
// first in the buffer, then their SIDs.
BOOL WINAPI StandInGetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID buffer, DWORD length,
                                       PDWORD needed) {
  if (Call call("GetTokenInformation"); call.Failed()) return call.FailWithLastError(FALSE);
  if (token != kTokenHandle || !State().tokenOpen) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (kind != TokenGroups || needed == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  std::vector<std::pair<Sid, DWORD>> groups = {
      {MakeSid(1, {0}), SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED},
      {MakeSid(5, {0x20, 0x221}), SE_GROUP_MANDATORY | SE_GROUP_ENABLED_BY_DEFAULT | SE_GROUP_ENABLED},
  };
  const Sid administrators = MakeSid(5, {0x20, 0x220});
  switch (State().administrators) {
    case AdministratorsGroup::Enabled: groups.push_back({administrators, 0xF}); break;
    case AdministratorsGroup::DenyOnly: groups.push_back({administrators, SE_GROUP_USE_FOR_DENY_ONLY}); break;
    case AdministratorsGroup::Disabled: groups.push_back({administrators, SE_GROUP_ENABLED_BY_DEFAULT}); break;
    case AdministratorsGroup::Absent: break;
  }
  const DWORD header = static_cast<DWORD>(sizeof(TOKEN_GROUPS) + (groups.size() - 1) * sizeof(SID_AND_ATTRIBUTES));
  DWORD total = header;
  for (const auto& group : groups) total += SidLength(group.first);
  *needed = total;
  if (buffer == nullptr || length < total) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  TOKEN_GROUPS* out = static_cast<TOKEN_GROUPS*>(buffer);
  out->GroupCount = static_cast<DWORD>(groups.size());
  BYTE* sids = static_cast<BYTE*>(buffer) + header;
  for (size_t i = 0; i < groups.size(); ++i) {
    std::memcpy(sids, &groups[i].first, SidLength(groups[i].first));
    out->Groups[i].Sid = sids;
    out->Groups[i].Attributes = groups[i].second;
    sids += SidLength(groups[i].first);
  }
  return TRUE;
}

BOOL WINAPI StandInAllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD sub0, DWORD sub1,
                                            DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6, DWORD sub7,
                                            PSID* sid) {
  if (Call call("AllocateAndInitializeSid"); call.Failed()) return call.FailWithLastError(FALSE);
  if (authority == nullptr || sid == nullptr || count > 8) return Fail(ERROR_INVALID_SID, FALSE);
  Sid* made = &State().sids.emplace_back();
  made->revision = 1;
  made->count = count;
  std::memcpy(made->authority, authority->Value, 6);
  const DWORD subs[8] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
  for (int i = 0; i < count; ++i) made->sub[i] = subs[i];
  Acquired(Resource::Sid);
  *sid = made;
  return TRUE;
}

BOOL WINAPI StandInEqualSid(PSID first, PSID second) {
  if (Call call("EqualSid"); call.Failed()) return call.FailWithLastError(FALSE);
  const Sid* a = static_cast<const Sid*>(first);
  const Sid* b = static_cast<const Sid*>(second);
  SetLastError(ERROR_SUCCESS);
  return a->count == b->count && std::memcmp(a, b, SidLength(*a)) == 0;
}

// Returns null, as Windows does, for a SID it has given back.
PVOID WINAPI StandInFreeSid(PSID sid) {
  if (Call call("FreeSid"); call.Failed()) return sid;
  std::list<Sid>& sids = State().sids;
  for (auto it = sids.begin(); it != sids.end(); ++it) {
    if (&*it == sid) {
      sids.erase(it);
      Released(Resource::Sid);
      return nullptr;
    }
  }
  return sid;  // not one of ours
}

template <typename Proc>
FARPROC AsProc(Proc proc) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(proc));
}

}  // namespace

void SetAdministratorsGroup(AdministratorsGroup group) { State().administrators = group; }

namespace detail {

void ResetSecurity() { State() = SecurityState(); }

FARPROC AdvapiProcedure(const char* name) {
  if (std::strcmp(name, "OpenProcessToken") == 0) return AsProc(&StandInOpenProcessToken);
  if (std::strcmp(name, "GetTokenInformation") == 0) return AsProc(&StandInGetTokenInformation);
  if (std::strcmp(name, "AllocateAndInitializeSid") == 0) return AsProc(&StandInAllocateAndInitializeSid);
  if (std::strcmp(name, "EqualSid") == 0) return AsProc(&StandInEqualSid);
  if (std::strcmp(name, "FreeSid") == 0) return AsProc(&StandInFreeSid);
  return nullptr;
}

bool CloseToken(HANDLE handle) {
  if (handle != kTokenHandle || !State().tokenOpen) return false;
  State().tokenOpen = false;
  Released(Resource::Token);
  return true;
}

}  // namespace detail
}  // namespace winsim
