#include "collect/file_info.h"

#include <ostream>
#include <stdexcept>

#include "collect/paths.h"
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

TFileInfo::TFileInfo(std::string path, std::int64_t size)
    : FullPath(std::move(path)), Size(size), nameOffset_(FullPath.size() - ExtractFileName(FullPath).size()) {}

TFileInfo::TFileInfo(std::string path) : TFileInfo(std::move(path), -1) {
  platform::FileAttributes attributes;
  if (platform::QueryAttributes(FullPath, attributes)) Size = attributes.size;
}

}  // namespace orvanta
