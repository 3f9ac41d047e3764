// Folders and whole files: the directory search, the files of a folder by their wide names
// on the NT family, deletion, and a file kept as it was so that it can be put back.
#pragma once

#include "paths.h"
#include "raii.h"

#include <windows.h>
#include <cstdint>

constexpr DWORD faReadOnly = 0x01;
constexpr DWORD faHidden = 0x02;
constexpr DWORD faSysFile = 0x04;
constexpr DWORD faVolumeId = 0x08;
constexpr DWORD faDirectory = 0x10;
constexpr DWORD faArchive = 0x20;

// One directory search. The destructor closes a search that is still open.
struct TSearchRec {
    DWORD dosTime = 0;  // local last-write time: date in the high word, time in the low
    int32_t size = 0;
    DWORD attributes = 0;
    TAnsi name;
    DWORD excludeMask = 0;
    HANDLE findHandle = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAA findData = {};

    TSearchRec() = default;
    ~TSearchRec();
    TSearchRec(const TSearchRec&) = delete;
    TSearchRec& operator=(const TSearchRec&) = delete;
};

// Return 0 when the record holds an entry, else the platform's error code.
DWORD FileSearchFirst(const TAnsi& pattern, DWORD wantedAttributes, TSearchRec& rec);
DWORD FileSearchNext(TSearchRec& rec);
void FileSearchClose(TSearchRec& rec);

// The files, not folders, that match a pattern, hidden and system ones too, one at a time:
// by their wide names on the NT family, through the ANSI search on the 9x family.
//   for (TFileList files(pattern); files.Next();) ... files.name ...
class TFileList {
public:
    explicit TFileList(const TWide& pattern);
    ~TFileList();
    TFileList(const TFileList&) = delete;
    TFileList& operator=(const TFileList&) = delete;
    bool Next();  // false when there is no further file
    TWide name;

private:
    TWide pattern_;
    bool started_ = false;
    TSearchRec ansi_;
    HANDLE find_ = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW data_;
};

bool DeleteFileWide(const TWide& path);  // false with the reason as the last error
// Whether two paths name one file, however each is written (a short form, another case, a
// share for a mapped drive): by the volume and file index of both where the system gives
// them, else by their long forms, case aside.
bool IsSameFile(const TWide& a, const TWide& b);

// A file as it was, to put back: its bytes, attributes and last-write time, or that there
// was none. One that is there but cannot be read (or kept, for want of memory) is Unread,
// with the reason.
struct TFileSnapshot {
    TWide path;
    enum { Absent, Kept, Unread } state = Unread;
    unique_alloc<BYTE> bytes;
    DWORD size = 0;
    DWORD attributes = 0;
    FILETIME lastWrite = {};
    DWORD error = 0;  // of an Unread one
};
TFileSnapshot SnapshotFile(const TWide& path);
// Deletes a file that was not there; writes back one that is no longer as kept, bytes first,
// then its time, then its attributes. False when that fails, or for an Unread snapshot.
bool RestoreFile(const TFileSnapshot& snapshot);
