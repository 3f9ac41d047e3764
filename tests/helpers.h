// Scratch files and directories for tests that use the real file system.
#pragma once

#include <windows.h>
#include <string>

// A fresh, empty directory below the current one; no trailing backslash.
std::string ScratchDir(const std::string& name);
void RemoveTree(const std::string& path);
std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
