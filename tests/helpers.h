// Scratch files and directories for tests that use the real file system.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

// A fresh, empty directory below the current one; no trailing backslash.
std::string ScratchDir(const std::string& name);
void RemoveTree(const std::string& path);
std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// One busy thread per processor for as long as it lives: a load of 100 %.
class FullLoad {
public:
    FullLoad();
    ~FullLoad();
    FullLoad(const FullLoad&) = delete;
    FullLoad& operator=(const FullLoad&) = delete;

private:
    std::vector<HANDLE> threads_;
};
