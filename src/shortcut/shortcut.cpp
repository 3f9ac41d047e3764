#include "shortcut.h"

#include "support/support.h"

#include <objidl.h>
#include <shlobj.h>
#include <cstring>

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
const wchar_t kApprovedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";

// The text in a fixed buffer up to its first NUL, never beyond the buffer.
TAnsi TextOf(const char* buffer, size_t size) {
    const void* nul = std::memchr(buffer, '\0', size);
    return TAnsi(buffer, nul ? static_cast<const char*>(nul) - buffer : size);
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

HRESULT LastError() {
    const DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;  // a failure, whatever the system says
}

// The files a change of the folder touches, each kept before anything is touched, and put
// back newest first unless the change is kept. The first that cannot be put back is named.
class FolderUndo {
public:
    explicit FolderUndo(TWide* notPutBack) : notPutBack_(notPutBack) {}
    FolderUndo(const FolderUndo&) = delete;
    FolderUndo& operator=(const FolderUndo&) = delete;
    ~FolderUndo() {
        for (unique_alloc<Kept> kept = std::move(newest_); kept; kept = std::move(kept->older)) {
            if (done_ || RestoreFile(kept->file)) continue;
            if (notPutBack_ && notPutBack_->empty()) *notPutBack_ = kept->file.path;
        }
    }
    // Keeps a file before it is created (doomed false) or deleted. The reason when it is there
    // but cannot be read, or there is no memory to keep it: then nothing may change.
    HRESULT Keep(const TWide& path, bool doomed) {
        unique_alloc<Kept> kept = Allocate<Kept>();
        if (!kept) return E_OUTOFMEMORY;
        kept->file = SnapshotFile(path);
        if (kept->file.state == TFileSnapshot::Unread) return HRESULT_FROM_WIN32(kept->file.error);  // untouched, then
        kept->doomed = doomed;
        kept->older = std::move(newest_);
        newest_ = std::move(kept);
        return S_OK;
    }
    // Deletes every doomed file; the reason of the first that stays.
    HRESULT DeleteDoomed() {
        for (const Kept* kept = newest_.get(); kept; kept = kept->older.get()) {
            if (kept->doomed && !DeleteFileWide(kept->file.path)) return LastError();
        }
        return S_OK;
    }
    // Keeps the change, and forgets Task Manager's switch for every shortcut deleted.
    void Done() {
        done_ = true;
        for (const Kept* kept = newest_.get(); kept; kept = kept->older.get()) {
            if (kept->doomed) ForgetStartupEntry(FileNameOf(kept->file.path));
        }
    }

private:
    struct Kept {
        TFileSnapshot file;
        bool doomed;
        unique_alloc<Kept> older;
    };
    TWide* notPutBack_;
    unique_alloc<Kept> newest_;
    bool done_ = false;
};

// A shortcut that Windows will start (present and not disabled) whose target passes `is`.
template <class Is>
bool IsEnabledShortcutPresent(Is is) {
    const TWide folder = GetStartupFolder();
    // An empty folder would turn the search relative to the current directory.
    if (folder.empty()) return false;
    for (TFileList files(folder + L"*.lnk"); files.Next();) {
        if (is(GetShellLinkTarget(folder + files.name)) && !IsStartupEntryDisabled(files.name)) return true;
    }
    return false;
}

}  // namespace

TWide GetSpecialFolderPath(int csidl) {
    if (!WideApi.shGetSpecialFolderPathW) {
        char buffer[kPathBufferSize] = {};
        if (!SHGetSpecialFolderPathA(nullptr, buffer, csidl, FALSE)) return {};
        return Widen(WithTrailingBackslash(TextOf(buffer, sizeof buffer)));
    }
    wchar_t buffer[kPathBufferSize] = {};
    if (!WideApi.shGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE)) return {};
    TWide path(buffer, wcsnlen(buffer, kPathBufferSize));
    return path.empty() || path.back() == L'\\' ? path : path + L'\\';
}

TWide GetStartupFolder() { return GetSpecialFolderPath(CSIDL_STARTUP); }

ComPtr<IUnknown> CreateComObject(REFCLSID classId) {
    ComPtr<IUnknown> object;
    // A failed call leaves the slot null, which is the empty result.
    CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, kIidUnknown, object.put_void());
    return object;
}

HRESULT CreateShellLink(const TWide& linkPath, const char* description, const TWide& target, const char* arguments,
                        const TWide& workingDirectory, const TWide& iconPath, int iconIndex, int showCommand, WORD hotKey) {
    const ComPtr<IUnknown> object = CreateComObject(kClsidShellLink);
    const ComPtr<IPersistFile> file = object.As<IPersistFile>(kIidPersistFile);
    if (!file || !object.As<IShellLinkA>(kIidShellLinkA)) return E_NOINTERFACE;
    if (WideApi.getModuleFileNameW) {
        SetLinkFields<IShellLinkW>(object, kIidShellLinkW, [](const TWide& text) { return text; }, Widen(description),
                                   target, Widen(arguments), workingDirectory, iconPath, iconIndex, showCommand, hotKey);
    } else {
        SetLinkFields<IShellLinkA>(object, kIidShellLinkA, Narrow, Widen(description), target, Widen(arguments),
                                   workingDirectory, iconPath, iconIndex, showCommand, hotKey);
    }
    return file->Save(linkPath.c_str(), TRUE);
}

TWide GetShellLinkTarget(const TWide& linkPath) {
    // The path goes through a fixed field; a longer one is not read at all rather than cut.
    if (linkPath.size() > kMaxPathLength || linkPath.size() != wcslen(linkPath.c_str()) || linkPath.TooLong()) return {};
    const ComPtr<IUnknown> object = CreateComObject(kClsidShellLink);
    const ComPtr<IShellLinkA> link = object.As<IShellLinkA>(kIidShellLinkA);
    const ComPtr<IShellLinkW> wideLink = object.As<IShellLinkW>(kIidShellLinkW);
    const ComPtr<IPersistFile> file = object.As<IPersistFile>(kIidPersistFile);
    if (!link || !file) return {};
    // After a failed load the object may still hold a path read from part of the file;
    // a file that is not a whole shortcut must not match anything.
    if (FAILED(file->Load(linkPath.c_str(), STGM_READ))) return {};

    // No flags: the one form of the path that the interface documents as supported.
    if (WideApi.getModuleFileNameW && wideLink) {
        wchar_t target[kPathBufferSize] = {};
        WIN32_FIND_DATAW found = {};
        wideLink->GetPath(target, kPathBufferSize, &found, 0);
        return TWide(target, wcsnlen(target, kPathBufferSize));
    }
    char target[kPathBufferSize] = {};
    WIN32_FIND_DATAA found = {};
    link->GetPath(target, sizeof target, &found, 0);
    return Widen(TextOf(target, sizeof target));
}

bool IsStartupEntryDisabled(const TWide& shortcutName) {
    HKEY opened = nullptr;
    if (!WideApi.regOpenKeyExW || WideApi.regOpenKeyExW(HKEY_CURRENT_USER, kApprovedKey, 0, KEY_QUERY_VALUE, &opened) != 0) {
        return false;
    }
    const unique_hkey key(opened);
    BYTE data[16] = {};  // the first byte is all that counts; longer values still answer with it
    DWORD type = 0, size = sizeof data;
    const LONG status = WideApi.regQueryValueExW(opened, shortcutName.c_str(), nullptr, &type, data, &size);
    return (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) && type == REG_BINARY && size > 0 && (data[0] & 1);
}

void ForgetStartupEntry(const TWide& shortcutName) {
    HKEY opened = nullptr;
    if (!WideApi.regOpenKeyExW || WideApi.regOpenKeyExW(HKEY_CURRENT_USER, kApprovedKey, 0, KEY_SET_VALUE, &opened) != 0) {
        return;
    }
    const unique_hkey key(opened);
    WideApi.regDeleteValueW(opened, shortcutName.c_str());
}

bool IsStartupShortcutTo(const TWide& program) {
    const TWide wantedName = UpperFileName(program);
    return IsEnabledShortcutPresent([&](const TWide& target) {
        return UpperFileName(target) == wantedName && IsSameFile(target, program);
    });
}

HRESULT InstallStartupShortcut(const char* linkName, const char* description, const TWide& target,
                               const char* arguments, const TWide& workingDirectory, const TWide& iconPath,
                               int iconIndex, int showCommand, WORD hotKey, TWide* notPutBack) {
    const TWide folder = GetStartupFolder(), name = Widen(linkName);
    if (folder.empty()) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    const TWide wantedName = UpperFileName(target);
    bool exists = false;
    FolderUndo undo(notPutBack);
    HRESULT result = S_OK;
    for (TFileList files(folder + L"*.lnk"); SUCCEEDED(result) && files.Next();) {
        const TWide foundTarget = GetShellLinkTarget(folder + files.name);
        if (UpperFileName(foundTarget) != wantedName) continue;  // another program's shortcut
        // Only the one named exactly linkName and pointing at this copy stays; shortcuts to
        // other copies and duplicates under other names would start the program twice.
        if (files.name == name && IsSameFile(foundTarget, target)) exists = true;
        else result = undo.Keep(folder + files.name, true);
    }
    if (SUCCEEDED(result)) result = undo.DeleteDoomed();
    if (SUCCEEDED(result) && !exists && SUCCEEDED(result = undo.Keep(folder + name, false))) {
        result = CreateShellLink(folder + name, description, target, arguments, workingDirectory, iconPath, iconIndex,
                                 showCommand, hotKey);
    }
    if (FAILED(result)) return result;
    undo.Done();
    if (IsStartupEntryDisabled(name)) ForgetStartupEntry(name);
    return S_OK;
}

HRESULT RemoveStartupShortcuts(const char* fileName, TWide* notPutBack) {
    const TWide folder = GetStartupFolder();
    if (folder.empty()) return S_OK;
    const TWide wanted = UpperCase(Widen(fileName));
    FolderUndo undo(notPutBack);
    HRESULT result = S_OK;
    for (TFileList files(folder + L"*.lnk"); SUCCEEDED(result) && files.Next();) {
        if (UpperFileName(GetShellLinkTarget(folder + files.name)) == wanted) result = undo.Keep(folder + files.name, true);
    }
    if (SUCCEEDED(result) && SUCCEEDED(result = undo.DeleteDoomed())) undo.Done();
    return result;
}
