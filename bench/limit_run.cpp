// limit_run: the least work a rename run of one folder can do, as a program
// of its own that bench_run times slicery-cli against. It reads the folder
// once through one open handle, works out every new name with the core's own
// name functions, and renames relative to that handle with
// renameat2(RENAME_NOREPLACE), making series folders with mkdirat.
//
//   limit_run [--folders] [--short] FOLDER...
//
// Several FOLDERs are run one after the other in the one process, as the
// least a batch over the exams of a tree can do.
//
// The names are those of a real run: the series are counted as the census
// counts them (changes of the fourth piece down the sorted list), each series
// takes its full names by their fourth piece (letter case ignored), or its
// short ones when it has no full one, and its slice numbers get as many
// zeros as its file count needs. What it leaves out is the run's guarding of
// odd folders: a series that the census lists twice is renamed once, and an
// unusable series folder only skips its series. bench_run checks on every
// shape it times that this gives the same tree as slicery-cli.
//
// Exit status: 0 every rename done, 1 some rename failed, 2 bad arguments or
// the folder cannot be read.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "rename/new_name.h"
#include "scan/ima_file_name.h"

namespace {

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool endsWithIma(std::string_view name) {
  if (name.size() < 4) return false;
  const std::string_view tail = name.substr(name.size() - 4);
  return tail[0] == '.' && lower(tail[1]) == 'i' && lower(tail[2]) == 'm' && lower(tail[3]) == 'a';
}

// The list order: letter case ignored, then bytes, so the order is total.
bool listedBefore(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    if (lower(a[i]) != lower(b[i])) {
      return static_cast<unsigned char>(lower(a[i])) < static_cast<unsigned char>(lower(b[i]));
    }
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

// The fourth piece of a name and its number of pieces, read in one pass.
struct Pieces {
  std::string_view series;
  int count = 1;
  bool seriesEnds = false;  // a full stop follows the fourth piece
};

Pieces piecesOf(std::string_view name) {
  Pieces pieces;
  size_t start = std::string_view::npos;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] != '.') continue;
    ++pieces.count;
    if (pieces.count == slicery::scan::kSeriesField + 1) start = i + 1;
    if (pieces.count == slicery::scan::kSeriesField + 2) {
      pieces.series = name.substr(start, i - start);
      pieces.seriesEnds = true;
    }
  }
  if (start != std::string_view::npos && !pieces.seriesEnds) pieces.series = name.substr(start);
  return pieces;
}

// `text` in lower case, into `out` (reusing its storage).
const std::string& lowered(std::string_view text, std::string& out) {
  out.assign(text);
  for (char& c : out) c = lower(c);
  return out;
}

struct Series {
  std::vector<uint32_t> full;    // names of 14 pieces or more
  std::vector<uint32_t> short_;  // names of 6 pieces or more
  bool done = false;
};

// Renames the .ima files of `folder`; returns the exit status.
int runFolder(const char* folder, bool folders, bool shortForm) {
  const int dirfd = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int listfd = dirfd < 0 ? -1 : ::dup(dirfd);
  DIR* dir = listfd < 0 ? nullptr : ::fdopendir(listfd);
  if (dir == nullptr) {
    std::fprintf(stderr, "limit_run: cannot read %s: %s\n", folder, std::strerror(errno));
    return 2;
  }
  // The regular .ima files, hidden ones left out; a link counts by what it
  // leads to, and is remembered so that a relative one stays in place.
  std::vector<std::string> names;
  std::vector<std::string> links;
  errno = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] == '.' || !endsWithIma(name)) continue;
    bool regular = entry->d_type == DT_REG;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      struct stat st;
      regular = ::fstatat(dirfd, name, &st, 0) == 0 && S_ISREG(st.st_mode);
      char target[2];
      if (regular && ::readlinkat(dirfd, name, target, 1) == 1 && target[0] != '/') {
        links.emplace_back(name);
      }
    }
    if (regular) names.emplace_back(name);
    errno = 0;
  }
  if (errno != 0) {
    std::fprintf(stderr, "limit_run: cannot read %s: %s\n", folder, std::strerror(errno));
    return 2;
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end(), listedBefore);
  std::sort(links.begin(), links.end());

  // The census, and each series' names in list order, keyed by the fourth
  // piece in lower case.
  std::vector<std::string_view> census;
  std::unordered_map<std::string, Series> index;
  std::string_view last;
  std::string key;
  for (uint32_t i = 0; i < names.size(); ++i) {
    const Pieces pieces = piecesOf(names[i]);
    if (!pieces.series.empty() && pieces.series != last) {
      census.push_back(pieces.series);
      last = pieces.series;
    }
    if (!pieces.seriesEnds || pieces.count < slicery::scan::kShortNamePieces) continue;
    auto found = index.find(lowered(pieces.series, key));
    if (found == index.end()) found = index.emplace(key, Series{}).first;
    Series& series = found->second;
    if (pieces.count >= slicery::scan::kFullNamePieces) series.full.push_back(i);
    series.short_.push_back(i);
  }

  const int seriesCount = static_cast<int>(census.size());
  int failures = 0;
  slicery::scan::NameFields fields;
  for (const std::string_view seriesText : census) {
    const auto found = index.find(lowered(seriesText, key));
    if (found == index.end() || found->second.done) continue;
    found->second.done = true;
    const std::vector<uint32_t>& files =
        found->second.full.empty() ? found->second.short_ : found->second.full;
    const int seriesFiles = static_cast<int>(files.size());
    const int seriesWidth = slicery::rename::padWidth(seriesCount, seriesText);
    const std::string paddedSeries = slicery::rename::padded(seriesText, seriesWidth);

    int target = dirfd;
    const bool hasFolder = folders && slicery::rename::seriesGetsFolder(paddedSeries);
    if (hasFolder) {
      const std::string folderName = "Series_S" + paddedSeries;
      if (!slicery::rename::unsafeFolderName(folderName).empty()) {
        ++failures;
        continue;
      }
      if (::mkdirat(dirfd, folderName.c_str(), 0777) != 0 && errno != EEXIST) {
        ++failures;
        continue;
      }
      target = ::openat(dirfd, folderName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (target < 0) {
        ++failures;
        continue;
      }
    }

    for (const uint32_t i : files) {
      const std::string& name = names[i];
      slicery::scan::splitImaFileName(name, fields);
      if (fields[0].empty() || fields[slicery::scan::kSeriesField] == "0") continue;
      const std::string_view slice = fields[slicery::scan::kSliceField];
      const int sliceWidth = slicery::rename::padWidth(seriesFiles, slice);
      if (seriesWidth <= 0 && sliceWidth <= 0 && !shortForm && !folders) continue;
      const std::string newName = slicery::rename::newFileName(
          fields, slicery::rename::padded(fields[slicery::scan::kSeriesField], seriesWidth),
          slicery::rename::padded(slice, sliceWidth), name, shortForm);
      if (!hasFolder && newName == name) continue;
      if (hasFolder && !links.empty() && std::binary_search(links.begin(), links.end(), name)) {
        ++failures;
        continue;
      }
      if (::renameat2(dirfd, name.c_str(), target, newName.c_str(), RENAME_NOREPLACE) != 0) {
        std::fprintf(stderr, "limit_run: cannot rename %s -> %s: %s\n", name.c_str(),
                     newName.c_str(), std::strerror(errno));
        ++failures;
      }
    }
    if (target != dirfd) ::close(target);
  }
  ::close(dirfd);
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  bool folders = false;
  bool shortForm = false;
  std::vector<const char*> paths;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--folders") == 0) {
      folders = true;
    } else if (std::strcmp(argv[i], "--short") == 0) {
      shortForm = true;
    } else if (argv[i][0] != '-') {
      paths.push_back(argv[i]);
    } else {
      paths.clear();
      break;
    }
  }
  if (paths.empty()) {
    std::fprintf(stderr, "usage: limit_run [--folders] [--short] FOLDER...\n");
    return 2;
  }
  int status = 0;
  for (const char* folder : paths) status = std::max(status, runFolder(folder, folders, shortForm));
  return status;
}
