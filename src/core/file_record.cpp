#include "core/file_record.h"

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

FileRecord::FileRecord(std::string path, std::int64_t size, platform::FileId id, std::int64_t modified)
    : fullPath(std::move(path)),
      size(size),
      id(id),
      modified(modified),
      nameOffset_(fullPath.size() - ExtractFileName(fullPath).size()) {}

FileRecord::FileRecord(std::string path) : FileRecord(std::move(path), -1) {
  platform::FileAttributes attributes;
  if (platform::QueryAttributes(fullPath, attributes)) {
    size = attributes.size;
    id = attributes.id;
    modified = attributes.modified;
  }
}

}  // namespace orvanta
