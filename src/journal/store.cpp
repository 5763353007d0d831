// The journal stores: files of the private state folder, and memory.
#include "journal/store.h"

#include <algorithm>
#include <cerrno>

#include "journal/writer.h"
#include "platform/journal_files.h"
#include "platform/state_files.h"
#include "platform/state_folder.h"

namespace slicery::journal {

using platform::AppendFile;
using platform::Status;

Status Store::create(const std::string& file, const Header& header,
                     std::unique_ptr<Writer>& writer) {
  return Writer::create(*this, file, header, writer);
}

Status Store::reopen(const std::string& file, std::unique_ptr<Writer>& writer) {
  return Writer::reopen(*this, file, writer);
}

Status Store::remove(const std::string& file) {
  for (const std::string& path : {file, file + platform::kPreviousJournalSuffix}) {
    const Status removed = removeFile(path);
    if (!removed && removed.code() != ENOENT) {
      return Status::error("remove journal", path, removed.reason(), removed.code());
    }
  }
  return Status::ok();
}

Status Store::move(const std::string& from, const std::string& to) {
  const Status moved = moveFile(from, to);
  if (moved) return moved;
  return Status::error("move journal", from, moved.reason(), moved.code(), to);
}

// --- Files -------------------------------------------------------------------

Status FileStore::locate(const std::string& folder, std::string& file, std::string& key) {
  return platform::journalPathFor(folder, file, key);
}

std::vector<std::string> FileStore::list() {
  return platform::listJournals();
}

Status FileStore::readBytes(const std::string& file, std::string& data, std::size_t most) {
  return platform::readWholeFile(file, data, most);
}

bool FileStore::readEnd(const std::string& file, std::size_t size, std::string& data) {
  return platform::readFileEnd(file, size, data);
}

Status FileStore::open(const std::string& file, bool fresh, std::size_t keep,
                       std::unique_ptr<AppendFile>& out) {
  return open_(file, fresh, keep, out);
}

Status FileStore::prepare(const std::string& file) {
  return platform::ensurePrivateFolder(platform::parentPath(file));
}

Status FileStore::removeFile(const std::string& file) {
  return platform::removeStateFile(file);
}

Status FileStore::moveFile(const std::string& from, const std::string& to) {
  return platform::moveStateFile(from, to);
}

void FileStore::syncPlace(const std::string& file) {
  platform::syncFolder(platform::parentPath(file));
}

Store& fileStore() {
  static FileStore store;
  return store;
}

// --- Memory ------------------------------------------------------------------

namespace {

constexpr const char* kMemoryFolder = "/journals/";

// A file of a MemoryStore open for appending. It writes to the name the
// file has now, as a descriptor follows its file through a rename; once the
// file is gone, writes go nowhere.
class MemoryAppendFile : public AppendFile {
 public:
  MemoryAppendFile(MemoryStore& store, std::shared_ptr<std::string> path)
      : store_(store), path_(std::move(path)) {}
  Status append(std::string_view data) override {
    if (store_.failWrite > 0 && --store_.failWrite == 0) {
      return Status::error("write journal", *path_, "No space left on device", ENOSPC);
    }
    if (const auto it = store_.files.find(*path_); it != store_.files.end()) it->second += data;
    return Status::ok();
  }
  Status sync() override {
    if (store_.failFlushes)
      return Status::error("write journal", *path_, "Input/output error", EIO);
    return Status::ok();
  }
  const std::string& path() const override { return *path_; }

 private:
  MemoryStore& store_;
  std::shared_ptr<std::string> path_;
};

Status missing(const char* operation, const std::string& file) {
  return Status::error(operation, file, "No such file or directory", ENOENT);
}

}  // namespace

Status MemoryStore::locate(const std::string& folder, std::string& file, std::string& key) {
  key = folder;
  std::string name = folder;
  std::replace(name.begin(), name.end(), '/', '_');
  file = kMemoryFolder + name + platform::kJournalSuffix;
  return Status::ok();
}

std::vector<std::string> MemoryStore::list() {
  std::vector<std::string> journals;
  for (const auto& entry : files) {
    if (entry.first.ends_with(platform::kJournalSuffix)) journals.push_back(entry.first);
  }
  return journals;
}

bool MemoryStore::readFails(const std::string& file, Status& why) {
  if (failReads == 0) return false;
  if (failReads > 1) {
    --failReads;
    return false;
  }
  why = Status::error("read journal", file, "Input/output error", EIO);
  return true;
}

Status MemoryStore::readBytes(const std::string& file, std::string& data, std::size_t most) {
  data.clear();
  if (Status why; readFails(file, why)) return why;
  const auto it = files.find(file);
  if (it == files.end()) return missing("read journal", file);
  data = it->second.substr(0, most);
  return Status::ok();
}

bool MemoryStore::readEnd(const std::string& file, std::size_t size, std::string& data) {
  data.clear();
  if (Status why; readFails(file, why)) return false;
  const auto it = files.find(file);
  if (it == files.end() || it->second.size() <= size) return false;
  data = it->second.substr(it->second.size() - size);
  return true;
}

Status MemoryStore::open(const std::string& file, bool fresh, std::size_t keep,
                         std::unique_ptr<AppendFile>& out) {
  out.reset();
  const auto it = files.find(file);
  if (fresh && it != files.end()) {
    return Status::error("open journal", file, "File exists", EEXIST);
  }
  if (!fresh && it == files.end()) return missing("open journal", file);
  if (fresh) {
    files[file];
  } else {
    it->second.resize(std::min(keep, it->second.size()));
  }
  auto path = std::make_shared<std::string>(file);
  std::erase_if(open_, [](const std::weak_ptr<std::string>& p) { return p.expired(); });
  open_.push_back(path);
  out = std::make_unique<MemoryAppendFile>(*this, std::move(path));
  return Status::ok();
}

void MemoryStore::renameOpen(const std::string& from, const std::string& to) {
  for (const std::weak_ptr<std::string>& open : open_) {
    if (const auto path = open.lock(); path && *path == from) *path = to;
  }
}

Status MemoryStore::removeFile(const std::string& file) {
  if (files.erase(file) == 0) return missing("remove journal", file);
  renameOpen(file, {});
  return Status::ok();
}

Status MemoryStore::moveFile(const std::string& from, const std::string& to) {
  const auto it = files.find(from);
  if (it == files.end()) return missing("move journal", from);
  std::string bytes = std::move(it->second);
  files.erase(it);
  renameOpen(to, {});
  files[to] = std::move(bytes);
  renameOpen(from, to);
  return Status::ok();
}

}  // namespace slicery::journal
