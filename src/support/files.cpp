// The directory search, the files of a folder by wide name, deletions, and files kept to be put back.
#include "files.h"

#include "platform.h"

#include <cstring>

namespace {

constexpr size_t kMaxPath = MAX_PATH;  // 260 characters, plus the NUL

DWORD FileSearchMatch(TSearchRec& rec) {
    while (rec.findData.dwFileAttributes & rec.excludeMask) {
        if (!FindNextFileA(rec.findHandle, &rec.findData)) return GetLastError();
    }
    FILETIME local = {};
    WORD date = 0, time = 0;
    FileTimeToLocalFileTime(&rec.findData.ftLastWriteTime, &local);
    FileTimeToDosDateTime(&local, &date, &time);
    rec.dosTime = (static_cast<DWORD>(date) << 16) | time;
    rec.size = static_cast<int32_t>(rec.findData.nFileSizeLow);
    rec.attributes = rec.findData.dwFileAttributes;
    rec.name = TAnsi(rec.findData.cFileName, strnlen(rec.findData.cFileName, kMaxPath));
    return 0;
}

// Empty when the file cannot be opened, with the reason as the last error. No access at all
// asks only for what the system knows of the file, beside whoever has it open.
unique_handle OpenFile(const TWide& path, DWORD access, DWORD disposition, DWORD attributes = 0) {
    const DWORD share = access == GENERIC_READ ? FILE_SHARE_READ
                        : access != 0          ? 0
                        : PlatformId == VER_PLATFORM_NT ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE
                                                        : FILE_SHARE_READ | FILE_SHARE_WRITE;  // the 9x family refuses the third
    const HANDLE file = WideApi.createFileW
                            ? WideApi.createFileW(path.c_str(), access, share, nullptr, disposition, attributes, nullptr)
                            : CreateFileA(Narrow(path).c_str(), access, share, nullptr, disposition, attributes, nullptr);
    return unique_handle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

bool SetAttributes(const TWide& path, DWORD attributes) {
    if (WideApi.setFileAttributesW) return WideApi.setFileAttributesW(path.c_str(), attributes) != 0;
    return KernelApi.setFileAttributesA && KernelApi.setFileAttributesA(Narrow(path).c_str(), attributes);
}

bool IsAsKept(const TFileSnapshot& now, const TFileSnapshot& kept) {
    return now.state == kept.state && now.size == kept.size &&
           (!now.size || std::memcmp(now.bytes.get(), kept.bytes.get(), now.size) == 0) && now.attributes == kept.attributes &&
           now.lastWrite.dwLowDateTime == kept.lastWrite.dwLowDateTime &&
           now.lastWrite.dwHighDateTime == kept.lastWrite.dwHighDateTime;
}

// The volume and index of an existing file; false where the system gives no index.
bool FileIdentity(const TWide& path, BY_HANDLE_FILE_INFORMATION& info) {
    const unique_handle file = OpenFile(path, 0, OPEN_EXISTING);
    return file && KernelApi.getFileInformationByHandle && KernelApi.getFileInformationByHandle(file.get(), &info) &&
           (info.nFileIndexHigh || info.nFileIndexLow);
}

}  // namespace

bool IsSameFile(const TWide& a, const TWide& b) {
    if (a.empty() || b.empty()) return false;
    BY_HANDLE_FILE_INFORMATION one = {}, other = {};
    if (FileIdentity(a, one) && FileIdentity(b, other)) {
        return one.dwVolumeSerialNumber == other.dwVolumeSerialNumber && one.nFileIndexHigh == other.nFileIndexHigh &&
               one.nFileIndexLow == other.nFileIndexLow;
    }
    return UpperCase(LongForm(a)) == UpperCase(LongForm(b));
}

TSearchRec::~TSearchRec() { FileSearchClose(*this); }

DWORD FileSearchFirst(const TAnsi& pattern, DWORD wantedAttributes, TSearchRec& rec) {
    FileSearchClose(rec);  // a record reused without closing would leak its handle
    rec.excludeMask = ~wantedAttributes & (faHidden | faSysFile | faVolumeId | faDirectory);
    rec.findHandle = FindFirstFileA(pattern.c_str(), &rec.findData);
    if (rec.findHandle == INVALID_HANDLE_VALUE) return GetLastError();
    const DWORD code = FileSearchMatch(rec);
    if (code != 0) FileSearchClose(rec);
    return code;
}

DWORD FileSearchNext(TSearchRec& rec) {
    if (!FindNextFileA(rec.findHandle, &rec.findData)) return GetLastError();
    return FileSearchMatch(rec);
}

void FileSearchClose(TSearchRec& rec) {
    if (rec.findHandle == INVALID_HANDLE_VALUE) return;
    FindClose(rec.findHandle);
    rec.findHandle = INVALID_HANDLE_VALUE;
}

TFileList::TFileList(const TWide& pattern) : pattern_(pattern) {}

TFileList::~TFileList() {
    if (find_ != INVALID_HANDLE_VALUE) FindClose(find_);
}

bool TFileList::Next() {
    const bool first = !started_;
    started_ = true;
    if (!WideApi.findFirstFileW || !WideApi.findNextFileW) {  // the 9x family's search, folders left out
        const DWORD wanted = faReadOnly | faHidden | faSysFile | faVolumeId | faArchive;
        if ((first ? FileSearchFirst(Narrow(pattern_), wanted, ansi_) : FileSearchNext(ansi_)) != 0) return false;
        name = Widen(ansi_.name);
        return true;
    }
    bool more = first ? (find_ = WideApi.findFirstFileW(pattern_.c_str(), &data_)) != INVALID_HANDLE_VALUE
                      : find_ != INVALID_HANDLE_VALUE && WideApi.findNextFileW(find_, &data_);
    for (; more; more = WideApi.findNextFileW(find_, &data_)) {
        if (data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        name = TWide(data_.cFileName, wcsnlen(data_.cFileName, kMaxPath));
        return true;
    }
    return false;
}

bool DeleteFileWide(const TWide& path) {
    return (WideApi.deleteFileW ? WideApi.deleteFileW(path.c_str()) : DeleteFileA(Narrow(path).c_str())) != 0;
}

TFileSnapshot SnapshotFile(const TWide& path) {
    TFileSnapshot snapshot;
    snapshot.path = path;
    const auto unread = [&snapshot](DWORD error) {  // a reason, whatever the system says
        snapshot.error = error ? error : ERROR_READ_FAULT;
        return std::move(snapshot);
    };
    const unique_handle file = OpenFile(path, GENERIC_READ, OPEN_EXISTING);
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!file) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return unread(error);
        snapshot.state = TFileSnapshot::Absent;  // a valid snapshot: no file
        return snapshot;
    }
    if (!KernelApi.getFileInformationByHandle || !KernelApi.getFileInformationByHandle(file.get(), &info)) return unread(GetLastError());
    if (info.nFileSizeHigh) return unread(ERROR_FILE_TOO_LARGE);
    if (!(snapshot.bytes = AllocateBytes(info.nFileSizeLow))) return unread(ERROR_NOT_ENOUGH_MEMORY);
    DWORD read = 0;
    if (info.nFileSizeLow && (!ReadFile(file.get(), snapshot.bytes.get(), info.nFileSizeLow, &read, nullptr) ||
                              read != info.nFileSizeLow)) {
        return unread(GetLastError());
    }
    snapshot.state = TFileSnapshot::Kept;
    snapshot.size = info.nFileSizeLow;
    snapshot.attributes = info.dwFileAttributes;
    snapshot.lastWrite = info.ftLastWriteTime;
    return snapshot;
}

bool RestoreFile(const TFileSnapshot& kept) {
    if (kept.state == TFileSnapshot::Unread) return false;
    if (IsAsKept(SnapshotFile(kept.path), kept)) return true;  // untouched: its times stay too
    if (kept.state == TFileSnapshot::Absent) return DeleteFileWide(kept.path);
    {
        // The system refuses to write over a hidden or system file unless asked for the same.
        const unique_handle file =
            OpenFile(kept.path, GENERIC_WRITE, CREATE_ALWAYS, kept.attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
        DWORD written = 0;
        if (!file || (kept.size && (!WriteFile(file.get(), kept.bytes.get(), kept.size, &written, nullptr) || written != kept.size))) {
            return false;
        }
        if (!KernelApi.setFileTime || !KernelApi.setFileTime(file.get(), nullptr, nullptr, &kept.lastWrite)) return false;
    }
    return SetAttributes(kept.path, kept.attributes);  // read-only only now that the time is set
}
