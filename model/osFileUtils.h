// Whole-file reading and the one way this program replaces a file it saves.
//
// Saving never destroys the old file: the new contents go to a temporary file in the same folder,
// which is flushed to disk and then renamed over the old one. A save that fails at any step
// removes its temporary file and leaves the old file exactly as it was.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

enum TFileLoadResult {
  flrOk = 0,
  flrNotFound,   // no file of that name (or a path through a missing folder)
  flrNotRegular, // a folder, a device, a pipe: nothing to read as a file
  flrTooLarge,   // larger than MaxLoadFileSize
  flrReadError,  // the file exists but could not be read
};

// Files larger than this are refused rather than read into memory.
constexpr std::size_t MaxLoadFileSize = 256u * 1024u * 1024u;

// Whether anything (a file, a folder, a link, even a dangling one) has that name.
bool FileExists(const std::string& FileName);

// Reads the whole of FileName into Data. On any result but flrOk Data is empty and Error (when
// given) holds the file name and the system's reason ("x.par: Permission denied").
TFileLoadResult LoadFileBytes(const std::string& FileName, std::string& Data,
                              std::string* Error = nullptr);

// Replaces the contents of FileName with Data (a new file is created when there is none). A
// symbolic link is followed, so the link stays and its target gets the new contents; the file
// keeps its permission bits. A write-protected file (no write bit for anyone, or not writable by
// this process) is not replaced. False when anything fails; Error (when given) then holds the
// file name and the system's reason ("x.par: No space left on device").
bool SaveFileReplacing(const std::string& FileName, const std::string& Data,
                       std::string* Error = nullptr);

// Fault injection for tests: when set, the hook runs before the data of every save is written,
// with the name of the file being saved; a non-zero result is taken as the errno of a failed
// write (ENOSPC simulates a full disk). Not for use outside tests.
using TFileWriteHook = std::function<int(const std::string& FileName)>;
void SetFileWriteHookForTests(TFileWriteHook Hook);
