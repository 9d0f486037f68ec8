// Files and folders (kernel32, advapi32 for their security): results are
// Win32 error codes, 0 on success.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/types.h"
#include "platform/win32_names.h"

namespace hw::platform {

class FileApi {
public:
    virtual ~FileApi() = default;

    virtual bool FileExists(const std::string& path) = 0;
    // 0 on success, else the Win32 error code. A link goes, not what it
    // leads to; a folder, a junction included, is no file to delete (5).
    virtual long DeleteFile(const std::string& path) = 0;
    // A folder (its parent must exist); ERROR_ALREADY_EXISTS when it does.
    // `sddl` gives its owner and access list ("O:BAD:P(A;OICI;FA;;;BA)..."),
    // "" what it inherits from its parent.
    virtual long CreateDirectory(const std::string& path, const std::string& sddl) = 0;
    // FILE_ATTRIBUTE_* of a file or folder, as GetFileAttributes gives them:
    // a junction or symbolic link at the end of the path is not followed and
    // shows FILE_ATTRIBUTE_REPARSE_POINT. Missing: 2 (3 when its folder is).
    virtual long GetFileAttributes(const std::string& path, std::uint32_t& attributes) = 0;
    // The reparse tag (file::kTag*) of a file or folder, the end of the path
    // not followed: a junction's is file::kTagMountPoint, a symbolic link's
    // file::kTagSymlink, a deduplicated, compressed or cloud file's its own
    // kind, and 0 for what is no reparse point. Missing: 2 (3 when its folder
    // is).
    virtual long GetReparseTag(const std::string& path, std::uint32_t& tag) = 0;
    // The owner and access list of a file or folder, in SDDL ("O:..D:..").
    virtual long GetFileSecurity(const std::string& path, std::string& sddl) = 0;
    // Gives a file or folder the owner and access list of `sddl`, the list
    // protected from what its parent passes on; what it passes on reaches the
    // files and folders in it. A junction or symbolic link is refused (4395),
    // a reparse point of another kind (compressed, deduplicated, cloud) set as
    // the file or folder it is. An owner other than oneself needs
    // administrator rights (else 1307).
    virtual long SetFileSecurity(const std::string& path, const std::string& sddl) = 0;
    // Removes an empty folder.
    virtual long RemoveDirectory(const std::string& path) = 0;
    // Appends bytes to a file, making it when it is not there; a junction or
    // symbolic link in its place is refused (4395), a reparse point of
    // another kind (compressed, deduplicated, cloud) written as the file.
    virtual long AppendFile(const std::string& path, const std::string& bytes) = 0;
    // A file read as itself, for a copy that must never be turned to another
    // file: opened by one handle (CreateFile, FILE_FLAG_OPEN_REPARSE_POINT,
    // sharing reading, writing and deletion, so that no save of the server's
    // is refused for it) and checked on that
    // handle before a byte is read. A reparse point that is no name
    // surrogate (compressed, deduplicated, cloud files) is opened again
    // without FILE_FLAG_OPEN_REPARSE_POINT, for its content, and must still be
    // the same file. A save that comes while the file is read makes the read
    // fail (32): what was read is neither version. Refused: a junction or
    // symbolic link at the end of the
    // path, or a path that reaches the file through one on the way (4395);
    // a file with more than one name (1142: a hard link may be any file of
    // the volume); a folder (5). `info` is what
    // GetFileInformationByHandle told; `bytes` takes its content in runs.
    // Blocks: for the worker thread.
    using FileBytes = std::function<void(const char* bytes, std::size_t size)>;
    virtual long ReadFileAsItself(const std::string& path, FileInformation& info, const FileBytes& bytes) = 0;
    // The same read, each run also written to the new file `to`, which must
    // not be there (80: nor a link in its place), made with what its folder
    // passes on and given the source's last-write time. A copy cut short is
    // deleted.
    virtual long CopyFileAsItself(const std::string& from, const std::string& to, FileInformation& info,
                                  const FileBytes& bytes) = 0;
    // The names in a folder (files and folders, without "." and ".."); an
    // error when the folder cannot be listed (a missing one: 3), or is itself
    // a junction or link (4395: never listed through).
    virtual long ListFolder(const std::string& folder, std::vector<std::string>& names) = 0;
    // Moves a file within a volume (file::kMoveReplaceExisting takes the
    // place of a file there; file::kMoveWriteThrough returns only once the
    // move is on the disk). The replace is atomic: a reader sees the old
    // file or the new one, never part of either. 0, or the Win32 error.
    virtual long MoveFileEx(const std::string& from, const std::string& to, std::uint32_t flags) = 0;
    // The size of a file in bytes, as GetFileAttributesEx reports it (a
    // folder: 0); a missing file 2, a missing folder 3.
    virtual long GetFileSize(const std::string& path, std::uint64_t& size) = 0;
    // Whether it is a folder, its size and its last-write time; errors as
    // GetFileSize's.
    virtual long GetFileAttributesEx(const std::string& path, FileAttributes& attributes) = 0;
};

}  // namespace hw::platform
