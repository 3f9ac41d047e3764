#include "shortcut.h"

#include "support/support.h"

#include <objidl.h>
#include <shlobj.h>
#include <cstring>
#include <vector>

namespace {

// Defined here rather than taken from the import library, which would bring every id of
// the platform into the executable (about 40 KiB).
constexpr GUID kClsidShellLink = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kIidUnknown = {0x00000000, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kIidShellLinkA = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kIidShellLinkW = {0x000214F9, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kIidPersistFile = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

constexpr size_t kPathBufferSize = 261;
constexpr size_t kMaxPathLength = kPathBufferSize - 1;
constexpr char kShortcutPattern[] = "*.lnk";
// Read-only, hidden, system, volume label and archive: directories are skipped, while
// hidden and system shortcuts count like any other.
constexpr DWORD kShortcutAttributes = faReadOnly | faHidden | faSysFile | faVolumeId | faArchive;

// The text in a fixed buffer up to its first NUL, never beyond the buffer.
std::string TextOf(const char* buffer, size_t size) {
    const void* nul = std::memchr(buffer, '\0', size);
    return std::string(buffer, nul ? static_cast<const char*>(nul) - buffer : size);
}

// The key a shortcut is recognised by: its target's file name, case folded.
TWide UpperFileName(const TWide& path) { return UpperCase(FileNameOf(path)); }

// The NT family's link object takes the target's fields by their wide names, which the ANSI
// code page may not hold; the 9x family's takes them in that code page.
template <class Link, class Text>
void SetLinkFields(const ComPtr<IUnknown>& object, REFIID iid, Text text, const TWide& description,
                   const TWide& target, const TWide& arguments, const TWide& workingDirectory, const TWide& iconPath,
                   int iconIndex, int showCommand, WORD hotKey) {
    const ComPtr<Link> link = object.As<Link>(iid);
    if (!link) return;
    link->SetPath(text(target).c_str());
    link->SetArguments(text(arguments).c_str());
    if (!workingDirectory.empty()) link->SetWorkingDirectory(text(workingDirectory).c_str());
    if (!iconPath.empty()) link->SetIconLocation(text(iconPath).c_str(), iconIndex);
    link->SetShowCmd(showCommand);
    if (!description.empty()) link->SetDescription(text(description).c_str());
    if (hotKey != 0) link->SetHotkey(hotKey);
}

// Hands the name of every shortcut file in folder to visit until it returns false.
template <class Visit>
void ForEachShortcut(const std::string& folder, Visit visit) {
    TSearchRec rec;
    for (DWORD code = FileSearchFirst(folder + kShortcutPattern, kShortcutAttributes, rec); code == 0;
         code = FileSearchNext(rec)) {
        if (!visit(rec.name)) break;
    }
    FileSearchClose(rec);
}

}  // namespace

std::string GetSpecialFolderPath(int csidl) {
    char buffer[kPathBufferSize] = {};
    if (!SHGetSpecialFolderPathA(nullptr, buffer, csidl, FALSE)) return {};
    return WithTrailingBackslash(TextOf(buffer, sizeof buffer));
}

std::string GetStartupFolder() { return GetSpecialFolderPath(CSIDL_STARTUP); }

ComPtr<IUnknown> CreateComObject(REFCLSID classId) {
    ComPtr<IUnknown> object;
    // A failed call leaves the slot null, which is the empty result.
    CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, kIidUnknown, object.put_void());
    return object;
}

void CreateShellLink(const std::string& linkPath, const std::string& description, const TWide& target,
                     const std::string& arguments, const TWide& workingDirectory, const TWide& iconPath, int iconIndex,
                     int showCommand, WORD hotKey) {
    const ComPtr<IUnknown> object = CreateComObject(kClsidShellLink);
    const ComPtr<IPersistFile> file = object.As<IPersistFile>(kIidPersistFile);
    if (!file || !object.As<IShellLinkA>(kIidShellLinkA)) return;
    if (WideApi.getModuleFileNameW) {
        SetLinkFields<IShellLinkW>(object, kIidShellLinkW, [](const TWide& text) { return text; }, Widen(description),
                                   target, Widen(arguments), workingDirectory, iconPath, iconIndex, showCommand, hotKey);
    } else {
        SetLinkFields<IShellLinkA>(object, kIidShellLinkA, Narrow, Widen(description), target, Widen(arguments),
                                   workingDirectory, iconPath, iconIndex, showCommand, hotKey);
    }
    file->Save(Widen(linkPath).c_str(), TRUE);
}

TWide GetShellLinkTarget(const std::string& linkPath) {
    // The path goes through a fixed field; a longer one is not read at all rather than cut.
    if (std::strlen(linkPath.c_str()) > kMaxPathLength) return {};
    char field[kPathBufferSize] = {};
    CopyToBuffer(field, linkPath);

    const ComPtr<IUnknown> object = CreateComObject(kClsidShellLink);
    const ComPtr<IShellLinkA> link = object.As<IShellLinkA>(kIidShellLinkA);
    const ComPtr<IShellLinkW> wideLink = object.As<IShellLinkW>(kIidShellLinkW);
    const ComPtr<IPersistFile> file = object.As<IPersistFile>(kIidPersistFile);
    if (!link || !file) return {};
    // After a failed load the object may still hold a path read from part of the file;
    // a file that is not a whole shortcut must not match anything.
    if (FAILED(file->Load(Widen(field).c_str(), STGM_READ))) return {};

    if (WideApi.getModuleFileNameW && wideLink) {
        wchar_t target[kPathBufferSize] = {};
        WIN32_FIND_DATAW found = {};
        wideLink->GetPath(target, kPathBufferSize, &found, SLGP_UNCPRIORITY);
        return TWide(target, wcsnlen(target, kPathBufferSize));
    }
    char target[kPathBufferSize] = {};
    WIN32_FIND_DATAA found = {};
    link->GetPath(target, sizeof target, &found, SLGP_UNCPRIORITY);
    return Widen(TextOf(target, sizeof target));
}

bool IsStartupShortcutPresent(const std::string& fileName) {
    const std::string folder = GetStartupFolder();
    // An empty folder would turn the search relative to the current directory.
    if (folder.empty()) return false;
    const TWide wanted = UpperCase(Widen(fileName));
    bool found = false;
    ForEachShortcut(folder, [&](const std::string& name) {
        found = UpperFileName(GetShellLinkTarget(folder + name)) == wanted;
        return !found;
    });
    return found;
}

void InstallStartupShortcut(const std::string& linkName, const std::string& description, const TWide& target,
                            const std::string& arguments, const TWide& workingDirectory, const TWide& iconPath,
                            int iconIndex, int showCommand, WORD hotKey) {
    const std::string folder = GetStartupFolder();
    if (folder.empty()) return;
    const TWide wantedName = UpperFileName(target);
    const TWide wantedTarget = UpperCase(target);
    bool exists = false;
    ForEachShortcut(folder, [&](const std::string& name) {
        const std::string path = folder + name;
        const TWide found = GetShellLinkTarget(path);
        if (UpperFileName(found) != wantedName) return true;  // another program's shortcut
        // Only the one named exactly linkName and pointing at this copy stays; shortcuts to
        // other copies and duplicates under other names would start the program twice.
        if (UpperCase(found) == wantedTarget && name == linkName) {
            exists = true;
        } else {
            DeleteFileA(path.c_str());
        }
        return true;
    });
    if (!exists) {
        CreateShellLink(folder + linkName, description, target, arguments, workingDirectory, iconPath, iconIndex,
                        showCommand, hotKey);
    }
}

void RemoveStartupShortcuts(const std::string& fileName) {
    const std::string folder = GetStartupFolder();
    if (folder.empty()) return;
    const TWide wanted = UpperCase(Widen(fileName));
    ForEachShortcut(folder, [&](const std::string& name) {
        const std::string path = folder + name;
        if (UpperFileName(GetShellLinkTarget(path)) == wanted) DeleteFileA(path.c_str());
        return true;
    });
}
