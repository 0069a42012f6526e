// The stand-in's registry: the predefined roots HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and
// HKEY_USERS holding trees of keys and values, with the rules of Windows for names, handles,
// access and deletion, and the codes its advapi32 returns.
//
// Names are ANSI (CP932 by default). As on Windows, a path is split at the byte 0x5C only where
// it is a character of its own: the second byte of a double-byte character (ソ, 表, 能 ...) is
// part of the name. Names compare without regard to the case of ASCII letters, keep their case,
// and subkeys are enumerated sorted by name, as NT's hives keep them.
//
// Simplifications, none of which the program can notice:
// - HKEY_CLASSES_ROOT and the other predefined handles are not offered (ERROR_INVALID_HANDLE);
//   HKEY_CURRENT_USER is a root of its own, not a key under HKEY_USERS.
// - No security descriptors: a test marks a key as refusing some access or its deletion.
//   On the 9x family, which has no registry security, the rights a handle was opened with are
//   not checked, as there; the marks a test sets still apply.
// - Order and comparison go by UTF-16 code units with ASCII letters upper-cased. Windows also
//   folds full-width, Greek and Cyrillic letters, which no name here uses; Wine lower-cases
//   instead, which orders "[\]^_`" differently from letters.
// - A subkey path of any length is taken; Wine's ANSI calls refuse one of more than 260
//   characters with ERROR_MORE_DATA (the program's paths are far shorter).
// - Values keep the bytes they were set with: no terminator is added to a REG_SZ set without
//   one, and RegQueryValueExA writes nothing into a buffer that is too small.
// - Classes and last-write times are empty.
#include <windows.h>

#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "calls.h"
#include "modules.h"
#include "winsim.h"
#include "winsim_registry.h"

namespace winsim {
namespace {

// Windows limits a key name to 255 characters.
const size_t kMaxKeyNameChars = 255;

struct Value {
  std::string name;  // as set, case kept
  DWORD type;
  std::string bytes;
};

struct Key {
  std::string name;  // as created, case kept; empty for the roots
  Key* parent = nullptr;
  // Subkeys by their folded name, which is also the enumeration order.
  std::map<std::u16string, std::shared_ptr<Key>> children;
  std::vector<Value> values;  // in the order they were first set
  bool deleted = false;
  bool predefined = false;
  REGSAM deniedAccess = 0;
  bool deletionDenied = false;
};

struct Handle {
  std::shared_ptr<Key> key;
  REGSAM access;
};

struct RegistryState {
  std::shared_ptr<Key> machine = MakeRoot();
  std::shared_ptr<Key> user = MakeRoot();
  std::shared_ptr<Key> users = MakeRoot();
  std::map<HKEY, Handle> handles;
  uintptr_t nextHandle = 0x2000;  // far from the predefined values, never reused
  std::vector<HKEY> flushed;

  static std::shared_ptr<Key> MakeRoot() {
    auto root = std::make_shared<Key>();
    root->predefined = true;
    return root;
  }
};

RegistryState& State() {
  static RegistryState state;
  return state;
}

bool IsNt() { return !IsWin9xPlatform(); }

// ---- names ----

// Appends the UTF-16 code units of UTF-8 `text`.
void AppendUtf16(const std::string& text, std::u16string* out) {
  for (size_t i = 0; i < text.size();) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    char32_t c;
    int extra;
    if (b < 0x80) {
      c = b;
      extra = 0;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F;
      extra = 1;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F;
      extra = 2;
    } else {
      c = b & 0x07;
      extra = 3;
    }
    ++i;
    for (int k = 0; k < extra && i < text.size(); ++k, ++i) {
      c = (c << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out->push_back(static_cast<char16_t>(c));
    }
  }
}

// The form in which Windows compares a name: its UTF-16 text with ASCII letters upper-cased.
// Folding the ANSI bytes instead would be wrong: in CP932 the second byte of a double-byte
// character can be an ASCII letter (ア is 83 41, ヂ is 83 61).
std::u16string Folded(const std::string& ansi) {
  std::u16string units;
  bool converted = false;
  if (CodePage() == 932) {
    try {
      AppendUtf16(Utf8(ansi), &units);
      converted = true;
    } catch (const std::exception&) {
      units.clear();  // bytes that are no CP932 text: kept distinct, after every real name
    }
  }
  if (!converted) {
    for (unsigned char b : ansi) units.push_back(b < 0x80 || CodePage() != 932 ? b : 0xF700 + b);
  }
  for (char16_t& u : units) {
    if (u >= u'a' && u <= u'z') u = static_cast<char16_t>(u - 0x20);
  }
  return units;
}

// Characters of an ANSI name, a double-byte character counting once.
size_t CharCount(const std::string& ansi) {
  size_t n = 0;
  for (size_t i = 0; i < ansi.size(); ++i, ++n) {
    if (IsLeadByte(static_cast<unsigned char>(ansi[i])) && i + 1 < ansi.size()) ++i;
  }
  return n;
}

// Splits a subkey path into its names. A 0x5C byte separates levels unless it is the second
// byte of a double-byte character; empty names (doubled or trailing backslashes) are skipped.
// A path that starts with a backslash is refused by the NT family (ERROR_BAD_PATHNAME); the
// 9x family finds no such key to open (ERROR_FILE_NOT_FOUND) but creates one, ignoring the
// backslash, as Wine's conformance tests record for Windows 95 to Me.
enum PathUse { PathToOpen, PathToCreate };
LONG SplitPath(const char* path, std::vector<std::string>* names, PathUse use = PathToOpen) {
  names->clear();
  if (path == nullptr) return ERROR_SUCCESS;
  if (path[0] == '\\' && IsNt()) return ERROR_BAD_PATHNAME;
  if (path[0] == '\\' && use == PathToOpen) return ERROR_FILE_NOT_FOUND;
  std::string current;
  for (const char* p = path; *p != '\0'; ++p) {
    unsigned char b = static_cast<unsigned char>(*p);
    if (IsLeadByte(b) && p[1] != '\0') {
      current += *p++;
      current += *p;
    } else if (b == '\\') {
      if (!current.empty()) names->push_back(current);
      current.clear();
    } else {
      current += *p;
    }
  }
  if (!current.empty()) names->push_back(current);
  for (const std::string& name : *names) {
    if (CharCount(name) > kMaxKeyNameChars) return ERROR_INVALID_PARAMETER;
  }
  return ERROR_SUCCESS;
}

// ---- handles ----

std::shared_ptr<Key> PredefinedRoot(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return State().machine;
  if (key == HKEY_CURRENT_USER) return State().user;
  if (key == HKEY_USERS) return State().users;
  return nullptr;
}

// The key a handle stands for and the rights it was opened with (all rights for a root).
LONG Resolve(HKEY handle, std::shared_ptr<Key>* key, REGSAM* access) {
  if (std::shared_ptr<Key> root = PredefinedRoot(handle)) {
    *key = root;
    *access = KEY_ALL_ACCESS;
    return ERROR_SUCCESS;
  }
  auto it = State().handles.find(handle);
  if (it == State().handles.end()) return ERROR_INVALID_HANDLE;
  if (it->second.key->deleted) return ERROR_KEY_DELETED;
  *key = it->second.key;
  *access = it->second.access;
  return ERROR_SUCCESS;
}

// The handle's rights include `needed`; the 9x family never checks.
bool Granted(REGSAM access, REGSAM needed) { return !IsNt() || (access & needed) == needed; }

HKEY NewHandle(const std::shared_ptr<Key>& key, REGSAM access) {
  HKEY handle = reinterpret_cast<HKEY>(State().nextHandle);
  State().nextHandle += 4;
  State().handles[handle] = Handle{key, access};
  detail::Acquired(Resource::Key);
  return handle;
}

// ---- the tree ----

std::shared_ptr<Key> Child(const Key& key, const std::string& name) {
  auto it = key.children.find(Folded(name));
  return it == key.children.end() ? nullptr : it->second;
}

std::shared_ptr<Key> Descend(std::shared_ptr<Key> key, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (!key) break;
    key = Child(*key, name);
  }
  return key;
}

std::shared_ptr<Key> DescendCreating(std::shared_ptr<Key> key, const std::vector<std::string>& names, bool* created) {
  *created = false;
  for (const std::string& name : names) {
    std::shared_ptr<Key> next = Child(*key, name);
    if (!next) {
      next = std::make_shared<Key>();
      next->name = name;
      next->parent = key.get();
      key->children[Folded(name)] = next;
      *created = true;
    }
    key = next;
  }
  return key;
}

Value* FindValue(Key& key, const char* name) {
  const std::u16string folded = Folded(name == nullptr ? "" : name);
  for (Value& v : key.values) {
    if (Folded(v.name) == folded) return &v;
  }
  return nullptr;
}

void MarkDeleted(Key& key) {
  key.deleted = true;
  key.parent = nullptr;
  for (auto& child : key.children) MarkDeleted(*child.second);
}

// Takes `key` out of the tree. On the 9x family the subkeys go first, the one at index 0 each
// time, stopping at the first that refuses; the NT family deletes only keys without subkeys.
LONG DeleteKey(std::shared_ptr<Key> key) {
  if (key->predefined) return ERROR_ACCESS_DENIED;
  if ((key->deniedAccess & DELETE) != 0 || key->deletionDenied) return ERROR_ACCESS_DENIED;
  if (IsNt()) {
    if (!key->children.empty()) return ERROR_ACCESS_DENIED;
  } else {
    while (!key->children.empty()) {
      LONG result = DeleteKey(key->children.begin()->second);
      if (result != ERROR_SUCCESS) return result;
    }
  }
  Key* parent = key->parent;
  MarkDeleted(*key);
  parent->children.erase(Folded(key->name));
  return ERROR_SUCCESS;
}

std::shared_ptr<Key> TestSideKey(HKEY root, const std::string& path) {
  std::shared_ptr<Key> start = PredefinedRoot(root);
  std::vector<std::string> names;
  if (!start || SplitPath(path.c_str(), &names) != ERROR_SUCCESS) return nullptr;
  return Descend(start, names);
}

std::shared_ptr<Key> TestSideCreate(HKEY root, const std::string& path) {
  std::shared_ptr<Key> start = PredefinedRoot(root);
  std::vector<std::string> names;
  if (!start || SplitPath(path.c_str(), &names, PathToCreate) != ERROR_SUCCESS) return nullptr;
  bool created;
  return DescendCreating(start, names, &created);
}

void CollectTree(const Key& key, const std::string& path, std::vector<std::string>* out) {
  for (const auto& child : key.children) {
    std::string childPath = path.empty() ? child.second->name : path + "\\" + child.second->name;
    out->push_back(childPath);
    CollectTree(*child.second, childPath, out);
  }
}

void DumpKey(const Key& key, int depth, std::string* out) {
  for (const Value& v : key.values) {
    *out += std::string(depth * 2, ' ') + "[" + v.name + "] type " + std::to_string(v.type) + ", " +
            std::to_string(v.bytes.size()) + " bytes\n";
  }
  for (const auto& child : key.children) {
    *out += std::string(depth * 2, ' ') + child.second->name + "\n";
    DumpKey(*child.second, depth + 1, out);
  }
}

}  // namespace

namespace detail {
void ResetRegistry() {
  // Handles still open at a reset belong to the test that left them; the accounting is reset
  // with the calls.
  State() = RegistryState();
}
}  // namespace detail

// ---- test side ----

void CreateKey(HKEY root, const std::string& path) { TestSideCreate(root, path); }

void SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type, const std::string& bytes) {
  std::shared_ptr<Key> key = TestSideCreate(root, path);
  if (!key) return;
  if (Value* v = FindValue(*key, name.c_str())) {
    v->type = type;
    v->bytes = bytes;
  } else {
    key->values.push_back(Value{name, type, bytes});
  }
}

void SetStringValue(HKEY root, const std::string& path, const std::string& name, const std::string& text) {
  SetValue(root, path, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

bool DenyKeyAccess(HKEY root, const std::string& path, REGSAM access) {
  std::shared_ptr<Key> key = TestSideKey(root, path);
  if (!key || key->predefined) return false;
  key->deniedAccess |= access;
  return true;
}

bool DenyKeyDeletion(HKEY root, const std::string& path) {
  std::shared_ptr<Key> key = TestSideKey(root, path);
  if (!key || key->predefined) return false;
  key->deletionDenied = true;
  return true;
}

bool KeyExists(HKEY root, const std::string& path) { return TestSideKey(root, path) != nullptr; }

bool ValueExists(HKEY root, const std::string& path, const std::string& name) {
  std::shared_ptr<Key> key = TestSideKey(root, path);
  return key && FindValue(*key, name.c_str()) != nullptr;
}

std::string ValueBytes(HKEY root, const std::string& path, const std::string& name) {
  std::shared_ptr<Key> key = TestSideKey(root, path);
  Value* v = key ? FindValue(*key, name.c_str()) : nullptr;
  return v ? v->bytes : "";
}

std::vector<std::string> KeyTree(HKEY root, const std::string& path) {
  std::vector<std::string> out;
  std::shared_ptr<Key> key = TestSideKey(root, path);
  if (!key) return out;
  std::string start;
  if (!key->predefined) {
    // The path with the names' own case, rebuilt from the key upwards.
    for (const Key* k = key.get(); k != nullptr && !k->predefined; k = k->parent) {
      start = start.empty() ? k->name : k->name + "\\" + start;
    }
    out.push_back(start);
  }
  CollectTree(*key, start, &out);
  return out;
}

std::string DumpRegistry() {
  std::string out;
  const std::pair<const char*, const Key*> roots[] = {{"HKEY_LOCAL_MACHINE", State().machine.get()},
                                                      {"HKEY_CURRENT_USER", State().user.get()},
                                                      {"HKEY_USERS", State().users.get()}};
  for (const auto& root : roots) {
    out += std::string(root.first) + "\n";
    DumpKey(*root.second, 1, &out);
  }
  return out;
}

const std::vector<HKEY>& FlushedKeys() { return State().flushed; }

}  // namespace winsim

using winsim::Key;
using winsim::State;
using winsim::detail::Call;

// ---- the API ----

// A null or empty subkey opens the key itself again: a predefined root comes back as itself
// (not a new handle), any other key as a new handle. Simplified: the options are ignored, and
// the rights asked for are refused only where a test marked the key.
LONG RegOpenKeyExA(HKEY key, LPCSTR subkey, DWORD, REGSAM access, PHKEY result) {
  const Call call("RegOpenKeyExA");
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;  // as Windows leaves it after any failure
  if (call.Failed()) return call.ResultCode();
  std::shared_ptr<Key> parent;
  REGSAM parentAccess;
  LONG rc = winsim::Resolve(key, &parent, &parentAccess);
  if (rc != ERROR_SUCCESS) return rc;
  std::vector<std::string> names;
  rc = winsim::SplitPath(subkey, &names);
  if (rc != ERROR_SUCCESS) return rc;
  if (names.empty() && parent->predefined) {
    *result = key;
    return ERROR_SUCCESS;
  }
  std::shared_ptr<Key> target = winsim::Descend(parent, names);
  if (!target) return ERROR_FILE_NOT_FOUND;
  if ((target->deniedAccess & access) != 0) return ERROR_ACCESS_DENIED;
  *result = winsim::NewHandle(target, access);
  return ERROR_SUCCESS;
}

// Creates the missing keys of the path; the class, options and security are ignored.
LONG RegCreateKeyExA(HKEY key, LPCSTR subkey, DWORD, LPSTR, DWORD, REGSAM access, LPSECURITY_ATTRIBUTES, PHKEY result,
                     LPDWORD disposition) {
  const Call call("RegCreateKeyExA");
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;  // as Windows leaves it after any failure
  if (call.Failed()) return call.ResultCode();
  std::shared_ptr<Key> parent;
  REGSAM parentAccess;
  LONG rc = winsim::Resolve(key, &parent, &parentAccess);
  if (rc != ERROR_SUCCESS) return rc;
  std::vector<std::string> names;
  rc = winsim::SplitPath(subkey, &names, winsim::PathToCreate);
  if (rc != ERROR_SUCCESS) return rc;
  bool created = false;
  std::shared_ptr<Key> target = winsim::DescendCreating(parent, names, &created);
  if (!created && (target->deniedAccess & access) != 0) return ERROR_ACCESS_DENIED;
  if (disposition != nullptr) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = winsim::NewHandle(target, access);
  return ERROR_SUCCESS;
}

// `nameChars` is the capacity in characters, terminator included; a name that does not fit
// gives ERROR_MORE_DATA and leaves the capacity as it was (as Wine's advapi32 does).
LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameChars, LPDWORD reserved, LPSTR keyClass,
                   LPDWORD classChars, LPFILETIME lastWrite) {
  if (Call call("RegEnumKeyExA"); call.Failed()) return call.ResultCode();
  if (reserved != nullptr || name == nullptr || nameChars == nullptr) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<Key> parent;
  REGSAM access;
  LONG rc = winsim::Resolve(key, &parent, &access);
  if (rc != ERROR_SUCCESS) return rc;
  if (!winsim::Granted(access, KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  if (index >= parent->children.size()) return ERROR_NO_MORE_ITEMS;
  auto it = parent->children.begin();
  std::advance(it, index);
  const std::string& childName = it->second->name;
  if (childName.size() >= *nameChars) return ERROR_MORE_DATA;
  if (keyClass != nullptr && classChars != nullptr) {
    if (*classChars < 1) return ERROR_MORE_DATA;
    keyClass[0] = '\0';
    *classChars = 0;
  }
  childName.copy(name, childName.size());
  name[childName.size()] = '\0';
  *nameChars = static_cast<DWORD>(childName.size());
  if (lastWrite != nullptr) *lastWrite = FILETIME{0, 0};
  return ERROR_SUCCESS;
}

// `dataBytes` is the capacity in bytes; with null `data` it receives the size alone. A value
// that does not fit gives ERROR_MORE_DATA and its size. Simplified: the stored bytes come back
// as set (Windows adds a missing string terminator), and a short buffer is left untouched.
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataBytes) {
  if (Call call("RegQueryValueExA"); call.Failed()) return call.ResultCode();
  if (reserved != nullptr || (data != nullptr && dataBytes == nullptr)) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<Key> target;
  REGSAM access;
  LONG rc = winsim::Resolve(key, &target, &access);
  if (rc != ERROR_SUCCESS) return rc;
  if (!winsim::Granted(access, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  const winsim::Value* value = winsim::FindValue(*target, valueName);
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  if (type != nullptr) *type = value->type;
  const DWORD size = static_cast<DWORD>(value->bytes.size());
  if (data != nullptr) {
    if (size > *dataBytes) {
      *dataBytes = size;
      return ERROR_MORE_DATA;
    }
    value->bytes.copy(reinterpret_cast<char*>(data), size);
  }
  if (dataBytes != nullptr) *dataBytes = size;
  return ERROR_SUCCESS;
}

// Simplified: the bytes are kept as given, whatever the type says.
LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD dataBytes) {
  if (Call call("RegSetValueExA"); call.Failed()) return call.ResultCode();
  if (reserved != 0 || (data == nullptr && dataBytes != 0)) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<Key> target;
  REGSAM access;
  LONG rc = winsim::Resolve(key, &target, &access);
  if (rc != ERROR_SUCCESS) return rc;
  if (!winsim::Granted(access, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  std::string bytes(reinterpret_cast<const char*>(data), dataBytes);
  if (winsim::Value* v = winsim::FindValue(*target, valueName)) {
    v->type = type;
    v->bytes = bytes;
  } else {
    target->values.push_back(winsim::Value{valueName == nullptr ? "" : valueName, type, bytes});
  }
  return ERROR_SUCCESS;
}

// Opens the subkey for deletion, as advapi32 does, so a key that refuses DELETE cannot be
// deleted. An empty subkey deletes the key of the handle itself; a root is never deleted.
// A key with subkeys is refused on the NT family and deleted with its subtree on the 9x family.
LONG RegDeleteKeyA(HKEY key, LPCSTR subkey) {
  if (Call call("RegDeleteKeyA"); call.Failed()) return call.ResultCode();
  if (subkey == nullptr) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<Key> parent;
  REGSAM access;
  LONG rc = winsim::Resolve(key, &parent, &access);
  if (rc != ERROR_SUCCESS) return rc;
  std::vector<std::string> names;
  rc = winsim::SplitPath(subkey, &names);
  if (rc != ERROR_SUCCESS) return rc;
  std::shared_ptr<Key> target = winsim::Descend(parent, names);
  if (!target) return ERROR_FILE_NOT_FOUND;
  return winsim::DeleteKey(target);
}

// Deleting a value needs KEY_SET_VALUE on the NT family (a handle opened with DELETE alone is
// refused); the 9x family does not check.
LONG RegDeleteValueA(HKEY key, LPCSTR valueName) {
  if (Call call("RegDeleteValueA"); call.Failed()) return call.ResultCode();
  std::shared_ptr<Key> target;
  REGSAM access;
  LONG rc = winsim::Resolve(key, &target, &access);
  if (rc != ERROR_SUCCESS) return rc;
  if (!winsim::Granted(access, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  const std::u16string folded = winsim::Folded(valueName == nullptr ? "" : valueName);
  for (auto it = target->values.begin(); it != target->values.end(); ++it) {
    if (winsim::Folded(it->name) == folded) {
      target->values.erase(it);
      return ERROR_SUCCESS;
    }
  }
  return ERROR_FILE_NOT_FOUND;
}

// Closing a predefined root always succeeds and releases nothing; a handle of a deleted key
// closes normally.
LONG RegCloseKey(HKEY key) {
  if (Call call("RegCloseKey"); call.Failed()) return call.ResultCode();
  if (winsim::PredefinedRoot(key)) return ERROR_SUCCESS;
  auto it = State().handles.find(key);
  if (it == State().handles.end()) return ERROR_INVALID_HANDLE;
  State().handles.erase(it);
  winsim::detail::Released(winsim::Resource::Key);
  return ERROR_SUCCESS;
}

// Nothing is written anywhere; the call is recorded for the tests.
LONG RegFlushKey(HKEY key) {
  const Call call("RegFlushKey");
  State().flushed.push_back(key);
  if (call.Failed()) return call.ResultCode();
  std::shared_ptr<Key> target;
  REGSAM access;
  return winsim::Resolve(key, &target, &access);
}
