// Folders an install folder read from the registry can never be: the registry is input, and a
// registration under a generic name may be another vendor's, or damaged, or edited by hand.
#pragma once

// 1 when `folder` (already judged by IsUsableFolder) cannot be the package's own folder: the
// Windows or system folder, a folder the shell names (Start menu, desktop, documents, program
// files and their shared forms) or the registry names as Program Files or Common Files, or a
// folder above any of them, compared by name and by 8.3 alias; a folder on a network drive; or a
// folder that is a junction or folder link, or lies below one, so its files are really elsewhere.
int IsGuardedFolder(const char* folder);
