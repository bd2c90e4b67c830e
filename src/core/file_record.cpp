#include "core/file_record.h"

#include <algorithm>
#include <ostream>
#include <stdexcept>

#include "core/paths.h"
#include "platform/platform.h"

namespace orvanta {

Sha1Text& Sha1Text::operator=(std::string_view text) {
  if (text.empty()) {
    clear();
  } else if (text.size() == kLength) {
    text.copy(digits_, kLength);
  } else {
    throw std::invalid_argument("Not a SHA-1 text: " + std::string(text));
  }
  return *this;
}

std::ostream& operator<<(std::ostream& out, const Sha1Text& text) { return out << text.view(); }

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
  return Add(path, attributes.size, attributes.id, attributes.modified);
}

void FileRegistry::clear() {
  records_ = {};
  paths_.Clear();
}

}  // namespace orvanta
