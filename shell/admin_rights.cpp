// The question whether the process runs with an administrator's rights, asked of the token
// through functions looked up at run time (NT 4.0 has them all; CheckTokenMembership came with
// Windows 2000).
#include "shell/admin_rights.h"

#include "base/system_library.h"

namespace {

typedef BOOL(WINAPI* OpenProcessTokenProc)(HANDLE process, DWORD access, PHANDLE token);
typedef BOOL(WINAPI* GetTokenInformationProc)(HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID buffer, DWORD length,
                                              PDWORD needed);
typedef BOOL(WINAPI* AllocateAndInitializeSidProc)(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD sub0,
                                                   DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5,
                                                   DWORD sub6, DWORD sub7, PSID* sid);
typedef BOOL(WINAPI* EqualSidProc)(PSID first, PSID second);
typedef PVOID(WINAPI* FreeSidProc)(PSID sid);

struct TokenCalls {
  OpenProcessTokenProc openProcessToken;
  GetTokenInformationProc getTokenInformation;
  AllocateAndInitializeSidProc allocateAndInitializeSid;
  EqualSidProc equalSid;
  FreeSidProc freeSid;
};

// Room for the token's groups: more than the 12,000 bytes Windows 2000 and XP allow a logon's
// token by default. A token that does not fit cannot be judged.
const DWORD TokenGroupsCapacity = 16384;

BOOL LookUpTokenCalls(HMODULE library, TokenCalls* calls) {
  return LookUpProcedure(library, "OpenProcessToken", &calls->openProcessToken) &&
         LookUpProcedure(library, "GetTokenInformation", &calls->getTokenInformation) &&
         LookUpProcedure(library, "AllocateAndInitializeSid", &calls->allocateAndInitializeSid) &&
         LookUpProcedure(library, "EqualSid", &calls->equalSid) && LookUpProcedure(library, "FreeSid", &calls->freeSid);
}

BOOL GroupsHoldEnabled(const TokenCalls& calls, const TOKEN_GROUPS* groups, PSID wanted) {
  for (DWORD i = 0; i < groups->GroupCount; ++i) {
    const DWORD attributes = groups->Groups[i].Attributes;
    if ((attributes & SE_GROUP_ENABLED) != 0 && (attributes & SE_GROUP_USE_FOR_DENY_ONLY) == 0 &&
        calls.equalSid(groups->Groups[i].Sid, wanted)) {
      return TRUE;
    }
  }
  return FALSE;
}

BOOL TokenHoldsAdministrators(const TokenCalls& calls) {
  HANDLE token;
  if (!calls.openProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return FALSE;
  // DWORDs, so that the groups and the SIDs the system writes into it are aligned.
  DWORD buffer[TokenGroupsCapacity / sizeof(DWORD)];
  DWORD needed = 0;
  BOOL holds = FALSE;
  if (calls.getTokenInformation(token, TokenGroups, buffer, sizeof buffer, &needed)) {
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID administrators;
    if (calls.allocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                                       0, 0, 0, &administrators)) {
      holds = GroupsHoldEnabled(calls, reinterpret_cast<const TOKEN_GROUPS*>(buffer), administrators);
      calls.freeSid(administrators);
    }
  }
  CloseHandle(token);
  return holds;
}

}  // namespace

BOOL HoldsAdministratorRights() {
  // The program imports its registry calls from advapi32, so the library is loaded already:
  // asked by name among the process's modules, nothing is searched for and nothing loaded.
  HMODULE advapi = GetModuleHandleA("advapi32.dll");
  TokenCalls calls;
  return advapi != nullptr && LookUpTokenCalls(advapi, &calls) && TokenHoldsAdministrators(calls);
}
