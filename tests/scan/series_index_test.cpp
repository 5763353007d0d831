// The series index answers as re-reading the folder would, as the run's own
// renames change it.
#include "scan/series_index.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/ima_file_name.h"

namespace slicery::scan {
namespace {

using Names = std::vector<std::string>;

platform::FileSystem::Entries files(const Names& names) {
  platform::FileSystem::Entries listed;
  for (const std::string& name : names) listed.emplace_back(name, platform::PathKind::file);
  return listed;
}

Names seriesOf(SeriesIndex& index, const std::string& series, int leastPieces) {
  std::vector<std::string_view> names;
  std::vector<SeriesIndex::Id> ids;
  index.seriesNames(series, leastPieces, names, ids);
  return {names.begin(), names.end()};
}

Names namesOf(SeriesIndex& index) {
  const std::vector<std::string_view> names = index.names();
  return {names.begin(), names.end()};
}

TEST(SeriesIndexTest, SelectsByTheFourthPieceAloneInListOrder) {
  SeriesIndex index;
  index.assign(files({"b.x.y.1.2.a.b.c.d.e.f.g.h.IMA", "A.x.y.1.10.a.b.c.d.e.f.g.h.ima",
                      "A.x.y.2.1.a.b.c.d.e.f.g.1.IMA",  // a 1 in a later piece
                      "A.x.y.1.3.IMA", "A.x.y.*.1.a.b.c.d.e.f.g.h.IMA", "notes.txt", "A.x.y.1.ima",
                      "A.x.y.1.4.a.b.c.d.e.f.g.h.IMA.bak"}));
  EXPECT_EQ(seriesOf(index, "1", kFullNamePieces),
            (Names{"A.x.y.1.10.a.b.c.d.e.f.g.h.ima", "b.x.y.1.2.a.b.c.d.e.f.g.h.IMA"}));
  EXPECT_EQ(
      seriesOf(index, "1", kShortNamePieces),
      (Names{"A.x.y.1.10.a.b.c.d.e.f.g.h.ima", "A.x.y.1.3.IMA", "b.x.y.1.2.a.b.c.d.e.f.g.h.IMA"}));
  // A star is a series text like any other, never a wildcard.
  EXPECT_EQ(seriesOf(index, "*", kFullNamePieces), (Names{"A.x.y.*.1.a.b.c.d.e.f.g.h.IMA"}));
  EXPECT_EQ(index.names().size(), 6u);  // the .ima names only
}

TEST(SeriesIndexTest, RenamesMoveNamesBetweenSeriesAndKeepTheOrder) {
  SeriesIndex index;
  index.assign(files({"P.M.A.1.2.IMA", "P.M.A.1.1.IMA", "P.M.A.01.3.IMA", "P.M.A.2.1.IMA"}));
  std::vector<std::string_view> names;
  std::vector<SeriesIndex::Id> ids;
  index.seriesNames("1", kShortNamePieces, names, ids);
  ASSERT_EQ(Names(names.begin(), names.end()), (Names{"P.M.A.1.1.IMA", "P.M.A.1.2.IMA"}));
  index.renamed(ids[0], "P.M.A.01.1.IMA");  // in place, now series 01
  index.renamed(ids[1], "");                // moved into a series folder
  EXPECT_EQ(seriesOf(index, "1", kShortNamePieces), Names{});
  EXPECT_EQ(seriesOf(index, "01", kShortNamePieces), (Names{"P.M.A.01.1.IMA", "P.M.A.01.3.IMA"}));
  EXPECT_EQ(namesOf(index), (Names{"P.M.A.01.1.IMA", "P.M.A.01.3.IMA", "P.M.A.2.1.IMA"}));
  // A rename that keeps the series lists the file once, in its new place.
  index.seriesNames("2", kShortNamePieces, names, ids);
  index.renamed(ids[0], "P.M.A.2.01.IMA");
  EXPECT_EQ(seriesOf(index, "2", kShortNamePieces), (Names{"P.M.A.2.01.IMA"}));
  // Renames no series was asked about since go with a copy, and a name
  // renamed twice meanwhile is in the series of its last name only.
  index.seriesNames("01", kShortNamePieces, names, ids);
  index.renamed(ids[0], "P.M.A.3.1.IMA");
  index.renamed(ids[0], "P.M.A.4.1.IMA");
  SeriesIndex copy = index;
  EXPECT_EQ(seriesOf(copy, "3", kShortNamePieces), Names{});
  EXPECT_EQ(seriesOf(copy, "4", kShortNamePieces), (Names{"P.M.A.4.1.IMA"}));
  EXPECT_EQ(seriesOf(copy, "01", kShortNamePieces), (Names{"P.M.A.01.3.IMA"}));
}

TEST(SeriesIndexTest, NamesHandedOutOutliveRenamesAndTheNextReading) {
  // The file list keeps the names of a reading while the index moves on.
  SeriesIndex index;
  index.assign(files({"P.M.A.1.2.IMA", "P.M.A.1.1.IMA"}));
  const std::shared_ptr<const platform::NameStore> kept = index.store();
  const std::vector<std::string_view> listed = index.names();
  std::vector<std::string_view> names;
  std::vector<SeriesIndex::Id> ids;
  index.seriesNames("1", kShortNamePieces, names, ids);
  index.renamed(ids[0], "P.M.A.01.01.IMA");
  index.assign(files({"Q.M.A.7.1.IMA"}));
  index.clear();
  EXPECT_EQ(Names(listed.begin(), listed.end()), (Names{"P.M.A.1.1.IMA", "P.M.A.1.2.IMA"}));
}

}  // namespace
}  // namespace slicery::scan
