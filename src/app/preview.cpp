// The preview of the run Start would make now, worked out as Start works it
// out: the folder read afresh, the same options, the same last run.
#include "run/preview.h"
#include "app/form1.h"

namespace slicery::app {

using platform::Status;

Preview Form1::preview() {
  Preview p;
  p.folder = File2.path();
  if (busy_ || p.folder.empty()) return p;
  // As Start: the list of the load must hold files, the folder is read
  // afresh, and the folder's last run must allow a run.
  if (File2.count() == 0) {
    p.refusal = "No IMA Files!";
    return p;
  }
  if (startRereads_) {
    if (const Status read = readLoadedFolder(p.folder); !read) {
      p.refusal = "the folder cannot be listed: " + read.reason();
      return p;
    }
  }
  const rename::Plan plan = rename::makePlan(listing_, planOptions());
  p = run::preview(plan, runTarget(nullptr), File2.count());
  if (journaling_) {
    if (const journal::LastRun last = lastRun(); !last.allowsRun()) p.refusal = last.reason() + ".";
  }
  return p;
}

}  // namespace slicery::app
