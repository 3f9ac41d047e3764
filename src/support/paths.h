// Paths in the ANSI code page, split only at single-byte delimiters so that a double-byte
// character's trail byte is never taken for a backslash; and wide names, with the program's
// own location in the form the NT family knows it.
#pragma once

#include <windows.h>
#include <string>

enum class TByteKind { Single, Lead, Trail };

// index is 1-based into text.
TByteKind ByteKindAt(const std::string& text, int index);
bool IsSingleByteBackslash(const std::string& text, int index);
int LastDelimiterIndex(const char* delimiters, const std::string& text);

std::string DirectoryOf(const std::string& path);
std::string FileNameOf(const std::string& path);
std::string WithTrailingBackslash(const std::string& path);
std::string WithoutTrailingBackslash(const std::string& path);

std::string UpperCaseAnsi(const std::string& text);
// The caller provides room for text.size() + 1 bytes.
char* CopyToBuffer(char* buffer, const std::string& text);

// Empty text when the path is empty, the platform lacks GetLongPathNameA, or it fails.
std::string LongPathName(const std::string& path);
std::string ModuleFileName(HMODULE module);

// Wide text: file names as the NT family knows them, which the ANSI code page may not
// hold. A string of its own traits, so that only what the program uses is compiled in:
// the library's wide string would add about 35 KiB to the executable.
struct TWideTraits : std::char_traits<wchar_t> {};
using TWide = std::basic_string<wchar_t, TWideTraits>;
TWide Widen(const std::string& ansi);
std::string Narrow(const TWide& wide);  // characters the code page lacks become '?'

// The directory of the program's file, in its long form and ending in "\": from the wide
// module name on the NT family, where the ANSI one has '?' for what the code page lacks.
TWide ProgramDirectory();
TWide ProgramFileName();
TWide FileNameOf(const TWide& path);  // after the last "\" or ":"
TWide UpperCase(const TWide& text);
