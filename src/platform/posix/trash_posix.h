// The parts of the POSIX trash that tests and the moves to a folder reach:
// opening a folder without following links, choosing the trash at the top of
// a mount, and the mounts an item would carry along.
#pragma once

#include <string>

namespace orvanta::platform::posix {

// A descriptor (O_PATH) of the folder at the absolute path, or -1 with errno
// set; ELOOP or ENOTDIR when any component is a link. openat2 with
// RESOLVE_NO_SYMLINKS where the kernel has it (unless `useOpenat2` is false),
// else one component at a time with O_NOFOLLOW.
int OpenFolderNoLinks(const std::string& path, bool useOpenat2 = true);

// The "files" and "info" folders of a trash, as descriptors the caller owns.
struct TrashFolderFds {
  int files = -1;
  int info = -1;
  std::string name;  // of a top trash: the trash folder below the top (".Trash/$uid" or ".Trash-$uid")
};

// The trash at the top of a mount, given that top folder's descriptor, as the
// freedesktop.org Trash specification allows it: $topdir/.Trash/$uid when
// .Trash is a real folder (not a link) with the sticky bit, else
// $topdir/.Trash-$uid; either is created when missing and used only when it
// is a real folder owned by the user with mode 0700. False with the reason
// in `error` when neither is safe.
bool OpenTopTrash(int topFd, TrashFolderFds& folders, std::string& error);

// Why the entry `name` of the folder must not leave it because of a mount: it
// is a mount point, or something is mounted anywhere inside it (the tree
// walked without following a link; one that cannot be read in full cannot be
// vouched for). Empty when nothing is mounted there.
std::string MountReason(int parentFd, const std::string& name);

// Whether a rename between the two folders stays on one mount (one device
// where the kernel gives no mount id); else it fails with EXDEV.
bool OnOneMount(int folderFd, int otherFd);

// What a change of the folder's names (the entry `name` of it, when given)
// would meet for the lack of write access, as the kernel would refuse it
// (EACCES, EROFS); 0 when it may. The checks of a dry run ask this in place
// of making the change.
int WriteRefusal(int folderFd, const char* name = ".");

}  // namespace orvanta::platform::posix
