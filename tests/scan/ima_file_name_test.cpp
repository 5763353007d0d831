#include "scan/ima_file_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace slicery::scan {
namespace {

struct SplitCase {
  std::string name;
  std::vector<std::string> leading;  // the expected first fields; the rest are empty
};

class SplitTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitTest, FillsTheLeadingFieldsAndEmptiesTheRest) {
  NameFields fields;
  fields.fill("stale");
  splitImaFileName(GetParam().name, fields);
  const auto& leading = GetParam().leading;
  for (int k = 0; k < kNameFieldCount; ++k) {
    const std::string expected = k < static_cast<int>(leading.size()) ? leading[k] : "";
    EXPECT_EQ(fields[k], expected) << "field " << k << " of '" << GetParam().name << "'";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, SplitTest,
    ::testing::Values(
        SplitCase{"ANON.MR.HEAD_ROUTINE.2.17.2003.05.27.10.11.12.123456.1234567.IMA",
                  {"ANON", "MR", "HEAD_ROUTINE", "2", "17", "2003", "05", "27", "10", "11", "12",
                   "123456", "1234567", "IMA"}},
        SplitCase{"", {}}, SplitCase{"nofullstop", {"nofullstop"}}, SplitCase{"A.B", {"A", "B"}},
        SplitCase{"A..B", {"A", "", "B"}}, SplitCase{".A", {"", "A"}}, SplitCase{"A.", {"A"}},
        SplitCase{"a.b.c.d.e.f.g.h.i.j.k.l.m.n.o.p",
                  {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n"}},
        SplitCase{"a.b.c.d.e.f.g.h.i.j.k.l.m.n.",
                  {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n"}},
        SplitCase{"P.MR.S.0002.0017.IMA", {"P", "MR", "S", "0002", "0017", "IMA"}},
        SplitCase{"x.Y.z.007", {"x", "Y", "z", "007"}},
        SplitCase{"with space.\xc3\xa9t\xc3\xa9.3", {"with space", "\xc3\xa9t\xc3\xa9", "3"}},
        SplitCase{"..............", {}}));

TEST(Split, ASecondNameLeavesNothingOfTheFirst) {
  NameFields fields;
  splitImaFileName("ANON.MR.HEAD_ROUTINE.2.17.2003.05.27.10.11.12.123456.1234567.IMA", fields);
  splitImaFileName("A.B", fields);
  EXPECT_EQ(fields[0], "A");
  EXPECT_EQ(fields[1], "B");
  for (int k = 2; k < kNameFieldCount; ++k) EXPECT_EQ(fields[k], "") << k;
}

TEST(Split, LongNamesAreSplitWhole) {
  const std::string piece(4000, 'x');
  std::string name;
  for (int i = 0; i < 10; ++i) name += piece + ".";
  NameFields fields;
  splitImaFileName(name, fields);
  for (int k = 0; k < 10; ++k) EXPECT_EQ(fields[k], piece) << k;
  EXPECT_EQ(fields[10], "");
}

}  // namespace
}  // namespace slicery::scan
