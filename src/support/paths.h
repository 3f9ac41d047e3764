// Paths in the ANSI code page, split only at single-byte delimiters so that a double-byte
// character's trail byte is never taken for a backslash; and wide names, with the program's
// own location in the form the NT family knows it.
#pragma once

#include "text.h"

#include <windows.h>

enum class TByteKind { Single, Lead, Trail };

// index is 1-based into text.
TByteKind ByteKindAt(const TAnsi& text, int index);
bool IsSingleByteBackslash(const TAnsi& text, int index);
int LastDelimiterIndex(const char* delimiters, const TAnsi& text);

TAnsi DirectoryOf(const TAnsi& path);
TAnsi FileNameOf(const TAnsi& path);
TAnsi WithTrailingBackslash(const TAnsi& path);
TAnsi WithoutTrailingBackslash(const TAnsi& path);

TAnsi UpperCaseAnsi(const TAnsi& text);
// The caller provides room for text.size() + 1 bytes.
char* CopyToBuffer(char* buffer, const TAnsi& text);

// Empty text when the path is empty, the platform lacks GetLongPathNameA, or it fails.
TAnsi LongPathName(const TAnsi& path);
// A module's full path; too long (refused) when it and its NUL do not fit MAX_PATH.
TAnsi ModuleFileName(HMODULE module);
TWide ModulePath(HMODULE module);

// Wide text: file names as the NT family knows them, which the ANSI code page may not hold.
TWide Widen(const TAnsi& ansi);
TAnsi Narrow(const TWide& wide);  // characters the code page lacks become '?'

// The directory of the program's file, in its long form and ending in "\": from the wide
// module name on the NT family, where the ANSI one has '?' for what the code page lacks.
// Empty when the system does not tell it: whatever is named in it must then not be looked
// for at all, since a name without a folder is one of the current folder.
TWide ProgramDirectory();
TWide ProgramFileName();
TWide LongForm(const TWide& path);  // the path itself where the system gives no long form
TWide FileNameOf(const TWide& path);  // after the last "\" or ":"
TWide UpperCase(const TWide& text);
