// Replacing a copy with a block clone (ReFS) or a hard link of the kept copy.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <winioctl.h>

#include <atomic>
#include <string>

#include "platform/platform.h"
#include "platform/windows/windows_text.h"

namespace orvanta::platform {
namespace {

using windows::ErrorText;

// The block-clone requests of ReFS (Windows Server 2016, Windows 10), which
// older SDK headers lack: the codes and layouts as the Windows SDK has them.
constexpr DWORD kDuplicateExtentsToFile = CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 209, METHOD_BUFFERED, FILE_WRITE_ACCESS);
constexpr DWORD kGetIntegrity = CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 159, METHOD_BUFFERED, FILE_ANY_ACCESS);
// FILE_SUPPORTS_BLOCK_REFCOUNTING of GetVolumeInformation, which older SDK headers lack.
constexpr DWORD kSupportsBlockRefcounting = 0x08000000;
constexpr DWORD kSetIntegrity =
    CTL_CODE(FILE_DEVICE_FILE_SYSTEM, 160, METHOD_BUFFERED, FILE_READ_DATA | FILE_WRITE_DATA);
struct DuplicateExtents {
  HANDLE fileHandle;
  LARGE_INTEGER sourceOffset, targetOffset, byteCount;
};
struct GetIntegrityBuffer {
  WORD checksumAlgorithm, reserved;
  DWORD flags, checksumChunkSize, clusterSize;
};
struct SetIntegrityBuffer {
  WORD checksumAlgorithm, reserved;
  DWORD flags;
};
using windows::SystemPath;

class Handle {
 public:
  explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE Get() const { return handle_; }
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Close() {
    if (Valid()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

std::string Why(const char* what, DWORD code = GetLastError()) { return std::string(what) + ": " + ErrorText(code); }

bool StillAsSeen(const std::string& path, const FileAttributes& seen, bool changeTimeCounts = true) {
  FileAttributes now;
  return QueryAttributes(path, now) && now.kind == EntryKind::File && now.size == seen.size &&
         (!seen.id.Known() || now.id == seen.id) && now.modified == seen.modified &&
         (!changeTimeCounts || seen.changed == 0 || now.changed == seen.changed);
}

std::string TemporaryPath(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  const std::size_t end = LastNameDelimiter(path);
  return path.substr(0, end + 1) + std::string(kLinkTemporaryPrefix) + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(++counter);
}

// The owner and access list of the file as text, to compare two files by.
std::string SecurityText(const std::string& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(SystemPath(path).c_str(), SE_FILE_OBJECT,
                            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                            &descriptor) != ERROR_SUCCESS) {
    return "?";
  }
  LPWSTR text = nullptr;
  std::string result = "?";
  if (ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr) != 0) {
    result = windows::Narrow(text);
    LocalFree(text);
  }
  LocalFree(descriptor);
  return result;
}

// Gives the new file the copy's access list, so a clone changes nobody's access.
bool CopySecurity(const std::string& from, HANDLE to) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(SystemPath(from).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                            &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  const SECURITY_INFORMATION what =
      DACL_SECURITY_INFORMATION | ((control & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION
                                                                      : UNPROTECTED_DACL_SECURITY_INFORMATION);
  const bool ok = SetSecurityInfo(to, SE_FILE_OBJECT, what, nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS;
  LocalFree(descriptor);
  return ok;
}

// A clone of the kept copy's blocks under the temporary name; empty when made.
std::string MakeClone(const LinkItem& item, const std::string& temporary) {
  Handle kept(CreateFileW(SystemPath(item.keptPath).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!kept.Valid()) return Why("its kept copy");
  Handle clone(CreateFileW(SystemPath(temporary).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE | WRITE_DAC, 0, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!clone.Valid()) return Why("no temporary file beside it");
  std::string why;
  DWORD returned = 0;
  // ReFS clones only between files of one integrity setting, in whole clusters.
  GetIntegrityBuffer integrity{};
  std::int64_t cluster = 4096;
  if (DeviceIoControl(kept.Get(), kGetIntegrity, nullptr, 0, &integrity, sizeof integrity, &returned, nullptr) != 0) {
    SetIntegrityBuffer set{integrity.checksumAlgorithm, 0, integrity.flags};
    DeviceIoControl(clone.Get(), kSetIntegrity, &set, sizeof set, nullptr, 0, &returned, nullptr);
    if (integrity.clusterSize != 0) cluster = integrity.clusterSize;
  }
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = item.keptSeen.size;
  DuplicateExtents extents{};
  extents.fileHandle = kept.Get();
  extents.byteCount.QuadPart = (item.keptSeen.size + cluster - 1) / cluster * cluster;
  if (SetFileInformationByHandle(clone.Get(), FileEndOfFileInfo, &end, sizeof end) == 0) {
    why = Why("size");
  } else if (item.keptSeen.size > 0 && DeviceIoControl(clone.Get(), kDuplicateExtentsToFile, &extents, sizeof extents,
                                                       nullptr, 0, &returned, nullptr) == 0) {
    why = Why("no block clone here");
  } else if (!CopySecurity(item.path, clone.Get())) {
    why = Why("its permissions could not be kept");
  } else {
    // The copy's own times, as its clone stands in for it.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(SystemPath(item.path).c_str(), GetFileExInfoStandard, &data) == 0 ||
        SetFileTime(clone.Get(), &data.ftCreationTime, &data.ftLastAccessTime, &data.ftLastWriteTime) == 0 ||
        FlushFileBuffers(clone.Get()) == 0) {
      why = Why("its times could not be kept");
    }
  }
  clone.Close();
  if (!why.empty()) DeleteFileW(SystemPath(temporary).c_str());
  return why;
}

// Whether a clone could be made beside the copy, for a check that writes no
// file: the copy's volume is the kept copy's and shares blocks. Empty when so,
// else the refusal the clone would meet.
std::string CloneRefusal(const LinkItem& item) {
  if (item.seen.id.device != item.keptSeen.id.device) return Why("no block clone here", ERROR_NOT_SAME_DEVICE);
  Handle kept(CreateFileW(SystemPath(item.keptPath).c_str(), FILE_READ_ATTRIBUTES,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!kept.Valid()) return Why("its kept copy");
  DWORD flags = 0;
  if (GetVolumeInformationByHandleW(kept.Get(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) == 0) {
    return Why("no block clone here");
  }
  return (flags & kSupportsBlockRefcounting) != 0 ? std::string() : Why("no block clone here", ERROR_INVALID_FUNCTION);
}

// One replacement, or with `checkOnly` every check of it and no change.
LinkOutcome Link(const LinkItem& item, LinkKind kind, const LinkCrashHook& crashHook, bool checkOnly) {
  LinkOutcome outcome;
  const auto stay = [&outcome](std::string why) {
    outcome.reason = std::move(why);
    return outcome;
  };
  if (!StillAsSeen(item.path, item.seen)) return stay("it changed since the scan");
  if (!StillAsSeen(item.keptPath, item.keptSeen)) return stay("its kept copy changed since the scan");
  if (item.seen.id.Known() && item.seen.id == item.keptSeen.id) return stay("it is the kept copy itself");
  std::string temporary = checkOnly ? std::string() : TemporaryPath(item.path);
  std::string cloneWhy;
  bool made = false, hardLink = false;
  if (kind != LinkKind::HardLinkOnly) {
    cloneWhy = checkOnly ? CloneRefusal(item) : MakeClone(item, temporary);
    made = cloneWhy.empty();
    if (!made && kind == LinkKind::CloneOnly) return stay(cloneWhy);
  }
  if (!made) {
    const auto both = [&cloneWhy](std::string why) { return cloneWhy.empty() ? why : why + "; " + cloneWhy; };
    if (item.seen.id.device != item.keptSeen.id.device) return stay(both("the kept copy lies on another volume"));
    if (SecurityText(item.path) != SecurityText(item.keptPath)) {
      return stay(both("its owner or permissions differ from the kept copy's"));
    }
    if (!checkOnly) {
      temporary = TemporaryPath(item.path);
      if (CreateHardLinkW(SystemPath(temporary).c_str(), SystemPath(item.keptPath).c_str(), nullptr) == 0) {
        return stay(both(Why("hard link")));
      }
      FileAttributes linked;
      if (!QueryAttributes(temporary, linked) || linked.id != item.keptSeen.id) {
        DeleteFileW(SystemPath(temporary).c_str());
        return stay("its kept copy changed since the scan");
      }
    }
    hardLink = true;
  }
  const auto abandon = [&](std::string why) {
    if (!temporary.empty()) DeleteFileW(SystemPath(temporary).c_str());
    return stay(std::move(why));
  };
  if (!StillAsSeen(item.keptPath, item.keptSeen, !hardLink)) return abandon("its kept copy changed since the scan");
  if (!StillAsSeen(item.path, item.seen)) return abandon("it changed since the scan");
  if (!checkOnly) {
    if (crashHook && !crashHook(temporary)) return stay("stopped between the link and the rename");
    if (MoveFileExW(SystemPath(temporary).c_str(), SystemPath(item.path).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
      return abandon(Why("rename"));
    }
    FileAttributes keptNow;
    if (QueryAttributes(item.keptPath, keptNow)) outcome.keptChanged = keptNow.changed;
  }
  outcome.replaced = true;
  outcome.cloned = !hardLink;
  return outcome;
}

}  // namespace

LinkOutcome ReplaceWithLink(const LinkItem& item, LinkKind kind, const LinkCrashHook& crashHook) {
  return Link(item, kind, crashHook, false);
}

LinkOutcome CheckLink(const LinkItem& item, LinkKind kind) { return Link(item, kind, {}, true); }

}  // namespace orvanta::platform
