// Files and folders on the simulated disk: paths compare without regard
// to case; other programs may hold files open, folders may be slow or full.
#include "platform/sim/sim_desktop.h"

#include <algorithm>
#include <cstring>

#include "common/sddl.h"
#include "common/text.h"

namespace hw::platform::sim {

namespace {
// The folder a path is in, upper-cased, without its trailing backslash.
std::string FolderKey(const std::string& path) {
    const size_t cut = path.find_last_of('\\');
    return cut == std::string::npos ? std::string() : text::Upper(path.substr(0, cut));
}
}  // namespace

std::string SimDesktop::FolderKeyOf(const std::string& path) {
    std::string folder = text::Upper(path);
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return folder;
}

long SimDesktop::MayCreateIn(const std::string& path) const {
    const std::string parent = Resolve(FolderKey(FolderKeyOf(path)), true);
    if (!folders_.count(parent)) return err::kPathNotFound;
    if (readOnlyFolders_.count(parent)) return err::kAccessDenied;
    if (const auto held = openFolders_.find(parent); held != openFolders_.end() && !held->second)
        return err::kSharingViolation;
    return err::kSuccess;
}

long SimDesktop::CreateDirectory(const std::string& path, const std::string& sddl) {
    const std::string key = Resolve(path, false);
    if (folders_.count(key) || files_.count(key)) return err::kAlreadyExists;
    if (long e = MayCreateIn(key)) return e;
    if (!sddl.empty()) {
        const std::optional<sddl::Descriptor> d = sddl::Parse(sddl);
        if (!d) return err::kInvalidParameter;
        if (d->owner != "" && d->owner != (Elevated() ? "BA" : kUserSid)) return err::kInvalidOwner;
        security_[key] = sddl;
    }
    owners_[key] = Elevated() ? "BA" : kUserSid;
    folders_.insert(key);
    spelled_.emplace(key, path);
    return err::kSuccess;
}

long SimDesktop::RemoveDirectory(const std::string& path) {
    const std::string key = Resolve(path, false);
    if (!folders_.count(key)) return err::kFileNotFound;
    if (openFolders_.count(key)) return err::kSharingViolation;
    if (junctions_.erase(key)) {  // the link goes, not what it leads to
        folders_.erase(key);
        return err::kSuccess;
    }
    for (const auto& [f, content] : files_)
        if (FolderKey(f) == key) return err::kDirNotEmpty;
    for (const std::string& f : folders_)
        if (f != key && FolderKey(f) == key) return err::kDirNotEmpty;
    folders_.erase(key);
    reparseTags_.erase(key);
    return err::kSuccess;
}

long SimDesktop::AppendFile(const std::string& path, const std::string& bytes) {
    const std::string key = Resolve(path, false);
    TakeFileCallTime(key);
    if (junctions_.count(key)) return err::kReparsePoint;
    if (folders_.count(key)) return err::kAccessDenied;
    if (!files_.count(key))
        if (long e = MayCreateIn(key)) return e;
    if (readOnly_.count(key) || HeldElsewhere(key)) return readOnly_.count(key) ? err::kAccessDenied : err::kSharingViolation;
    if (!Fits(bytes.size())) return err::kDiskFull;
    files_[key] += bytes;
    lastWrite_[key] = FileTimeNow();
    spelled_.emplace(key, path);
    ShareContent(key);
    return err::kSuccess;
}

void SimDesktop::TakeFileCallTime(const std::string& key) {
    const auto slow = slowFolders_.find(FolderKey(key));
    if (slow == slowFolders_.end()) return;
    if (onWorker_)
        workerClock_ += slow->second;
    else
        MoveClockTo(nowMs_ + slow->second, false);
}

long SimDesktop::MoveFileEx(const std::string& from, const std::string& to, std::uint32_t flags) {
    const std::string source = Resolve(from, false), target = Resolve(to, false);
    TakeFileCallTime(target);
    if (folders_.count(source)) return MoveFolder(source, target, to);
    auto it = files_.find(source);
    if (it == files_.end()) return HasFolder(FolderKey(source)) ? err::kFileNotFound : err::kPathNotFound;
    // A file open elsewhere cannot be moved, nor one replaced while it is;
    // a read-only file is not replaced.
    if (HeldElsewhere(source)) return err::kSharingViolation;
    if (source == target) return err::kSuccess;
    if (files_.count(target)) {
        if (!(flags & file::kMoveReplaceExisting)) return err::kAlreadyExists;
        if (readOnly_.count(target) || HeldElsewhere(target)) return err::kAccessDenied;
    } else if (folders_.count(target)) {
        return err::kAccessDenied;
    } else if (long e = MayCreateIn(target)) {
        return e;
    }
    // Renaming needs a folder that takes changes, the source's as well.
    if (long e = MayCreateIn(source)) return e;
    DropName(target);
    if (const auto names = hardLinks_.find(source); names != hardLinks_.end()) {
        names->second->erase(source);
        names->second->insert(target);
        hardLinks_[target] = names->second;
        hardLinks_.erase(source);
    }
    if (const auto link = junctions_.find(source); link != junctions_.end()) {
        junctions_[target] = link->second;
        junctions_.erase(source);
    }
    if (const auto tag = reparseTags_.find(source); tag != reparseTags_.end()) {
        reparseTags_[target] = tag->second;
        reparseTags_.erase(source);
    }
    files_[target] = std::move(it->second);
    files_.erase(source);
    lastWrite_[target] = lastWrite_[source];  // a rename keeps the file's times
    lastWrite_.erase(source);
    locked_.erase(source);
    openForReading_.erase(source);
    rangeLocked_.erase(source);
    spelled_.erase(target);
    spelled_.emplace(target, to);
    ++moves_;
    return err::kSuccess;
}

long SimDesktop::ListFolder(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    if (junctions_.count(Resolve(folder, false))) return err::kReparsePoint;
    const std::string key = Resolve(folder, true);
    if (!folders_.count(key)) return err::kPathNotFound;
    auto nameOf = [this](const std::string& key) {
        auto it = spelled_.find(key);
        const std::string& path = it == spelled_.end() ? key : it->second;
        std::string name = path.substr(path.find_last_of('\\') + 1);
        return name.empty() ? key.substr(key.find_last_of('\\') + 1) : name;
    };
    for (const auto& [f, content] : files_)
        if (FolderKey(f) == key) names.push_back(nameOf(f));
    for (const std::string& f : folders_)
        if (f != key && FolderKey(f) == key) names.push_back(nameOf(f));
    return err::kSuccess;
}

long SimDesktop::GetFileSize(const std::string& path, std::uint64_t& size) {
    const std::string key = Resolve(path, false);
    const auto it = files_.find(key);
    if (it != files_.end()) {
        size = it->second.size();
        return err::kSuccess;
    }
    if (HasFolder(key)) {
        size = 0;
        return err::kSuccess;
    }
    return HasFolder(FolderKey(key)) ? err::kFileNotFound : err::kPathNotFound;
}

long SimDesktop::GetFileAttributesEx(const std::string& path, FileAttributes& attributes) {
    if (fileFault)
        if (const long e = fileFault("attributes", path)) return e;
    const std::string key = Resolve(path, false);
    if (files_.count(key)) {
        attributes = {false, files_[key].size(), lastWrite_[key]};
        return err::kSuccess;
    }
    if (HasFolder(key)) {
        attributes = {true, 0, 0};
        return err::kSuccess;
    }
    return HasFolder(FolderKey(key)) ? err::kFileNotFound : err::kPathNotFound;
}

std::uint64_t SimDesktop::DiskUsed() const {
    std::uint64_t used = 0;
    for (const auto& [path, content] : files_) used += content.size();
    return used;
}

std::string SimDesktop::FileContent(const std::string& path) const {
    auto it = files_.find(text::Upper(path));
    return it == files_.end() ? std::string() : it->second;
}

void SimDesktop::MakeFolder(const std::string& path) {
    std::string folder = text::Upper(path);
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    for (; !folder.empty(); folder = FolderKey(folder)) folders_.insert(folder);
}

bool SimDesktop::HasFolder(const std::string& path) const {
    std::string folder = text::Upper(path);
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return folders_.count(folder) != 0;
}

void SimDesktop::WriteFile(const std::string& path, std::string content) {
    MakeFolder(FolderKey(path));
    files_[text::Upper(path)] = std::move(content);
    lastWrite_[text::Upper(path)] = FileTimeNow();
    spelled_.emplace(text::Upper(path), path);
    ShareContent(text::Upper(path));
}

bool SimDesktop::HasFile(const std::string& path) const {
    return files_.count(Resolve(path, true)) != 0;
}

void SimDesktop::SetFileLocked(const std::string& path, bool locked) {
    locked_[text::Upper(path)] = locked;
}

void SimDesktop::SetFileOpenForReading(const std::string& path, bool open) {
    if (open)
        openForReading_.insert(text::Upper(path));
    else
        openForReading_.erase(text::Upper(path));
}

void SimDesktop::SetFolderOpenElsewhere(const std::string& path, bool open, bool sharesWrite) {
    if (open)
        openFolders_[FolderKeyOf(path)] = sharesWrite;
    else
        openFolders_.erase(FolderKeyOf(path));
}

void SimDesktop::SetFileRangeLocked(const std::string& path, bool locked) {
    if (locked)
        rangeLocked_.insert(text::Upper(path));
    else
        rangeLocked_.erase(text::Upper(path));
}

std::vector<std::string> SimDesktop::FilesUnder(const std::string& folder) const {
    std::string prefix = text::Upper(folder);
    if (prefix.empty() || prefix.back() != '\\') prefix += '\\';
    std::vector<std::string> found;
    for (auto it = files_.lower_bound(prefix); it != files_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
        const auto spelled = spelled_.find(it->first);
        found.push_back(spelled != spelled_.end() ? spelled->second : it->first);
    }
    return found;
}

long SimDesktop::DeleteFile(const std::string& path) {
    const std::string key = Resolve(path, false);
    TakeFileCallTime(key);
    if (folders_.count(key)) return err::kAccessDenied;  // a folder, or a junction: no file to delete
    if (!files_.count(key)) return HasFolder(FolderKey(key)) ? err::kFileNotFound : err::kPathNotFound;
    if (readOnly_.count(key)) return err::kAccessDenied;
    if (HeldElsewhere(key)) return err::kSharingViolation;
    for (const SimProcess& p : processes_)
        if (p.alive && text::Upper(p.imagePath) == key) return err::kAccessDenied;
    if (beforeDeleteFile) beforeDeleteFile(path);
    files_.erase(key);
    DropName(key);
    return err::kSuccess;
}

}  // namespace hw::platform::sim
