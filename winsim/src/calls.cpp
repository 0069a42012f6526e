// The stand-in's call accounting: every counted Win32 call, the failures and hooks a test set
// for it, and the handles and references the simulated machine has handed out.
#include "calls.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "modules.h"
#include "winsim.h"

namespace winsim {
namespace {

struct FaultRule {
  int remainingBefore;  // calls still to pass before the failing one; -1 once used
  bool every;
  DWORD error;
};

struct Hook {
  int remainingBefore;  // calls still to pass before the one that runs the action; -1 once run
  std::function<void()> action;
};

struct CallState {
  std::map<std::string, int> counts;
  std::vector<std::string> log;
  std::map<std::string, std::vector<FaultRule>> faults;
  std::map<std::string, std::vector<Hook>> hooks;
  bool inHook = false;
  int open[static_cast<int>(Resource::kCount)] = {};
};

CallState& State() {
  static CallState state;
  return state;
}

// Runs the actions due at this call of `api`. The calls an action makes are counted and may
// fail, but run no hooks and do not count towards any hook's nth call.
void RunHooks(const std::string& api) {
  CallState& s = State();
  if (s.inHook) return;
  auto hooks = s.hooks.find(api);
  if (hooks == s.hooks.end()) return;
  // Collected first: an action may add hooks of its own.
  std::vector<std::function<void()>> due;
  for (Hook& hook : hooks->second) {
    if (hook.remainingBefore == 0) due.push_back(hook.action);
    if (hook.remainingBefore >= 0) hook.remainingBefore--;
  }
  s.inHook = true;
  for (auto& action : due) action();
  s.inHook = false;
}

// Whether a rule makes this call of `api` fail, and with which code (the last rule that applies).
bool FaultDue(const std::string& api, DWORD* error) {
  auto it = State().faults.find(api);
  if (it == State().faults.end()) return false;
  bool fail = false;
  for (FaultRule& rule : it->second) {
    if (rule.every) {
      fail = true;
      *error = rule.error;
    } else if (rule.remainingBefore == 0) {
      fail = true;
      *error = rule.error;
      rule.remainingBefore = -1;
    } else if (rule.remainingBefore > 0) {
      rule.remainingBefore--;
    }
  }
  return fail;
}

}  // namespace

namespace detail {

void ResetCalls() { State() = CallState(); }

Call::Call(const char* api) {
  const std::string name(api);
  CallState& s = State();
  s.counts[name]++;
  s.log.push_back(name);
  RunHooks(name);  // before the faults: an action may add one for this very call
  failed_ = FaultDue(name, &error_);
}

HRESULT Call::Hresult() const {
  if (static_cast<LONG>(error_) < 0) return static_cast<HRESULT>(error_);
  return static_cast<HRESULT>(0x80070000u | (error_ & 0xFFFFu));  // HRESULT_FROM_WIN32
}

void CountCall(const char* api) { Call call(api); }

void Acquired(Resource r) { State().open[static_cast<int>(r)]++; }
void Released(Resource r) { State().open[static_cast<int>(r)]--; }

}  // namespace detail

// ---- the test side ----

void FailCall(const std::string& api, int nth, DWORD error) {
  State().faults[api].push_back(FaultRule{nth - 1, false, error});
}

void FailEveryCall(const std::string& api, DWORD error) { State().faults[api].push_back(FaultRule{0, true, error}); }

void WhenCalled(const std::string& api, int nth, std::function<void()> action) {
  State().hooks[api].push_back(Hook{nth - 1, std::move(action)});
}

int CallCount(const std::string& api) {
  auto it = State().counts.find(api);
  return it == State().counts.end() ? 0 : it->second;
}

const std::vector<std::string>& CallLog() { return State().log; }

const char* ResourceName(Resource r) {
  switch (r) {
    case Resource::Search: return "search";
    case Resource::Key: return "registry key";
    case Resource::File: return "file";
    case Resource::Mapping: return "file mapping";
    case Resource::View: return "mapped view";
    case Resource::ItemList: return "shell item list";
    case Resource::Allocator: return "shell allocator reference";
    case Resource::Library: return "loaded library";
    case Resource::Token: return "process token";
    case Resource::Sid: return "SID";
    case Resource::kCount: break;
  }
  return "?";
}

int OpenCount(Resource r) { return State().open[static_cast<int>(r)]; }

std::string LeakReport() {
  std::string report;
  for (int i = 0; i < static_cast<int>(Resource::kCount); ++i) {
    int n = State().open[i];
    if (n != 0) {
      report += std::to_string(n) + " " + ResourceName(static_cast<Resource>(i)) + "(s) still open\n";
    }
  }
  return report;
}

}  // namespace winsim
