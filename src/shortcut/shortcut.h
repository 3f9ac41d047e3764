// Starting at logon: shortcuts to the program in the current user's Startup folder, through
// the shell's link object, and the switch with which Task Manager's Startup tab disables one
// of them. A shortcut counts as one to the program by its target's file name; as one to this
// copy when that target is this very file, however its path is written. Paths are wide text:
// the folder and the program's folder may have names the ANSI code page lacks.
#pragma once

#include "support/raii.h"
#include "support/support.h"

#include <windows.h>

constexpr char kProgramFileName[] = "Tembix.exe";
constexpr char kShortcutName[] = "Tembix.lnk";

// The folder's path with a trailing backslash, or empty text; a missing folder is not created.
TWide GetSpecialFolderPath(int csidl);
TWide GetStartupFolder();

// The new object's IUnknown, or an empty pointer.
ComPtr<IUnknown> CreateComObject(REFCLSID classId);

// The link object's answer to the save; writes nothing when the object cannot be had.
HRESULT CreateShellLink(const TWide& linkPath, const char* description, const TWide& target, const char* arguments,
                        const TWide& workingDirectory, const TWide& iconPath, int iconIndex, int showCommand, WORD hotKey);
// The stored target, unresolved; empty text for anything that is not a readable shortcut,
// and for a link path longer than 260 characters.
TWide GetShellLinkTarget(const TWide& linkPath);

// Since Windows 8 Task Manager disables a Startup-folder entry without removing it, in a
// binary value named after the shortcut's file: an odd first byte is "disabled".
bool IsStartupEntryDisabled(const TWide& shortcutName);
void ForgetStartupEntry(const TWide& shortcutName);  // so that Windows starts it again

// When the Startup folder cannot be found these search, delete and create nothing.
// A shortcut under any name that Windows will start (present and not disabled) and that
// starts this very file. Only targets of the program's file name are opened, so that a
// shortcut to an unreachable share of another program cannot stall the caller.
bool IsStartupShortcutTo(const TWide& program);
// Keeps exactly one shortcut to this copy of the program, named linkName, and enabled. On
// failure the folder is put back as it was and the reason returned; a file that cannot be
// read first is not touched, and one that cannot be put back is named in notPutBack.
HRESULT InstallStartupShortcut(const char* linkName, const char* description, const TWide& target,
                               const char* arguments, const TWide& workingDirectory, const TWide& iconPath,
                               int iconIndex, int showCommand, WORD hotKey, TWide* notPutBack = nullptr);
// Deletes every shortcut whose target's file name is fileName, whichever copy it points to,
// and Task Manager's switch for it; on failure as above.
HRESULT RemoveStartupShortcuts(const char* fileName, TWide* notPutBack = nullptr);
