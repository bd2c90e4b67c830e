#include "collect/file_info.h"

#include "collect/paths.h"
#include "platform/platform.h"

namespace orvanta {

TFileInfo::TFileInfo(std::string path, std::int64_t size)
    : FullPath(std::move(path)), Size(size), nameOffset_(FullPath.size() - ExtractFileName(FullPath).size()) {}

TFileInfo::TFileInfo(std::string path) : TFileInfo(std::move(path), -1) {
  platform::FileAttributes attributes;
  if (platform::QueryAttributes(FullPath, attributes)) Size = attributes.size;
}

}  // namespace orvanta
