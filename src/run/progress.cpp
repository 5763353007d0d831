#include "run/progress.h"

namespace slicery::run {

std::vector<Step> stepsOf(const rename::Plan& plan, platform::NameStore& targets) {
  std::size_t count = 0;
  for (const rename::PlannedSeries& s : plan.series) {
    for (std::size_t i = s.firstFile; i < s.endFile; ++i) count += plan.moves(s, plan.files[i]);
  }
  std::vector<Step> steps;
  steps.reserve(count);
  std::string target;
  for (const rename::PlannedSeries& s : plan.series) {
    for (std::size_t i = s.firstFile; i < s.endFile; ++i) {
      const rename::PlannedFile& f = plan.files[i];
      if (!plan.moves(s, f)) continue;
      std::string_view to = f.newName;
      if (s.hasFolder) {
        plan.targetInto(target, s, f);
        to = targets.add(target);
      }
      steps.push_back({f.oldName, to, static_cast<std::uint32_t>(i)});
    }
  }
  return steps;
}

Progress judge(const std::vector<Step>& steps, const NameVisits& listed, const NameVisits& present,
               const std::function<bool(std::uint32_t)>& failed) {
  // Each name the steps touch, once: whether it stood before the run, stands
  // as replayed and on the disk, and how many steps touch it.
  struct Name {
    bool listed = false;
    bool replayed = false;
    bool onDisk = false;
    int uses = 0;
    bool chained = false;
  };
  platform::NameMap<std::string_view, Name> names;
  names.reserve(steps.size() * 2);
  const auto add = [&](std::string_view name) {
    Name& state = names[name];
    ++state.uses;
    return &state;
  };
  std::vector<std::pair<Name*, Name*>> touched;
  touched.reserve(steps.size());
  for (const Step& step : steps) {
    Name* from = add(step.from);
    touched.emplace_back(from, add(step.to));
  }
  listed([&](std::string_view name) {
    if (const auto it = names.find(name); it != names.end()) it->second.listed = true;
  });
  present([&](std::string_view name) {
    if (const auto it = names.find(name); it != names.end()) it->second.onDisk = true;
  });
  Progress progress;
  for (auto& [name, state] : names) {
    state.replayed = state.listed;
    progress.mismatchesAtStart += state.replayed != state.onDisk ? 1 : 0;
  }

  // Replays the steps, counting the names of chained steps (those that
  // share a name with another) where the replay and the disk differ after
  // each prefix; the latest prefix with the fewest wins (a step that changed
  // nothing leaves the count as it was).
  for (const auto& [from, to] : touched) {
    if (from->uses > 1 || to->uses > 1) from->chained = to->chained = true;
  }
  const auto shared = [](const Name& n) { return n.chained; };
  std::size_t mismatches = 0;
  for (const auto& [name, state] : names) {
    mismatches += shared(state) && state.replayed != state.onDisk ? 1 : 0;
  }
  const auto set = [&](Name& name, bool stands) {
    if (shared(name)) mismatches -= name.replayed != name.onDisk ? 1 : 0;
    name.replayed = stands;
    if (shared(name)) mismatches += name.replayed != name.onDisk ? 1 : 0;
  };
  // A rename never replaces: it takes effect only where its file stands
  // under the old name and nothing under the new one.
  const auto takesEffect = [&](std::size_t k) {
    const auto [from, to] = touched[k];
    return !failed(steps[k].file) && from->replayed && !to->replayed && from != to;
  };
  std::size_t best = mismatches;
  for (std::size_t k = 0; k < steps.size(); ++k) {
    if (takesEffect(k)) {
      set(*touched[k].first, false);
      set(*touched[k].second, true);
    }
    if (mismatches <= best) {
      best = mismatches;
      progress.taken = k + 1;
    }
  }

  // Replayed again up to that prefix, each step judged.
  for (auto& [name, state] : names) state.replayed = state.listed;
  progress.outcomes.resize(steps.size(), Outcome::untried);
  for (std::size_t k = 0; k < steps.size(); ++k) {
    Name& from = *touched[k].first;
    Name& to = *touched[k].second;
    Outcome& outcome = progress.outcomes[k];
    if (from.uses == 1 && to.uses == 1) {
      // Its own names tell.
      if (failed(steps[k].file)) {
        outcome = Outcome::noEffect;
      } else if (to.onDisk) {
        outcome = from.onDisk ? Outcome::blocked : Outcome::inEffect;
      }
    } else if (k < progress.taken) {
      const bool effect = takesEffect(k);
      if (effect) {
        from.replayed = false;
        to.replayed = true;
      }
      outcome = effect ? Outcome::inEffect : Outcome::noEffect;
    } else if (from.replayed && !from.onDisk && !to.replayed && to.onDisk) {
      // Later, but shown done all the same: taken out of turn.
      outcome = Outcome::inEffect;
    }
  }
  return progress;
}

}  // namespace slicery::run
