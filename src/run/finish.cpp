#include "run/finish.h"

#include <algorithm>
#include <cerrno>
#include <unordered_set>

#include "journal/recorded_intent.h"

namespace slicery::run {

using platform::PathKind;
using platform::Status;

namespace {

// The planned files whose step the run recorded as failed.
std::unordered_set<std::uint32_t> failedSteps(const journal::Contents& contents) {
  std::unordered_set<std::uint32_t> failed;
  for (const journal::Pass& pass : contents.passes) {
    failed.insert(pass.failed.begin(), pass.failed.end());
  }
  for (const journal::Failure& failure : contents.failures) failed.insert(failure.file);
  return failed;
}

}  // namespace

bool listedBefore(const journal::Contents& contents, std::string_view name) {
  for (const auto& [entry, kind] : contents.header.listing.others) {
    if (platform::NameEqual{}(entry, name)) return true;
  }
  return false;
}

void settleLastIntent(const journal::Contents& contents, platform::OpenFolder& loaded) {
  if (contents.intents.empty()) return;
  const journal::Intent& last = contents.intents.back();
  if (last.kind == journal::Intent::Kind::folderRenaming ||
      loaded.kind(last.from) == PathKind::missing || loaded.kind(last.to) == PathKind::missing) {
    return;
  }
  if (last.kind == journal::Intent::Kind::cutMove) {
    loaded.completeCutMove(last.from, last.to);
  } else {
    loaded.removePlaceholder(last.to);
  }
}

JudgedRun judgeRun(platform::FileSystem& fs, const std::string& folder, const rename::Plan& plan,
                   const scan::SeriesIndex& listing, const journal::Contents& contents,
                   const DescribedFolders& described) {
  JudgedRun judged;
  judged.steps = stepsOf(plan, judged.targets);
  // What stands now: the loaded folder's entries and each series folder's,
  // spelled as the steps spell them.
  // Read as they are listed: a folder of many files is not held twice.
  const auto present = [&](const std::function<void(std::string_view)>& name) {
    fs.visitEntries(folder, [&name](std::string_view entry, PathKind) { name(entry); });
    std::unordered_set<std::string> listedFolders;
    std::string joined;
    for (const rename::PlannedSeries& s : plan.series) {
      if (!s.hasFolder || !listedFolders.insert(s.folderName).second) continue;
      const auto renamed = described.find(s.folderName);
      const std::string now = renamed == described.end() ? s.folderName : renamed->second;
      fs.visitEntries(platform::joinPath(folder, now), [&](std::string_view entry, PathKind) {
        platform::joinPathInto(joined, s.folderName, entry);
        name(joined);
      });
    }
  };
  const auto listed = [&](const std::function<void(std::string_view)>& name) {
    for (const std::string_view listedName : listing.names()) name(listedName);
    for (const auto& [other, kind] : contents.header.listing.others) name(other);
  };
  const std::unordered_set<std::uint32_t> failed = failedSteps(contents);
  judged.progress = judge(judged.steps, listed, present,
                          [&](std::uint32_t file) { return failed.count(file) != 0; });
  for (const journal::Failure& failure : contents.failures) {
    judged.reasons.try_emplace(failure.file, failure.reason);
  }
  return judged;
}

std::vector<const journal::Intent*> removeFolderPlaceholders(const journal::Contents& contents,
                                                             platform::OpenFolder& loaded) {
  std::vector<const journal::Intent*> both;
  for (const journal::Intent& intent : contents.intents) {
    // A folder that stood there before the run is the user's, never the
    // run's placeholder. Of two that stand, the empty one goes: the run's
    // placeholder at the new name, or an undo's at the old one.
    if (intent.kind == journal::Intent::Kind::folderRenaming &&
        !listedBefore(contents, intent.to) && loaded.kind(intent.from) == PathKind::folder &&
        loaded.kind(intent.to) == PathKind::folder && !loaded.removePlaceholder(intent.to) &&
        !loaded.removePlaceholder(intent.from)) {
      both.push_back(&intent);
    }
  }
  return both;
}

DescribedFolders describedFolders(platform::FileSystem& fs, const std::string& folder,
                                  const rename::Plan& plan, const journal::Contents& contents,
                                  platform::OpenFolder& loaded) {
  DescribedFolders described;
  for (const journal::Intent& intent : contents.intents) {
    if (intent.kind == journal::Intent::Kind::folderRenaming &&
        !listedBefore(contents, intent.to) && loaded.kind(intent.from) == PathKind::missing &&
        loaded.kind(intent.to) == PathKind::folder) {
      described[intent.from] = intent.to;
    }
  }
  // A renaming the journal lost: the one folder named "<description>_" and
  // the series folder's name, where that name is gone, that was not there
  // before the run.
  std::unordered_map<std::string, std::vector<std::string>> candidates;
  for (const rename::PlannedSeries& s : plan.series) {
    if (s.hasFolder && s.refusal.empty() && described.count(s.folderName) == 0 &&
        loaded.kind(s.folderName) == PathKind::missing) {
      candidates.try_emplace(s.folderName);
    }
  }
  if (candidates.empty()) return described;
  platform::FileSystem::Entries entries;
  if (!fs.listEntries(folder, entries)) return described;
  std::unordered_set<std::string_view> before;
  for (const auto& [name, kind] : contents.header.listing.others) before.insert(name);
  for (const auto& [name, kind] : entries) {
    if (kind != PathKind::folder || before.count(name) != 0) continue;
    for (auto& [series, found] : candidates) {
      if (name.size() > series.size() + 1 &&
          name.compare(name.size() - series.size(), series.size(), series) == 0 &&
          name[name.size() - series.size() - 1] == '_') {
        found.push_back(name);
      }
    }
  }
  for (auto& [series, found] : candidates) {
    if (found.size() == 1) described[series] = found.front();
  }
  return described;
}

Finish prepareFinish(platform::FileSystem& fs, const std::string& folder, const rename::Plan& plan,
                     const scan::SeriesIndex& listing, const journal::Contents& contents,
                     platform::OpenFolder& loaded) {
  settleLastIntent(contents, loaded);
  // A placeholder of a folder renaming cut short goes, so it can be done; a
  // folder renaming that stays in the way is told when it is tried.
  removeFolderPlaceholders(contents, loaded);
  Finish finish;
  finish.described = describedFolders(fs, folder, plan, contents, loaded);
  JudgedRun judged = judgeRun(fs, folder, plan, listing, contents, finish.described);
  finish.steps.assign(plan.files.size(), Finish::untried);
  for (std::size_t k = 0; k < judged.steps.size(); ++k) {
    const Outcome outcome = judged.progress.outcomes[k];
    if (outcome == Outcome::inEffect) {
      finish.steps[judged.steps[k].file] = Finish::done;
    } else if (outcome == Outcome::noEffect) {
      finish.steps[judged.steps[k].file] = Finish::failed;
    }
  }
  finish.reasons = std::move(judged.reasons);
  return finish;
}

Undone undo(const rename::Plan& plan, const scan::SeriesIndex& listing,
            const journal::Contents& contents, const Target& t, UndoObserver& observer) {
  Undone out;
  platform::OpenFolder& loaded = *t.open;
  const auto full = [&t](const std::string& name) { return platform::joinPath(t.folder, name); };
  const auto fail = [&out, &full](const std::string& now, const std::string& before,
                                  std::string reason) {
    out.failures.push_back(
        {full(now), before.empty() ? std::string() : full(before), std::move(reason)});
  };

  settleLastIntent(contents, loaded);
  for (const journal::Intent* both : removeFolderPlaceholders(contents, loaded)) {
    fail(both->to, both->from, "cannot be put back: both names exist");
  }
  const DescribedFolders described = describedFolders(*t.fs, t.folder, plan, contents, loaded);
  const JudgedRun judged = judgeRun(*t.fs, t.folder, plan, listing, contents, described);
  const std::vector<Step>& steps = judged.steps;
  // Steps that took effect go back; so do those whose old name someone took
  // since, which is then told.
  std::vector<bool> inEffect(steps.size());
  for (std::size_t k = 0; k < steps.size(); ++k) {
    inEffect[k] = judged.progress.outcomes[k] == Outcome::inEffect ||
                  judged.progress.outcomes[k] == Outcome::blocked;
  }
  out.steps = static_cast<int>(std::count(inEffect.begin(), inEffect.end(), true));
  observer.undoBegins(out.steps);

  // The series folders named after their description go back first.
  for (const auto& [from, to] : described) {
    if (const Status back = loaded.renameFolder(to, from); !back) {
      fail(to, from, "cannot be put back: " + back.reason());
    } else {
      ++out.putBack;
      observer.folderPutBack(full(to), full(from));
    }
  }

  // The files, newest step first.
  std::vector<std::size_t> seriesOf(plan.files.size(), 0);
  for (std::size_t si = 0; si < plan.series.size(); ++si) {
    for (std::size_t i = plan.series[si].firstFile; i < plan.series[si].endFile; ++i) {
      seriesOf[i] = si;
    }
  }
  const std::size_t fileFailuresFrom = out.failures.size();
  // The steps to put back in each series, counted once for its bar.
  std::vector<int> toPutBack(plan.series.size(), 0);
  for (std::size_t k = 0; k < steps.size(); ++k) {
    if (inEffect[k]) ++toPutBack[seriesOf[steps[k].file]];
  }
  std::size_t shownSeries = plan.series.size();
  std::string from;
  std::string to;
  for (std::size_t k = steps.size(); k-- > 0;) {
    if (!inEffect[k]) continue;
    if (observer.undoStopWanted()) {
      out.stopped = true;
      break;
    }
    const Step& step = steps[k];
    if (seriesOf[step.file] != shownSeries) {
      shownSeries = seriesOf[step.file];
      observer.undoSeriesBegins(plan.series[shownSeries], toPutBack[shownSeries]);
    }
    observer.undoStepBegins(plan.files[step.file]);
    from.assign(step.from);
    to.assign(step.to);
    journal::RecordedIntent intent(t.journal, to, from);
    if (const Status back = loaded.renameFile(to, from, &intent); back) {
      ++out.putBack;
      observer.filePutBack(full(to), full(from));
    } else if (back.code() == EEXIST) {
      fail(to, from, "cannot be put back: its old name is taken too; neither is replaced");
    } else if (back.code() == ENOENT) {
      fail(to, from, "cannot be put back: the file is at neither its old nor its new name");
    } else {
      fail(to, from, "cannot be put back: " + back.reason());
    }
  }

  out.stopped = out.stopped || observer.undoStopWanted();
  // The series folders the run made, once empty; a stopped undo leaves them
  // for the rest. A folder that was there before the run stays.
  std::unordered_set<std::string> removed;
  for (const rename::PlannedSeries& s : plan.series) {
    if (out.stopped || !s.hasFolder || !s.refusal.empty() || s.folderListed ||
        listedBefore(contents, s.folderName) || !removed.insert(s.folderName).second ||
        loaded.kind(s.folderName) != PathKind::folder) {
      continue;
    }
    if (const Status gone = loaded.removeEmptyFolder(s.folderName); !gone) {
      fail(s.folderName, {},
           "the series folder made by the run cannot be removed: " + gone.reason());
    } else {
      ++out.foldersRemoved;
    }
  }
  // Whatever records were lost: once the disk shows every name of the run
  // back as it was, nothing is left to undo.
  if (!out.stopped && out.failures.size() > fileFailuresFrom && contents.damage.empty() &&
      judgeRun(*t.fs, t.folder, plan, listing, contents, {}).progress.mismatchesAtStart == 0) {
    out.failures.erase(out.failures.begin() + static_cast<std::ptrdiff_t>(fileFailuresFrom),
                       out.failures.end());
  }
  return out;
}

}  // namespace slicery::run
