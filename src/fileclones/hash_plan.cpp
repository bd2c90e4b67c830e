#include "fileclones/hash_plan.h"

#include <algorithm>

namespace orvanta {

std::vector<FileRecord*> HashTargets(FileRegistry& files, const std::atomic<bool>& stop) {
  auto stopped = [&stop] { return stop.load(std::memory_order_relaxed); };
  std::vector<std::pair<std::int64_t, std::uint32_t>> bySize;  // size, index
  bySize.reserve(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (stopped()) return {};
    if (files[i].size >= 1) bySize.emplace_back(files[i].size, static_cast<std::uint32_t>(i));
  }
  std::sort(bySize.begin(), bySize.end());
  std::vector<std::uint32_t> indexes;
  for (std::size_t begin = 0, end = 0; begin < bySize.size(); begin = end) {
    if (stopped()) return {};
    for (end = begin + 1; end < bySize.size() && bySize[end].first == bySize[begin].first;) ++end;
    if (end - begin < 2) continue;
    for (std::size_t i = begin; i < end; ++i) indexes.push_back(bySize[i].second);
  }
  std::sort(indexes.begin(), indexes.end());
  std::vector<FileRecord*> targets;
  targets.reserve(indexes.size());
  for (const std::uint32_t index : indexes) targets.push_back(&files[index]);
  return targets;
}

std::vector<std::uint32_t> LargeCandidates(const std::vector<FileRecord*>& targets) {
  std::vector<std::uint32_t> positions;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (targets[i]->size > static_cast<std::int64_t>(kReadBufferSize))
      positions.push_back(static_cast<std::uint32_t>(i));
  }
  return positions;
}

std::vector<std::uint32_t> HeadCandidates(const std::vector<FileRecord*>& targets) {
  std::vector<std::uint32_t> positions;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (targets[i]->size > kHeadCheckMinSize) positions.push_back(static_cast<std::uint32_t>(i));
  }
  return positions;
}

std::vector<std::uint32_t> UniqueHeads(const std::vector<FileRecord*>& targets, const std::vector<std::uint8_t>& stage,
                                       const std::vector<std::uint32_t>& headCandidates,
                                       const std::vector<std::uint64_t>& headDigests,
                                       const std::vector<std::uint8_t>& headKnown) {
  struct Entry {
    std::int64_t size;
    bool known;
    std::uint64_t digest;
    std::uint32_t slot;
    auto Key() const { return std::tuple(size, known, digest); }
  };
  std::vector<Entry> entries;
  entries.reserve(headCandidates.size());
  for (std::uint32_t slot = 0; slot < headCandidates.size(); ++slot) {
    const bool known = headKnown[slot] != 0;
    entries.push_back({targets[headCandidates[slot]]->size, known, known ? headDigests[slot] : 0, slot});
  }
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.Key() < b.Key(); });
  std::vector<std::uint32_t> unique;
  for (std::size_t begin = 0, end = 0; begin < entries.size(); begin = end) {
    bool decided = true;
    for (end = begin; end < entries.size() && entries[end].size == entries[begin].size; ++end) {
      const std::uint8_t s = stage[headCandidates[entries[end].slot]];
      if (!entries[end].known && s != kUnreadable && s != kChanged && s != kFinished) decided = false;
    }
    if (!decided) continue;
    for (std::size_t i = begin; i < end; ++i) {
      if (!entries[i].known || stage[headCandidates[entries[i].slot]] != kHeadRead) continue;
      const bool alone = (i == begin || entries[i - 1].Key() != entries[i].Key()) &&
                         (i + 1 == end || entries[i + 1].Key() != entries[i].Key());
      if (alone) unique.push_back(entries[i].slot);
    }
  }
  return unique;
}

SecondPassPlan PlanSecondPass(const std::vector<std::uint8_t>& stage, const std::vector<std::uint32_t>& largeCandidates,
                              const std::vector<FastDigest>& fastDigests, bool hashEvery) {
  const bool hashAll =
      hashEvery || std::any_of(stage.begin(), stage.end(), [](std::uint8_t s) { return s == kHashedBefore; });
  std::vector<std::pair<decltype(FastDigest{}.Key()), std::uint32_t>> keyed;  // key, position
  for (std::size_t slot = 0; slot < largeCandidates.size(); ++slot) {
    const std::uint32_t position = largeCandidates[slot];
    if (stage[position] == kLarge) keyed.emplace_back(fastDigests[slot].Key(), position);
  }
  std::sort(keyed.begin(), keyed.end());
  SecondPassPlan plan;
  auto& targets = plan.targets;
  for (std::size_t begin = 0, end = 0; begin < keyed.size(); begin = end) {
    for (end = begin + 1; end < keyed.size() && keyed[end].first == keyed[begin].first;) ++end;
    const auto first = static_cast<std::uint32_t>(targets.size());
    for (std::size_t i = begin; i < end; ++i) targets.push_back(keyed[i].second);
    plan.items.push_back({first, static_cast<std::uint32_t>(targets.size()), hashAll || end - begin >= 2});
  }
  // The most bytes to read first, so that no worker is left with a long read
  // at the end while the others wait; among equals, collection order. `targets`
  // is in the order of `keyed`, which holds each one's size.
  auto bytes = [&](const SecondPassItem& item) {
    const auto size = static_cast<std::uint64_t>(std::get<0>(keyed[item.begin].first));
    return item.hash ? static_cast<std::uint64_t>(item.end - item.begin) * size : 0;
  };
  std::sort(plan.items.begin(), plan.items.end(), [&](const SecondPassItem& a, const SecondPassItem& b) {
    const std::uint64_t x = bytes(a), y = bytes(b);
    return x != y ? x > y : targets[a.begin] < targets[b.begin];
  });
  return plan;
}

}  // namespace orvanta
