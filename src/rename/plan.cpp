#include "rename/plan.h"

#include <cerrno>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "rename/new_name.h"
#include "scan/ima_file_name.h"

namespace slicery::rename {

std::string notAFolder(platform::PathKind kind) {
  switch (kind) {
    case platform::PathKind::link:
      return "exists as a symbolic link, which could lead out of the loaded folder";
    case platform::PathKind::file:
      return std::strerror(EEXIST);
    case platform::PathKind::missing:
      return "cannot be made";
    default:
      return "exists and is not a folder";
  }
}

std::string Plan::target(const PlannedSeries& s, const PlannedFile& f) const {
  std::string out;
  targetInto(out, s, f);
  return out;
}

void Plan::targetInto(std::string& out, const PlannedSeries& s, const PlannedFile& f) const {
  if (s.hasFolder) {
    platform::joinPathInto(out, s.folderName, f.newName);
  } else {
    out.assign(f.newName);
  }
}

bool Plan::changesSomething() const {
  if (!described.empty()) return true;
  for (const PlannedSeries& s : series) {
    if (s.hasFolder && s.refusal.empty() && !s.folderListed) return true;
    if (!s.refusal.empty()) continue;
    for (size_t i = s.firstFile; i < s.endFile; ++i) {
      if (moves(s, files[i]) && files[i].foreseen == Foresight::none) return true;
    }
  }
  return false;
}

namespace {

// Whether a name the pass lists is given a step: not one of a series 0, nor
// one without a first piece.
bool takesPart(const scan::NameFields& fields) {
  return !fields[0].empty() && fields[scan::kSeriesField] != "0";
}

}  // namespace

Plan makePlan(Listing listing, PlanOptions options) {
  Plan plan;
  scan::SeriesIndex& index = listing.index;
  plan.store = index.store();
  auto ownNames = std::make_shared<platform::NameStore>();

  // What the loaded folder holds, name by name, as the passes leave it; and
  // what each series folder receives. Names are compared as the folder
  // compares them.
  const platform::NameHash hash{options.foldsCase};
  const platform::NameEqual equal{options.foldsCase};
  platform::NameSet<std::string_view> top(0, hash, equal);
  platform::NameMap<std::string_view, platform::PathKind> otherKinds(0, hash, equal);
  const std::vector<std::string_view> listed = index.names();
  plan.files.reserve(listed.size());  // mostly one step each: no room grown to spare
  for (const std::string_view name : listed) top.insert(name);
  for (const auto& [name, kind] : listing.others) {
    top.insert(name);
    otherKinds.emplace(name, kind);
  }
  platform::NameMap<std::string, platform::NameSet<std::string_view>> movedInto(0, hash, equal);
  platform::NameSet<std::string> foldersMade(0, hash, equal);

  std::vector<std::string_view> names;
  std::vector<scan::SeriesIndex::Id> ids;
  std::vector<scan::NameFields> passFields;
  std::unordered_set<std::string> described;
  NumberWidth seriesWidth(options.seriesCount, options.sortableWidths);
  for (const std::string& text : options.list1) seriesWidth.take(text);
  for (const std::string& text : options.list1) {
    PlannedSeries& s = plan.series.emplace_back();
    s.text = text;
    s.padWidth = seriesWidth.padWidth(text);
    s.padded = padded(text, s.padWidth);
    s.hasFolder = options.folders && seriesGetsFolder(s.padded);
    s.folderName = seriesFolderName(options.folderBaseName, s.padded);
    if (s.hasFolder) {
      s.refusal = unsafeFolderName(s.folderName);
      const auto other = otherKinds.find(s.folderName);
      s.folderListed = other != otherKinds.end() || top.count(s.folderName) != 0;
      if (!s.refusal.empty()) {
        // refused by its name
      } else if (other != otherKinds.end()) {
        if (other->second != platform::PathKind::folder) s.refusal = notAFolder(other->second);
      } else if (s.folderListed && foldersMade.count(s.folderName) == 0) {
        s.refusal = notAFolder(platform::PathKind::file);  // a file of the listing
      } else {
        foldersMade.insert(s.folderName);
      }
    }

    // Its full names, or failing those its short ones, each selected by its
    // own fourth piece.
    index.seriesNames(text, scan::kFullNamePieces, names, ids);
    if (names.empty()) index.seriesNames(text, scan::kShortNamePieces, names, ids);
    s.listed = static_cast<int>(names.size());
    s.firstFile = plan.files.size();
    auto& received = movedInto.try_emplace(s.folderName, 0, hash, equal).first->second;
    // The slice width of the pass's files, from their count and slices.
    NumberWidth sliceWidths(s.listed, options.sortableWidths);
    passFields.resize(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
      scan::splitImaFileName(names[i], passFields[i]);
      if (takesPart(passFields[i])) sliceWidths.take(passFields[i][scan::kSliceField]);
    }
    for (size_t i = 0; i < names.size(); ++i) {
      const std::string_view name = names[i];
      const scan::NameFields& fields = passFields[i];
      if (!takesPart(fields)) continue;
      const int sliceWidth = sliceWidths.padWidth(fields[scan::kSliceField]);
      // The file's own series piece takes the zeros: it may differ from the
      // series text in letter case only.
      const std::string newName =
          newFileName(fields, padded(fields[scan::kSeriesField], s.padWidth),
                      padded(fields[scan::kSliceField], sliceWidth), name, options.shortNames);
      PlannedFile f{ids[i],
                    name,
                    {},
                    fields[scan::kSliceField],
                    s.padWidth > 0 || sliceWidth > 0 || options.shortNames || options.folders,
                    Foresight::none};
      if (f.renamed && options.describe && s.hasFolder && s.refusal.empty() &&
          described.insert(s.folderName).second) {
        plan.described.push_back(s.folderName);
      }
      const bool moving = f.renamed && (s.hasFolder || name != newName);
      if (moving && s.refusal.empty() && static_cast<long>(newName.size()) > options.nameLimit) {
        f.foreseen = Foresight::tooLong;
      } else if (moving && s.refusal.empty() && s.hasFolder) {
        if (received.count(newName) != 0) {
          f.foreseen = Foresight::taken;
        } else {
          f.newName = ownNames->add(newName);
          received.insert(f.newName);
          top.erase(name);
          index.renamed(f.id, {});
        }
      } else if (moving && s.refusal.empty()) {
        if (top.count(newName) != 0) {
          f.foreseen = Foresight::taken;
        } else {
          top.erase(name);
          f.newName = index.renamed(f.id, newName);
          top.insert(f.newName);
        }
      }
      if (f.newName.empty()) f.newName = name == newName ? name : ownNames->add(newName);
      plan.files.push_back(f);
    }
    s.endFile = plan.files.size();
  }
  plan.options = std::move(options);
  plan.ownNames = std::move(ownNames);
  return plan;
}

}  // namespace slicery::rename
