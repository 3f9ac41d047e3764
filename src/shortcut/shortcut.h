// Shortcuts to the program in the current user's Startup folder, through the shell's
// link object. A shortcut counts as one to the program by its target's file name alone.
// Targets are wide text: the program's folder may have a name the ANSI code page lacks.
#pragma once

#include "support/raii.h"
#include "support/support.h"

#include <windows.h>
#include <string>

constexpr char kProgramFileName[] = "Tembix.exe";
constexpr char kShortcutName[] = "Tembix.lnk";

// The folder's path with a trailing backslash, or empty text; a missing folder is not created.
std::string GetSpecialFolderPath(int csidl);
std::string GetStartupFolder();

// The new object's IUnknown, or an empty pointer.
ComPtr<IUnknown> CreateComObject(REFCLSID classId);

// Writes nothing when the link object or one of its interfaces cannot be had.
void CreateShellLink(const std::string& linkPath, const std::string& description, const TWide& target,
                     const std::string& arguments, const TWide& workingDirectory, const TWide& iconPath, int iconIndex,
                     int showCommand, WORD hotKey);
// The stored target, unresolved; empty text for anything that is not a readable shortcut,
// and for a link path longer than 260 characters.
TWide GetShellLinkTarget(const std::string& linkPath);

// When the Startup folder cannot be found these search, delete and create nothing.
bool IsStartupShortcutPresent(const std::string& fileName);
// Keeps exactly one shortcut to this copy of the program, named linkName.
void InstallStartupShortcut(const std::string& linkName, const std::string& description, const TWide& target,
                            const std::string& arguments, const TWide& workingDirectory, const TWide& iconPath,
                            int iconIndex, int showCommand, WORD hotKey);
// Deletes every shortcut whose target's file name is fileName, whichever copy it points to.
void RemoveStartupShortcuts(const std::string& fileName);
