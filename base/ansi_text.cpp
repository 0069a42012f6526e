#include "base/ansi_text.h"

namespace {

BYTE FoldLetter(BYTE b) { return (b >= 'A' && b <= 'Z') ? static_cast<BYTE>(b + 0x20) : b; }

// True when only separators, at most one, are left at `p`.
BOOL AtEndOrFinalSeparator(const char* p) {
  return p[0] == '\0' || (IsSeparator(static_cast<BYTE>(p[0])) && p[1] == '\0');
}

}  // namespace

BOOL IsSeparator(BYTE b) { return b == '\\' || b == '/'; }

BOOL LoadAnsiCodePage(AnsiCodePage* codePage) {
  codePage->known = GetCPInfo(CP_ACP, &codePage->info) ? TRUE : FALSE;
  return codePage->known;
}

BOOL IsLeadByteIn(const AnsiCodePage* codePage, BYTE b) {
  if (!codePage->known) return FALSE;
  // Pairs of inclusive ranges, ended by a pair of zeros.
  for (int i = 0; i + 1 < MAX_LEADBYTES; i += 2) {
    const BYTE low = codePage->info.LeadByte[i];
    const BYTE high = codePage->info.LeadByte[i + 1];
    if (low == 0 && high == 0) break;
    if (b >= low && b <= high) return TRUE;
  }
  return FALSE;
}

int CharWidth(const AnsiCodePage* codePage, const char* p) {
  if (p[0] == '\0') return 0;
  return IsLeadByteIn(codePage, static_cast<BYTE>(p[0])) && p[1] != '\0' ? 2 : 1;
}

const char* FindText(const char* text, const char* pattern) {
  for (const char* start = text; *start != '\0'; ++start) {
    int i = 0;
    while (pattern[i] != '\0' && start[i] == pattern[i]) ++i;
    if (pattern[i] == '\0') return start;
  }
  return nullptr;
}

const char* FindTextNoCase(const char* text, const char* pattern) {
  for (const char* start = text; *start != '\0'; ++start) {
    int i = 0;
    // Stops at the end of the pattern (a match) or at the first difference; the end of the
    // text is a difference, since the pattern's byte there is not 0.
    while (pattern[i] != '\0' && FoldLetter(static_cast<BYTE>(start[i])) == FoldLetter(static_cast<BYTE>(pattern[i]))) {
      ++i;
    }
    if (pattern[i] == '\0') return start;
  }
  return nullptr;
}

void AppendTruncated(char* buffer, int capacity, const char* source) {
  AnsiCodePage codePage;
  LoadAnsiCodePage(&codePage);
  int at = lstrlenA(buffer);
  const char* s = source;
  while (*s != '\0') {
    int width = CharWidth(&codePage, s);
    // Without the code page every byte above 0x7F may be a lead byte: it needs room for two.
    const int room = (!codePage.known && static_cast<BYTE>(*s) >= 0x80) ? 2 : width;
    if (at + room > capacity - 1) break;
    for (int i = 0; i < width; ++i) buffer[at++] = *s++;
  }
  buffer[at] = '\0';
}

void StripTrailingSeparator(char* path) {
  // Without the lead bytes a final 0x5C could be the second half of a character: keep it.
  AnsiCodePage codePage;
  if (!LoadAnsiCodePage(&codePage)) return;
  char* lastSeparator = nullptr;
  for (char* p = path; *p != '\0'; p += CharWidth(&codePage, p)) {
    if (*p == '\\') lastSeparator = p;
  }
  if (lastSeparator != nullptr && lastSeparator[1] == '\0') *lastSeparator = '\0';
}

BOOL IsSameFolderOrAbove(const AnsiCodePage* codePage, const char* folder, const char* path) {
  if (!codePage->known || folder[0] == '\0') return FALSE;
  const char* f = folder;
  const char* p = path;
  while (!AtEndOrFinalSeparator(f)) {
    const int width = CharWidth(codePage, f);
    if (CharWidth(codePage, p) != width) return FALSE;
    if (width == 2) {
      if (f[0] != p[0] || f[1] != p[1]) return FALSE;
    } else if (IsSeparator(static_cast<BYTE>(*f))) {
      if (!IsSeparator(static_cast<BYTE>(*p))) return FALSE;
    } else if (FoldLetter(static_cast<BYTE>(*f)) != FoldLetter(static_cast<BYTE>(*p))) {
      return FALSE;
    }
    f += width;
    p += width;
  }
  // All of `folder` matched: `path` is the same folder, or goes on below it.
  return AtEndOrFinalSeparator(p) || IsSeparator(static_cast<BYTE>(*p));
}
