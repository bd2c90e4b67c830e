#include "actions/saved_files.h"

#include <charconv>
#include <vector>

#include "platform/platform.h"

namespace orvanta {

ReadBytes ReadFileBytes(const std::string& path, std::string& bytes, std::string& error, std::size_t limit) {
  bytes.clear();
  platform::InputFile file;
  switch (file.Open(path, error)) {
    case platform::InputFile::OpenResult::NotAFile: return ReadBytes::Missing;
    case platform::InputFile::OpenResult::Failed: return ReadBytes::Failed;
    case platform::InputFile::OpenResult::Opened: break;
  }
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const std::int64_t n = file.Read(buffer.data(), buffer.size(), error);
    if (n < 0) return ReadBytes::Failed;
    if (n == 0) return ReadBytes::Read;
    if (bytes.size() + static_cast<std::size_t>(n) > limit) {
      error = "the file is too large";
      return ReadBytes::Failed;
    }
    bytes.append(buffer.data(), static_cast<std::size_t>(n));
  }
}

std::string FileIdText(const platform::FileId& id) {
  std::string text = std::to_string(id.device) + ":" + std::to_string(id.inode);
#ifdef _WIN32
  if (id.inodeHigh != 0) text += ":" + std::to_string(id.inodeHigh);
#endif
  return text;
}

std::optional<platform::FileId> ParseFileIdText(std::string_view text) {
  std::uint64_t parts[3] = {};
  std::size_t count = 0;
  const char* at = text.data();
  const char* end = text.data() + text.size();
  while (count < 3) {
    const auto [next, error] = std::from_chars(at, end, parts[count]);
    if (error != std::errc() || next == at) return std::nullopt;
    ++count;
    at = next;
    if (at == end) break;
    if (*at++ != ':') return std::nullopt;
  }
  if (at != end || count < 2) return std::nullopt;
  platform::FileId id;
  id.device = parts[0];
  id.inode = parts[1];
#ifdef _WIN32
  id.inodeHigh = parts[2];
#else
  if (count == 3) return std::nullopt;
#endif
  return id;
}

}  // namespace orvanta
