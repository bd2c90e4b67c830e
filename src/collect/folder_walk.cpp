#include "collect/folder_walk.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "collect/masks.h"
#include "core/worker_pool.h"

namespace orvanta {
namespace {

using platform::EntryKind;

// One entry of a folder as listed: a subfolder, or a file matching the mask
// with what the listing or a query told of it.
struct Item {
  std::uint32_t nameOffset;
  std::uint32_t nameLength;
  bool isFolder;
  bool haveAttributes;
  platform::FileAttributes attributes;
};

// One folder of the tree. A pool of threads lists folders in any order; the
// calling thread then visits them depth first in listing order, so files come
// out in the order a one-thread walk gives, whatever thread listed them.
struct Node {
  Node() = default;
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  // Frees the subtree without recursion: a tree tens of thousands of folders
  // deep would overflow the stack.
  ~Node() {
    std::vector<std::unique_ptr<Node>> pending = std::move(children);
    while (!pending.empty()) {
      std::unique_ptr<Node> node = std::move(pending.back());
      pending.pop_back();
      if (node == nullptr) continue;  // visited and freed already
      for (auto& child : node->children) pending.push_back(std::move(child));
      node->children.clear();
    }
  }

  Node* parent = nullptr;
  std::string name;  // the root's is its full path
  platform::FileId id;
  bool haveId = false;
  bool shared = false;  // other users may add and remove entries
  std::string names;
  std::vector<Item> items;
  std::vector<std::unique_ptr<Node>> children;  // one per folder item, in order
  std::atomic<bool> listed{false};
  // Kept open while subfolders are still to be opened through it, so each
  // level opens by its name alone: opening by the whole path made a deep
  // tree's walk quadratic in its depth.
  std::unique_ptr<platform::FolderReader> reader;
  std::atomic<std::size_t> unopenedChildren{0};

  // Built from the names up the chain, so a deep tree holds each name once.
  // For a folder whose parent keeps no reader open (too many held at once).
  std::string Path() const {
    std::vector<const Node*> chain;
    std::size_t length = 0;
    for (const Node* node = this; node != nullptr; node = node->parent) {
      chain.push_back(node);
      length += node->name.size() + 1;
    }
    std::string path;
    path.reserve(length);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      if (!path.empty() && !platform::IsPathDelimiter(path.back())) path.push_back(platform::kPathDelimiter);
      path.append((*it)->name);
    }
    return path;
  }
};

class ParallelWalk {
 public:
  ParallelWalk(const FileMask& mask, const std::atomic<bool>* stop, bool oneFileSystem,
               const FolderExclusions* exclusions)
      : mask_(mask), stop_(stop), oneFileSystem_(oneFileSystem), exclusions_(exclusions) {}

  // The pool, declared last, joins the workers after this.
  ~ParallelWalk() { Finish(); }
  ParallelWalk(const ParallelWalk&) = delete;
  ParallelWalk& operator=(const ParallelWalk&) = delete;

  std::size_t Walk(const std::string& root, const std::function<void(const EnumeratedFile&)>& found,
                   const std::function<void()>& waiting) {
    root_.name = root;
    List(root_);
    if (!root_.children.empty()) {
      Queue(root_.children);
      workers_.Add(std::clamp(processors_, 2, kStartingWorkers), [this] { Work(); });
    }
    const std::size_t count = Visit(found, waiting);
    Finish();
    workers_.Join();  // a worker's exception goes on from here
    return count;
  }

 private:
  // Listers at the start; a cold disk gets more (ReaderScaling).
  static constexpr int kStartingWorkers = 8;
  // Folder handles held open for their subfolders at once, well below the
  // usual limit of 1,024 open files.
  static constexpr int kMaxHeldReaders = 256;

  bool Stopped() const { return stop_ != nullptr && stop_->load(std::memory_order_relaxed); }

  // Idle workers return, busy ones after their listing.
  void Finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finished_ = true;
    }
    work_.notify_all();
  }

  // Opens the folder: through its parent's reader while that is open, else by its path.
  std::unique_ptr<platform::FolderReader> Open(Node& node) {
    Node* parent = node.parent;
    if (parent == nullptr) return std::make_unique<platform::FolderReader>(node.name);
    // No reader held (past the bound): opened by its path, whose folders the walk found as folders.
    if (parent->reader == nullptr) return std::make_unique<platform::FolderReader>(node.Path());
    std::unique_ptr<platform::FolderReader> reader = parent->reader->OpenSubfolder(node.name);
    // The last child to open closes the parent's reader; every other has used it by then.
    if (parent->unopenedChildren.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      parent->reader.reset();
      heldReaders_.fetch_sub(1, std::memory_order_relaxed);
    }
    return reader;
  }

  // Whether the folder has the identity of a folder above it (a bind-mount
  // loop). Only a folder whose identity was listed before can, so the chain up
  // is followed only for those, and a deep tree costs no walk up per level.
  bool OwnAncestor(const Node& node) {
    {
      std::lock_guard<std::mutex> lock(idsMutex_);
      if (listedIds_.FirstReach(node.id)) return false;
    }
    for (const Node* ancestor = node.parent; ancestor != nullptr; ancestor = ancestor->parent) {
      if (ancestor->haveId && ancestor->id == node.id) return true;
    }
    return false;
  }

  // Reads the folder's entries in full; a subfolder becomes a child to list
  // later, opened through this folder's reader, which is kept until then.
  void List(Node& node) {
    std::unique_ptr<platform::FolderReader> opened = Open(node);
    if (Stopped()) return;
    platform::FolderReader& reader = *opened;
    if (!reader.IsOpen()) return;
    platform::FileAttributes folder;
    if (reader.QueryFolderAttributes(folder)) node.shared = folder.shared;
    if (folder.id.Known()) {
      node.id = folder.id;
      node.haveId = true;
      // The root is listed before any other folder is queued, so its identity is known here.
      if (oneFileSystem_ && node.parent != nullptr && root_.haveId && node.id.device != root_.id.device) return;
      // A folder that is its own ancestor (a bind-mount loop) is not entered again.
      if (OwnAncestor(node)) return;
    }
    std::string_view name;
    EntryKind kind;
    platform::FileAttributes attributes;
    bool haveAttributes = false;
    while (NextKnownEntry(reader, name, kind, attributes, haveAttributes)) {
      if (kind == EntryKind::Folder) {
        if (exclusions_ != nullptr && exclusions_->Excludes([&node] { return node.Path(); }, name)) continue;
        node.items.push_back({Offset(node), Length(name), true, false, {}});
        auto child = std::make_unique<Node>();
        child->parent = &node;
        child->name = name;
        node.children.push_back(std::move(child));
      } else if (kind == EntryKind::File && mask_.Matches(name)) {
        if (!haveAttributes) haveAttributes = reader.QueryAttributes(name, attributes);
        // Swapped for a link or a special file since the listing: not a file any more.
        if (haveAttributes && attributes.kind != EntryKind::File) continue;
        node.items.push_back({Offset(node), Length(name), false, haveAttributes, attributes});
      } else {
        continue;
      }
      node.names.append(name);
    }
    // Each held reader is an open handle: past a bound, subfolders open by path.
    if (!node.children.empty() && heldReaders_.fetch_add(1, std::memory_order_relaxed) < kMaxHeldReaders) {
      node.unopenedChildren.store(node.children.size(), std::memory_order_relaxed);
      node.reader = std::move(opened);
    } else if (!node.children.empty()) {
      heldReaders_.fetch_sub(1, std::memory_order_relaxed);
    }
  }

  static std::uint32_t Offset(const Node& node) { return static_cast<std::uint32_t>(node.names.size()); }
  static std::uint32_t Length(std::string_view name) { return static_cast<std::uint32_t>(name.size()); }

  // Last in, first out, the first child on top: the pool moves through the
  // tree roughly in the order the visit needs it, so few listings wait.
  void Queue(std::vector<std::unique_ptr<Node>>& children) {
    std::size_t idle;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (auto it = children.rbegin(); it != children.rend(); ++it) pending_.push_back(it->get());
      outstanding_ += children.size();
      idle = idle_;
    }
    // Each wake-up is a context switch: only as many as there are idle workers and new folders.
    if (idle > 1 && children.size() > 1) {
      work_.notify_all();
    } else if (idle > 0) {
      work_.notify_one();
    }
  }

  void Work() {
    for (;;) {
      Node* node = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ++idle_;
        work_.wait(lock, [this] { return finished_ || !pending_.empty() || outstanding_ == 0; });
        --idle_;
        if (finished_ || pending_.empty()) return;
        node = pending_.back();
        pending_.pop_back();
      }
      List(*node);
      if (!node->children.empty()) Queue(node->children);
      bool allListed, awaited;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        node->listed.store(true, std::memory_order_release);
        allListed = --outstanding_ == 0;
        awaited = awaited_ == node;
      }
      if (awaited) listed_.notify_one();
      if (allListed) work_.notify_all();
    }
  }

  // Waits for a folder's listing, giving the caller's `waiting` a turn every
  // few milliseconds. False when Stop came first, or a worker failed (its
  // folder may never be listed).
  bool AwaitListed(const Node& node, const std::function<void()>& waiting) {
    constexpr auto kTurn = std::chrono::milliseconds(10);
    while (!node.listed.load(std::memory_order_acquire)) {
      if (Stopped() || workers_.Stopping()) return false;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        awaited_ = &node;
        listed_.wait_for(lock, kTurn, [&node] { return node.listed.load(std::memory_order_acquire); });
        awaited_ = nullptr;
      }
      const auto now = std::chrono::steady_clock::now();
      if (waiting && now - lastTurn_ >= kTurn) {
        lastTurn_ = now;
        waiting();
      }
      if (now - lastScaling_ >= kScalingInterval) {
        lastScaling_ = now;
        AddListersIfWaiting();
      }
    }
    return true;
  }

  // A cold disk answers each listing and each file's attributes slowly, and
  // sooner with more of them asked at once.
  void AddListersIfWaiting() {
    bool allClaimed;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      allClaimed = pending_.empty();
    }
    const int more = scaling_.MoreWorkers(workers_.Count(), allClaimed);
    if (more > 0) workers_.Add(more, [this] { Work(); });
  }

  // Depth first in listing order; a folder's listing is freed once its files
  // are out and its subfolders visited. Returns the files found.
  std::size_t Visit(const std::function<void(const EnumeratedFile&)>& found, const std::function<void()>& waiting) {
    struct Frame {
      Node* node;
      std::size_t folderLength;  // the node's path, with a delimiter at its end, is the start of `folder`
      std::size_t next = 0;
      std::size_t nextChild = 0;
    };
    std::string folder = root_.name;
    auto endWithDelimiter = [&folder] {
      if (folder.empty() || !platform::IsPathDelimiter(folder.back())) folder.push_back(platform::kPathDelimiter);
    };
    endWithDelimiter();
    std::vector<Frame> frames{{&root_, folder.size()}};
    root_.listed = true;
    std::size_t count = 0;
    while (!frames.empty()) {
      Frame& frame = frames.back();
      Node& node = *frame.node;
      if (frame.next == node.items.size()) {
        node.items = {};
        node.names = {};
        frames.pop_back();
        if (!frames.empty()) {
          Frame& parent = frames.back();
          parent.node->children[parent.nextChild - 1].reset();
        }
        continue;
      }
      const Item& item = node.items[frame.next++];
      const std::string_view name = std::string_view(node.names).substr(item.nameOffset, item.nameLength);
      if (item.isFolder) {
        Node* child = node.children[frame.nextChild++].get();
        if (!AwaitListed(*child, waiting)) break;
        folder.resize(frame.folderLength);
        folder.append(name);
        endWithDelimiter();
        frames.push_back({child, folder.size()});  // `frame` is not used after this
        continue;
      }
      ++count;
      found({std::string_view(folder).substr(0, frame.folderLength), name,
             item.haveAttributes ? item.attributes.size : -1, item.attributes.id, item.attributes.modified,
             item.attributes.changed, item.attributes.owner, node.shared, item.attributes.offline});
    }
    return count;
  }

  const FileMask& mask_;
  const std::atomic<bool>* stop_;
  const bool oneFileSystem_;
  const FolderExclusions* exclusions_;
  Node root_;
  std::mutex mutex_;
  std::condition_variable work_;    // a folder to list, or the end
  std::condition_variable listed_;  // a folder listed
  std::vector<Node*> pending_;
  std::size_t outstanding_ = 0;    // queued or being listed
  std::size_t idle_ = 0;           // workers waiting for a folder
  const Node* awaited_ = nullptr;  // the listing the visit waits for
  bool finished_ = false;
  std::chrono::steady_clock::time_point lastTurn_;
  static constexpr auto kScalingInterval = std::chrono::milliseconds(30);
  const int processors_ = static_cast<int>(platform::LogicalProcessorCount());
  ReaderScaling scaling_{processors_};
  std::chrono::steady_clock::time_point lastScaling_ = std::chrono::steady_clock::now();
  std::atomic<int> heldReaders_{0};
  std::mutex idsMutex_;
  ReachedFiles listedIds_;  // the identities of the folders listed
  WorkerPool workers_;      // last: joined before anything it uses goes
};

}  // namespace

std::size_t ReachedFiles::SlotOf(const platform::FileId& id, std::size_t mask) { return id.Hash() >> 7 & mask; }

const platform::FileId* ReachedFiles::IdOf(std::uint32_t slotValue) const {
  if ((slotValue & kOwnId) != 0) return &ids_[slotValue & ~kOwnId];
  return slotValue < registry_->size() ? &(*registry_)[slotValue].id : nullptr;
}

// False when the identity is there already; else puts it in with `slotValue`
// (kEmpty: kept in ids_).
bool ReachedFiles::Insert(const platform::FileId& id, std::uint32_t slotValue) {
  if ((entries_ + 1) * 4 > slots_.size() * 3) Grow();
  const std::size_t mask = slots_.size() - 1;
  std::size_t slot = SlotOf(id, mask);
  for (; slots_[slot] != kEmpty; slot = (slot + 1) & mask) {
    const platform::FileId* reached = IdOf(slots_[slot]);
    if (reached != nullptr && *reached == id) return false;
  }
  if (slotValue == kEmpty) {
    slotValue = static_cast<std::uint32_t>(ids_.size()) | kOwnId;
    ids_.push_back(id);
  }
  slots_[slot] = slotValue;
  ++entries_;
  return true;
}

bool ReachedFiles::FirstReach(const platform::FileId& id) { return Insert(id, kEmpty); }

bool ReachedFiles::FirstReach(const platform::FileId& id, std::size_t record) {
  if (registry_ == nullptr || record >= kOwnId) return FirstReach(id);
  return Insert(id, static_cast<std::uint32_t>(record));
}

bool ReachedFiles::FirstReach(const std::string& path) { return paths_.insert(path).second; }

void ReachedFiles::Grow() {
  std::vector<std::uint32_t> old(slots_.size() * 2, kEmpty);
  old.swap(slots_);
  const std::size_t mask = slots_.size() - 1;
  entries_ = 0;
  for (const std::uint32_t value : old) {
    if (value == kEmpty) continue;
    const platform::FileId* id = IdOf(value);
    if (id == nullptr) continue;  // a record dropped since: nothing to find there
    std::size_t slot = SlotOf(*id, mask);
    while (slots_[slot] != kEmpty) slot = (slot + 1) & mask;
    slots_[slot] = value;
    ++entries_;
  }
}

bool NextKnownEntry(platform::FolderReader& reader, std::string_view& name, EntryKind& kind,
                    platform::FileAttributes& attributes, bool& haveAttributes) {
  while (reader.Next(name, kind)) {
    // Nothing of the previous entry may pass for this one's.
    attributes = {};
    haveAttributes = false;
    if (kind != EntryKind::Unknown) return true;
    if (reader.QueryAttributes(name, attributes)) {
      haveAttributes = true;
      kind = attributes.kind;
      return true;
    }
  }
  return false;
}

std::size_t WalkFiles(const std::string& folder, const std::string& mask,
                      const std::function<void(const EnumeratedFile&)>& found, const std::atomic<bool>* stop,
                      const std::function<void()>& waiting, bool oneFileSystem, const FolderExclusions* exclusions) {
  const FileMask fileMask(mask);
  if (folder.empty() || folder.find('\0') != std::string::npos || !platform::FolderExists(folder)) {
    throw std::runtime_error("Folder not found: " + folder);
  }
  return ParallelWalk(fileMask, stop, oneFileSystem, exclusions).Walk(folder, found, waiting);
}

}  // namespace orvanta
