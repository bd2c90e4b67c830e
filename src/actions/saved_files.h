// What the program's own files (the removal record, saved results) share:
// reading one whole, and a file's identity as text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace orvanta {

enum class ReadBytes { Read, Missing, Failed };

// The file's bytes. Missing: nothing at the path (or no regular file there);
// Failed: it could not be read, or it is larger than `limit`; `error` says why.
ReadBytes ReadFileBytes(const std::string& path, std::string& bytes, std::string& error,
                        std::size_t limit = std::size_t{1} << 30);

// "device:inode" (Windows: ":high" after it when the upper half is set), in
// decimal, exact for every 64-bit value.
std::string FileIdText(const platform::FileId& id);
std::optional<platform::FileId> ParseFileIdText(std::string_view text);

}  // namespace orvanta
