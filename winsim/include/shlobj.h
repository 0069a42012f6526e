// The stand-in's <shlobj.h>: the shell's special folders and its task allocator.
#pragma once
#include <windows.h>

#define CSIDL_PROGRAMS 0x0002
#define CSIDL_STARTUP 0x0007
#define CSIDL_COMMON_PROGRAMS 0x0017
#define CSIDL_COMMON_STARTUP 0x0018
#define CSIDL_PERSONAL 0x0005
#define CSIDL_STARTMENU 0x000b
#define CSIDL_DESKTOPDIRECTORY 0x0010
#define CSIDL_COMMON_STARTMENU 0x0016
#define CSIDL_COMMON_DESKTOPDIRECTORY 0x0019
#define CSIDL_PROGRAM_FILES 0x0026
#define CSIDL_PROGRAM_FILES_COMMON 0x002b
#define CSIDL_COMMON_DOCUMENTS 0x002e

typedef struct _SHITEMID {
  WORD cb;
  BYTE abID[1];
} SHITEMID;
typedef struct _ITEMIDLIST {
  SHITEMID mkid;
} ITEMIDLIST, *LPITEMIDLIST;
typedef const ITEMIDLIST* LPCITEMIDLIST;

struct IID;
typedef const IID& REFIID;

// The COM task allocator, with the method order of the real interface.
struct IMalloc {
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  virtual void* Alloc(SIZE_T bytes) = 0;
  virtual void* Realloc(void* block, SIZE_T bytes) = 0;
  virtual void Free(void* block) = 0;
  virtual SIZE_T GetSize(void* block) = 0;
  virtual int DidAlloc(void* block) = 0;
  virtual void HeapMinimize() = 0;

 protected:
  ~IMalloc() = default;
};
typedef IMalloc* LPMALLOC;

HRESULT SHGetMalloc(LPMALLOC* allocator);
HRESULT SHGetSpecialFolderLocation(HWND owner, int csidl, LPITEMIDLIST* list);
BOOL SHGetPathFromIDListA(LPCITEMIDLIST list, LPSTR path);
