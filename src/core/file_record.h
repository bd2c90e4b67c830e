#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace orvanta {

// A SHA-1 digest, or none. Kept inline and in binary: every hashed file has
// one, and a heap string per file doubled the cost, hex text half of it again.
class Sha1Digest {
 public:
  static constexpr std::size_t kSize = 20;

  Sha1Digest() = default;
  explicit Sha1Digest(const std::array<unsigned char, kSize>& bytes) : set_(true) {
    std::copy(bytes.begin(), bytes.end(), bytes_);
  }
  // From 40 hexadecimal digits, or from empty text for none.
  Sha1Digest(std::string_view hex) { *this = hex; }  // NOLINT: reads like the text it stands for
  // Throws std::invalid_argument for text that is neither empty nor 40 hexadecimal digits.
  Sha1Digest& operator=(std::string_view hex);

  bool empty() const { return !set_; }
  void clear() { set_ = false; }
  // 40 lower-case hexadecimal digits; empty for none.
  std::string Hex() const;
  // The 20 bytes as a key; empty for none.
  std::string_view Bytes() const {
    return set_ ? std::string_view(reinterpret_cast<const char*>(bytes_), kSize) : std::string_view();
  }

  friend bool operator==(const Sha1Digest& a, const Sha1Digest& b) { return a.Bytes() == b.Bytes(); }
  friend bool operator==(const Sha1Digest& a, std::string_view hex) { return a.Hex() == hex; }
  friend std::ostream& operator<<(std::ostream& out, const Sha1Digest& digest);

 private:
  unsigned char bytes_[kSize] = {};
  bool set_ = false;
};

// Where the paths of one scan's files are kept: each folder's path once and
// each file's name once, in blocks that never move, so that a record holds no
// string of its own (a path string per file was most of a scan's memory).
class PathStore {
 public:
  PathStore() = default;
  PathStore(const PathStore&) = delete;
  PathStore& operator=(const PathStore&) = delete;

  // The folder's path, kept once however often it is asked for. Ends with a
  // delimiter, so that the folder and a name make the full path.
  const std::string& Folder(std::string_view folderWithDelimiter);
  // A copy of the name, as long-lived as the store.
  std::string_view Name(std::string_view name);
  void Clear();

 private:
  static constexpr std::size_t kBlockSize = 64 * 1024;

  std::deque<std::string> folders_;
  std::unordered_map<std::string_view, const std::string*> folderIndex_;  // keys view folders_
  const std::string* lastFolder_ = nullptr;                               // files arrive folder by folder
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t blockUsed_ = kBlockSize;
};

// A file or folder the scan saw: its path, size, identity and time. Rows of
// both clone lists point at these records (a folder's size is the total of
// the files below it; it has no content digest).
struct FileRecord {
  // `folder` ends with a delimiter; it and the name live in the registry's PathStore.
  FileRecord(const std::string& folder, std::string_view name, std::int64_t size, platform::FileId id,
             std::int64_t modified)
      : size(size),
        id(id),
        modified(modified),
        nameLength_(static_cast<std::uint32_t>(name.size())),
        folder_(&folder),
        name_(name.data()) {}

  // Built on each call: only what is shown, exported or opened needs it.
  std::string FullPath() const;
  // The part of the path after its last delimiter.
  std::string_view Name() const { return {name_, nameLength_}; }
  // Whether `now` still shows the item the scan saw: its write time, and its
  // identity and change time where the scan knew them. The size is not
  // compared: a folder's record holds the total of its files.
  bool SameIdentityAndTimes(const platform::FileAttributes& now) const {
    return now.modified == modified && (!id.Known() || now.id == id) && (changed == 0 || now.changed == changed);
  }
  // The same for a file, whose size counts too.
  bool StillAsSeen(const platform::FileAttributes& now) const { return now.size == size && SameIdentityAndTimes(now); }

  std::int64_t size = -1;
  Sha1Digest contentHash;
  // The folder holding the item lets users other than its owner add and
  // remove entries (group- or other-writable, or sticky). Kept here, in the
  // digest's padding, as a record per file is most of a scan's memory.
  bool inSharedFolder = false;
  // It lies in a reference folder, or (a listed folder) holds one: never
  // checked, never moved. Beside inSharedFolder, in the same padding.
  bool reference = false;
  // A second digest of the bytes contentHash was computed from, seeded anew in
  // every process: files are alike only when both agree, so a SHA-1 collision
  // (two different files made to share a SHA-1) never forms a group.
  std::array<std::uint64_t, 2> contentCheck{};
  // What the scan saw, so that removal moves only a file still the same:
  // identity (all zero where the platform gives none), last write time and change time.
  platform::FileId id;
  std::int64_t modified = 0;
  // The change time the scan saw (0 where unknown), which an edit that puts
  // back size and write time still moves.
  std::int64_t changed = 0;
  // The owning user (platform::kNoOwner where unknown): keep rules never rely
  // on another user's copy in a shared folder, which that user may delete.
  std::uint32_t owner = platform::kNoOwner;

 private:
  std::uint32_t nameLength_;  // beside owner, in what would be padding
  const std::string* folder_;
  const char* name_;
};

// a + b, held at the int64 bounds instead of overflowing: sizes and totals of
// sparse files may reach them.
inline std::int64_t AddSizes(std::int64_t a, std::int64_t b) {
  std::int64_t sum;
  if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? INT64_MAX : INT64_MIN;
  return sum;
}

// The files of a scan in collection order, with their paths (or the folders a
// scan listed). Records never
// move in memory (rows point at them) and are not allocated one by one.
class FileRegistry {
 public:
  // A collected file; the path is kept as its folder, shared, and its name.
  FileRecord& Add(std::string_view path, std::int64_t size, platform::FileId id = {}, std::int64_t modified = 0);
  // The same, with the size, identity and time read from the file system (size -1 when that fails).
  FileRecord& AddFromDisk(std::string_view path);
  // A file whose folder and name are already in Paths().
  FileRecord& Add(const std::string& folder, std::string_view name, std::int64_t size, platform::FileId id,
                  std::int64_t modified) {
    return records_.emplace_back(folder, name, size, id, modified);
  }

  PathStore& Paths() { return paths_; }
  std::size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  FileRecord& operator[](std::size_t i) { return records_[i]; }
  const FileRecord& operator[](std::size_t i) const { return records_[i]; }
  FileRecord& front() { return records_.front(); }
  FileRecord& back() { return records_.back(); }
  auto begin() { return records_.begin(); }
  auto end() { return records_.end(); }
  auto begin() const { return records_.begin(); }
  auto end() const { return records_.end(); }
  // Keeps the first `count` records (their paths stay in the store).
  void Truncate(std::size_t count) {
    if (count < records_.size()) records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(count), records_.end());
  }
  // Frees the records and their paths.
  void clear();

 private:
  std::deque<FileRecord> records_;
  PathStore paths_;
};

}  // namespace orvanta
