#include "core/file_record.h"

#include <algorithm>
#include <ostream>
#include <stdexcept>

#include "core/paths.h"
#include "platform/platform.h"

namespace orvanta {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

Sha1Digest& Sha1Digest::operator=(std::string_view hex) {
  if (hex.empty()) {
    clear();
    return *this;
  }
  if (hex.size() != 2 * kSize) throw std::invalid_argument("Not a SHA-1 text: " + std::string(hex));
  for (std::size_t i = 0; i < kSize; ++i) {
    const int high = HexValue(hex[2 * i]), low = HexValue(hex[2 * i + 1]);
    if (high < 0 || low < 0) throw std::invalid_argument("Not a SHA-1 text: " + std::string(hex));
    bytes_[i] = static_cast<unsigned char>(high << 4 | low);
  }
  set_ = true;
  return *this;
}

std::string Sha1Digest::Hex() const {
  if (!set_) return {};
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex(2 * kSize, '0');
  for (std::size_t i = 0; i < kSize; ++i) {
    hex[2 * i] = kDigits[bytes_[i] >> 4];
    hex[2 * i + 1] = kDigits[bytes_[i] & 0x0F];
  }
  return hex;
}

std::ostream& operator<<(std::ostream& out, const Sha1Digest& digest) { return out << digest.Hex(); }

const std::string& PathStore::Folder(std::string_view folderWithDelimiter) {
  if (lastFolder_ != nullptr && *lastFolder_ == folderWithDelimiter) return *lastFolder_;
  const auto found = folderIndex_.find(folderWithDelimiter);
  if (found != folderIndex_.end()) {
    lastFolder_ = found->second;
  } else {
    lastFolder_ = &folders_.emplace_back(folderWithDelimiter);
    folderIndex_.emplace(*lastFolder_, lastFolder_);
  }
  return *lastFolder_;
}

std::string_view PathStore::Name(std::string_view name) {
  // A root has no name ("/"); a store with no block yet has nowhere to point.
  if (name.empty()) return {};
  if (name.size() > kBlockSize - blockUsed_) {
    // A name longer than a block gets one of its own.
    blocks_.push_back(std::make_unique<char[]>(std::max(kBlockSize, name.size())));
    blockUsed_ = 0;
  }
  char* copy = blocks_.back().get() + blockUsed_;
  name.copy(copy, name.size());
  blockUsed_ += name.size();
  return {copy, name.size()};
}

void PathStore::Clear() {
  folderIndex_ = {};
  folders_ = {};
  lastFolder_ = nullptr;
  std::vector<std::unique_ptr<char[]>>().swap(blocks_);
  blockUsed_ = kBlockSize;
}

std::string FileRecord::FullPath() const {
  std::string path;
  path.reserve(folder_->size() + nameLength_);
  path.append(*folder_).append(name_, nameLength_);
  return path;
}

FileRecord& FileRegistry::Add(std::string_view path, std::int64_t size, platform::FileId id, std::int64_t modified) {
  const std::string_view name = ExtractFileName(path);
  const std::string& folder = paths_.Folder(path.substr(0, path.size() - name.size()));
  return Add(folder, paths_.Name(name), size, id, modified);
}

FileRecord& FileRegistry::AddFromDisk(std::string_view path) {
  platform::FileAttributes attributes;
  if (!platform::QueryAttributes(std::string(path), attributes)) return Add(path, -1);
  FileRecord& record = Add(path, attributes.size, attributes.id, attributes.modified);
  record.changed = attributes.changed;
  return record;
}

void FileRegistry::clear() {
  records_ = {};
  paths_.Clear();
}

}  // namespace orvanta
