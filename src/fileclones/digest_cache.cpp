#include "fileclones/digest_cache.h"

#include <system_error>

#include "platform/platform.h"
#include "text/translate.h"

#ifdef ORVANTA_DIGEST_CACHE
#include <sqlite3.h>
#include <xxhash.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <tuple>
#endif

namespace orvanta {

std::string DefaultDigestCacheFile() {
  const std::string folder = platform::UserCacheFolder();
  return folder.empty() ? folder : platform::JoinedPath(platform::JoinedPath(folder, "orvanta"), "digests.db");
}

#ifdef ORVANTA_DIGEST_CACHE

namespace {

namespace fs = std::filesystem;

constexpr std::int32_t kApplicationId = 0x4F52564E;  // "ORVN": a file of another program has another
constexpr int kFormat = 2;
// The format before head digests, upgraded in place: its entries stay valid.
constexpr int kFormatWithoutHeads = 1;
// Entries of files not seen in any scan for this many days go.
constexpr std::int64_t kKeepDays = 60;
// What an entry takes in the file, its share of the B-tree pages included.
constexpr std::int64_t kBytesPerEntry = 176;
// How long a run waits for another that holds the file before it does without.
constexpr int kBusyWaitMs = 10000;

// The file is damaged, or not a cache of ours: never used, set aside.
struct Damaged : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::int64_t Today() {
  using namespace std::chrono;
  return duration_cast<hours>(system_clock::now().time_since_epoch()).count() / 24;
}

std::int64_t Signed(std::uint64_t value) { return static_cast<std::int64_t>(value); }
std::uint64_t Unsigned(std::int64_t value) { return static_cast<std::uint64_t>(value); }

std::uint64_t InodeHigh([[maybe_unused]] const platform::FileId& id) {
#ifdef _WIN32
  return id.inodeHigh;
#else
  return 0;
#endif
}

// Every field of an entry but its last-seen day, summed with the cache's key:
// an entry whose bytes changed on disk does not pass.
std::uint64_t EntrySum(std::uint64_t key, const platform::FileId& id, std::int64_t size, std::int64_t modified,
                       std::int64_t changed, const CachedDigests& digests) {
  std::array<std::uint64_t, 15> words{id.device,
                                      id.inode,
                                      InodeHigh(id),
                                      Unsigned(size),
                                      Unsigned(modified),
                                      Unsigned(changed),
                                      digests.haveFast ? 1u : 0u,
                                      digests.fast.high,
                                      digests.fast.low,
                                      digests.sha1.empty() ? 0u : 1u,
                                      0,
                                      0,
                                      0,
                                      digests.check[0],
                                      digests.check[1]};
  const std::string_view sha1 = digests.sha1.Bytes();
  if (!sha1.empty()) std::memcpy(&words[10], sha1.data(), sha1.size());  // an empty digest has no bytes at all
  const std::uint64_t sum = XXH3_64bits_withSeed(words.data(), sizeof words, key);
  // An entry without a head digest sums as it did before there were any.
  if (!digests.haveHead) return sum;
  const std::array<std::uint64_t, 2> head{sum, digests.head};
  return XXH3_64bits_withSeed(head.data(), sizeof head, key);
}

class Statement {
 public:
  Statement(sqlite3* db, const char* sql);
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, std::int64_t value) {
    sqlite3_bind_int64(statement_, index, value);
    return *this;
  }
  Statement& Bind(int index, std::string_view blob) {
    if (blob.empty()) {
      sqlite3_bind_null(statement_, index);
    } else {
      sqlite3_bind_blob(statement_, index, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
    }
    return *this;
  }
  Statement& BindText(int index, const char* text) {
    sqlite3_bind_text(statement_, index, text, -1, SQLITE_TRANSIENT);
    return *this;
  }
  Statement& BindNull(int index) {
    sqlite3_bind_null(statement_, index);
    return *this;
  }
  // True while rows come; false at the end.
  bool Step();
  // Runs it to its end and makes it ready for new values.
  void Run() {
    while (Step()) {
    }
    Reset();
  }
  void Reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  std::int64_t Integer(int column) const { return sqlite3_column_int64(statement_, column); }
  bool Null(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }
  std::string_view Blob(int column) const {
    const void* data = sqlite3_column_blob(statement_, column);
    return {static_cast<const char*>(data), static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))};
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
};

// Throws Damaged for a file that is no database or a damaged one, runtime_error for the rest.
void Check(sqlite3* db, int result) {
  if (result == SQLITE_OK || result == SQLITE_ROW || result == SQLITE_DONE) return;
  const int primary = result & 0xFF;
  const std::string message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(result);
  if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB) throw Damaged(message);
  throw std::runtime_error(message);
}

Statement::Statement(sqlite3* db, const char* sql) : db_(db) {
  Check(db, sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr));
}

bool Statement::Step() {
  const int result = sqlite3_step(statement_);
  if (result == SQLITE_ROW) return true;
  if (result == SQLITE_DONE) return false;
  Check(db_, result);
  return false;
}

void Execute(sqlite3* db, const char* sql) { Check(db, sqlite3_exec(db, sql, nullptr, nullptr, nullptr)); }

std::int64_t QueryInteger(sqlite3* db, const char* sql) {
  Statement query(db, sql);
  return query.Step() ? query.Integer(0) : 0;
}

// Moves the damaged or foreign file out of the way with its journal, so that
// a new one takes its name. Returns the new name; throws when it cannot.
std::string SetAside(const std::string& file) {
  const std::string aside = file + ".set-aside";
  std::error_code error;
  fs::rename(fs::path(file), fs::path(aside), error);
  if (error) throw std::runtime_error(error.message());
  std::error_code ignored;
  fs::rename(fs::path(file + "-wal"), fs::path(aside + "-wal"), ignored);
  fs::remove(fs::path(file + "-shm"), ignored);
  return aside;
}

class SqliteCache final : public DigestCache {
 public:
  SqliteCache(const std::string& file, std::int64_t limitMB)
      : file_(file), limitEntries_(std::max<std::int64_t>(1, limitMB) * 1048576 / kBytesPerEntry) {
    // Made here, private to the user: the key in it is what keeps others from
    // preparing files whose checks agree.
    if (std::error_code error; !fs::exists(fs::path(file), error)) {
      if (std::FILE* made = std::fopen(file.c_str(), "ab")) std::fclose(made);
      fs::permissions(fs::path(file), fs::perms::owner_read | fs::perms::owner_write, error);
    }
    const int opened = sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (opened != SQLITE_OK) {
      const std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(opened);
      sqlite3_close_v2(db_);
      db_ = nullptr;
      throw std::runtime_error(message);
    }
    try {
      // Another run may hold the write lock for a while: wait rather than fail.
      sqlite3_busy_timeout(db_, kBusyWaitMs);
      UseWriteAheadLog();
      if (!RecognizedInOneRead()) Create();
      if (QueryInteger(db_, "PRAGMA user_version") == kFormatWithoutHeads) AddHeads();
      key_ = Unsigned(MetaValue("key"));
    } catch (...) {
      sqlite3_close_v2(db_);
      db_ = nullptr;
      throw;
    }
  }

  ~SqliteCache() override { Close(); }

  std::uint64_t CheckKey() const override { return key_; }

  void Find(const std::vector<FileRecord*>& files,
            const std::function<void(std::size_t, const CachedDigests&)>& hit) override {
    if (db_ == nullptr) return;
    std::vector<std::uint32_t> order;
    for (std::size_t i = 0; i < files.size(); ++i) {
      if (Cacheable(*files[i])) order.push_back(static_cast<std::uint32_t>(i));
    }
    auto keyOf = [&files](std::uint32_t i) {
      const platform::FileId& id = files[i]->id;
      return std::make_tuple(id.device, id.inode, InodeHigh(id));
    };
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return keyOf(a) < keyOf(b); });
    try {
      const std::int64_t today = Today();
      auto answer = [&](const Statement& row, std::uint32_t index) {
        const FileRecord& file = *files[index];
        if (row.Integer(3) != file.size || row.Integer(4) != file.modified || row.Integer(5) != file.changed) return;
        CachedDigests digests;
        digests.haveFast = !row.Null(6);
        if (digests.haveFast) digests.fast = {file.size, Unsigned(row.Integer(6)), Unsigned(row.Integer(7))};
        if (!row.Null(8)) {
          const std::string_view sha1 = row.Blob(8);
          if (sha1.size() != Sha1Digest::kSize) throw Damaged("a digest of the wrong length");
          std::array<unsigned char, Sha1Digest::kSize> bytes;
          std::memcpy(bytes.data(), sha1.data(), bytes.size());
          digests.sha1 = Sha1Digest(bytes);
          digests.check = {Unsigned(row.Integer(9)), Unsigned(row.Integer(10))};
        }
        digests.haveHead = !row.Null(13);
        if (digests.haveHead) digests.head = Unsigned(row.Integer(13));
        if (Unsigned(row.Integer(12)) != EntrySum(key_, file.id, file.size, file.modified, file.changed, digests)) {
          throw Damaged("an entry that does not match its sum");
        }
        if (row.Integer(11) < today) seen_.push_back(file.id);
        hit(index, digests);
      };
      constexpr const char* kColumns =
          "device, inode, inode_high, size, modified, changed, fast_high, fast_low, sha1, check_high, check_low, "
          "seen, sum, head FROM digests";
      // Many files: one pass over the table in key order beside the sorted
      // files, far cheaper than a look-up each; few: a look-up each.
      if (static_cast<std::int64_t>(order.size()) * 16 >= MetaValue("entries")) {
        Statement rows(db_, (std::string("SELECT ") + kColumns + " ORDER BY device, inode, inode_high").c_str());
        std::size_t next = 0;
        while (next < order.size() && rows.Step()) {
          const auto key =
              std::make_tuple(Unsigned(rows.Integer(0)), Unsigned(rows.Integer(1)), Unsigned(rows.Integer(2)));
          while (next < order.size() && keyOf(order[next]) < key) ++next;
          // A file reached twice is registered once, so one entry answers one file.
          if (next < order.size() && keyOf(order[next]) == key) answer(rows, order[next++]);
        }
      } else {
        Statement row(
            db_, (std::string("SELECT ") + kColumns + " WHERE device = ?1 AND inode = ?2 AND inode_high = ?3").c_str());
        for (const std::uint32_t index : order) {
          const auto [device, inode, inodeHigh] = keyOf(index);
          row.Bind(1, Signed(device)).Bind(2, Signed(inode)).Bind(3, Signed(inodeHigh));
          if (row.Step()) answer(row, index);
          row.Reset();
        }
      }
    } catch (const Damaged&) {
      Broken();
    } catch (const std::runtime_error&) {
      // Busy for too long, out of memory: this run goes on with what it found.
    }
  }

  void Store(const std::function<bool(const FileRecord*&, CachedDigests&)>& next) override {
    if (db_ == nullptr) return;
    try {
      Execute(db_, "BEGIN IMMEDIATE");
      try {
        const std::int64_t today = Today();
        Statement insert(db_,
                         "INSERT OR REPLACE INTO digests (device, inode, inode_high, size, modified, changed, "
                         "fast_high, fast_low, sha1, check_high, check_low, seen, sum, head) "
                         "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)");
        bool added = false;
        const FileRecord* file = nullptr;
        CachedDigests digests;
        while (next(file, digests)) {
          if (!Cacheable(*file)) continue;
          added = true;
          insert.Bind(1, Signed(file->id.device)).Bind(2, Signed(file->id.inode)).Bind(3, Signed(InodeHigh(file->id)));
          insert.Bind(4, file->size).Bind(5, file->modified).Bind(6, file->changed);
          if (digests.haveFast) {
            insert.Bind(7, Signed(digests.fast.high)).Bind(8, Signed(digests.fast.low));
          } else {
            insert.BindNull(7).BindNull(8);
          }
          insert.Bind(9, digests.sha1.Bytes());
          if (digests.sha1.empty()) {
            insert.BindNull(10).BindNull(11);
          } else {
            insert.Bind(10, Signed(digests.check[0])).Bind(11, Signed(digests.check[1]));
          }
          insert.Bind(12, today);
          insert.Bind(13, Signed(EntrySum(key_, file->id, file->size, file->modified, file->changed, digests)));
          if (digests.haveHead) {
            insert.Bind(14, Signed(digests.head));
          } else {
            insert.BindNull(14);
          }
          insert.Run();
        }
        Statement seen(db_, "UPDATE digests SET seen = ?1 WHERE device = ?2 AND inode = ?3 AND inode_high = ?4");
        for (const platform::FileId& id : seen_) {
          seen.Bind(1, today).Bind(2, Signed(id.device)).Bind(3, Signed(id.inode)).Bind(4, Signed(InodeHigh(id)));
          seen.Run();
        }
        seen_.clear();
        Prune(today, added);
        Execute(db_, "COMMIT");
      } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
      }
    } catch (const Damaged&) {
      Broken();
    } catch (const std::runtime_error&) {
      // Busy for too long, a full disk: the digests are not kept this time.
    }
  }

  std::string Notice() const override { return notice_; }

 private:
  // A file the cache can tell apart from every other and see edited: its
  // identity and change time known.
  static bool Cacheable(const FileRecord& file) { return file.id.Known() && file.changed != 0; }

  // True for a cache of ours; false for an empty file, to be made one. Throws
  // Damaged for anything else.
  bool Recognized() {
    const std::int64_t application = QueryInteger(db_, "PRAGMA application_id");
    const std::int64_t format = QueryInteger(db_, "PRAGMA user_version");
    if (application == kApplicationId && (format == kFormat || format == kFormatWithoutHeads)) return true;
    if (application == 0 && format == 0 && QueryInteger(db_, "SELECT count(*) FROM sqlite_master") == 0) return false;
    throw Damaged("not an Orvanta digest cache");
  }

  // Two runs switching a new file to the log at once would each wait for the
  // other, so SQLite fails one at once instead of waiting: it tries again.
  void UseWriteAheadLog() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyWaitMs);
    for (;;) {
      const int result = sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
      if ((result & 0xFF) != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline) {
        Check(db_, result);
        break;
      }
      sqlite3_sleep(5);
    }
    Execute(db_, "PRAGMA synchronous=NORMAL");
  }

  // Recognized() in one read transaction, so its reads see one state of the
  // file: a run creating the cache meanwhile must not look like a foreign file.
  bool RecognizedInOneRead() {
    Execute(db_, "BEGIN");
    try {
      const bool recognized = Recognized();
      Execute(db_, "COMMIT");
      return recognized;
    } catch (...) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  // Makes the empty file a cache, unless another run did meanwhile.
  void Create() {
    Execute(db_, "BEGIN IMMEDIATE");
    try {
      if (QueryInteger(db_, "SELECT count(*) FROM sqlite_master") == 0) {
        Execute(db_,
                "CREATE TABLE meta (name TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID;"
                "CREATE TABLE digests (device INTEGER NOT NULL, inode INTEGER NOT NULL, inode_high INTEGER NOT NULL, "
                "size INTEGER NOT NULL, modified INTEGER NOT NULL, changed INTEGER NOT NULL, fast_high INTEGER, "
                "fast_low INTEGER, sha1 BLOB, check_high INTEGER, check_low INTEGER, seen INTEGER NOT NULL, "
                "sum INTEGER NOT NULL, head INTEGER, PRIMARY KEY (device, inode, inode_high)) WITHOUT ROWID");
        Execute(db_, ("PRAGMA application_id = " + std::to_string(kApplicationId) +
                      "; PRAGMA user_version = " + std::to_string(kFormat))
                         .c_str());
        std::random_device random;
        const std::uint64_t key = std::uint64_t{random()} << 32 ^ random();
        SetMeta("key", Signed(key));
        SetMeta("entries", 0);
        SetMeta("pruned", Today());
      } else if (!Recognized()) {
        throw Damaged("not an Orvanta digest cache");
      }
      Execute(db_, "COMMIT");
    } catch (...) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  // Upgrades a cache of the format without head digests, unless another run did meanwhile.
  void AddHeads() {
    Execute(db_, "BEGIN IMMEDIATE");
    try {
      if (QueryInteger(db_, "PRAGMA user_version") == kFormatWithoutHeads) {
        Execute(
            db_,
            ("ALTER TABLE digests ADD COLUMN head INTEGER; PRAGMA user_version = " + std::to_string(kFormat)).c_str());
      }
      Execute(db_, "COMMIT");
    } catch (...) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  std::int64_t MetaValue(const char* name) {
    Statement query(db_, "SELECT value FROM meta WHERE name = ?1");
    query.BindText(1, name);
    if (!query.Step()) throw Damaged(std::string("no ") + name);
    return query.Integer(0);
  }

  void SetMeta(const char* name, std::int64_t value) {
    Statement update(db_, "INSERT OR REPLACE INTO meta (name, value) VALUES (?1, ?2)");
    update.BindText(1, name).Bind(2, value);
    update.Run();
  }

  // Drops entries not seen for long (once a day) and, after new entries, the
  // least recently seen while there are more than the bound allows.
  void Prune(std::int64_t today, bool added) {
    if (MetaValue("pruned") < today) {
      Statement old(db_, "DELETE FROM digests WHERE seen < ?1");
      old.Bind(1, today - kKeepDays);
      old.Run();
      SetMeta("pruned", today);
      added = true;
    }
    if (!added) return;
    std::int64_t entries = QueryInteger(db_, "SELECT count(*) FROM digests");
    if (entries > limitEntries_) {
      // A tenth below the bound, so that the next scans do not prune again at once.
      const std::int64_t excess = entries - limitEntries_ + limitEntries_ / 10;
      Statement oldest(db_,
                       "DELETE FROM digests WHERE (device, inode, inode_high) IN (SELECT device, inode, inode_high "
                       "FROM digests ORDER BY seen LIMIT ?1)");
      oldest.Bind(1, excess);
      oldest.Run();
      entries = QueryInteger(db_, "SELECT count(*) FROM digests");
    }
    SetMeta("entries", entries);
  }

  // The file showed damage after it was opened: closed, set aside, not used again.
  void Broken() {
    Close();
    try {
      notice_ = FormatText(TranslateText("The digest cache %s was damaged or not Orvanta's; it was set aside as %s."),
                           {file_, SetAside(file_)});
    } catch (const std::runtime_error& error) {
      notice_ =
          FormatText(TranslateText("The digest cache %s could not be used: %s"), {file_, std::string(error.what())});
    }
  }

  void Close() {
    if (db_ != nullptr) sqlite3_close_v2(db_);
    db_ = nullptr;
  }

  std::string file_;
  std::int64_t limitEntries_;
  sqlite3* db_ = nullptr;
  std::uint64_t key_ = 0;
  std::vector<platform::FileId> seen_;  // answered by Find, last seen before today
  std::string notice_;
};

}  // namespace

bool DigestCacheAvailable() { return true; }

OpenedCache OpenDigestCache(const std::string& file, std::int64_t limitMB) {
  if (file.empty()) return {};
  std::error_code error;
  const fs::path folder = fs::path(file).parent_path();
  if (!folder.empty() && !fs::exists(folder, error) && fs::create_directories(folder, error)) {
    fs::permissions(folder, fs::perms::owner_all, error);
  }
  auto unusable = [&file](const std::string& why) {
    return FormatText(TranslateText("The digest cache %s could not be used: %s"), {file, why});
  };
  std::string notice;
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      return {std::make_unique<SqliteCache>(file, limitMB), notice};
    } catch (const Damaged&) {
      if (attempt > 0) break;
      try {
        notice = FormatText(TranslateText("The digest cache %s was damaged or not Orvanta's; it was set aside as %s."),
                            {file, SetAside(file)});
      } catch (const std::runtime_error& failure) {
        return {nullptr, unusable(failure.what())};
      }
    } catch (const std::runtime_error& failure) {
      return {nullptr, unusable(failure.what())};
    }
  }
  return {nullptr, notice};
}

bool ClearDigestCache(const std::string& file, std::string& reason) {
  bool cleared = true;
  for (const std::string& name : {file, file + "-wal", file + "-shm"}) {
    std::error_code error;
    fs::remove(fs::path(name), error);
    if (error && cleared) {
      reason = error.message();
      cleared = false;
    }
  }
  return cleared;
}

#else

bool DigestCacheAvailable() { return false; }

OpenedCache OpenDigestCache(const std::string&, std::int64_t) { return {}; }

bool ClearDigestCache(const std::string&, std::string&) { return true; }

#endif

}  // namespace orvanta
