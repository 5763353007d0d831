#include "scan/ima_file_name.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
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

// Names of every length up to a few words, made of bytes that look alike to
// a test of eight bytes at once: full stops, '/' (one bit from '.'), '.'
// with its top bit set, NUL. Each is cut as a byte-by-byte loop cuts it.
TEST(Split, EightBytesAtATimeCutWhereTheBytesDo) {
  const auto byByte = [](std::string_view name) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    for (size_t i = 0; i <= name.size() && pieces.size() < kNameFieldCount; ++i) {
      if (i == name.size() || name[i] == '.') {
        pieces.push_back(name.substr(start, i - start));
        start = i + 1;
      }
    }
    pieces.resize(kNameFieldCount);
    return pieces;
  };
  const char bytes[] = {'.', 'a', '/', '\xAE', '\0', '.', '7'};
  std::uint32_t seed = 1;
  NameFields fields;
  for (int n = 0; n < 20000; ++n) {
    std::string name;
    seed = seed * 1664525u + 1013904223u;
    const size_t length = (seed >> 8) % 41;
    for (size_t i = 0; i < length; ++i) {
      seed = seed * 1664525u + 1013904223u;
      name.push_back(bytes[(seed >> 16) % sizeof bytes]);
    }
    splitImaFileName(name, fields);
    ASSERT_EQ(std::vector<std::string_view>(fields.begin(), fields.end()), byByte(name))
        << "name of " << length << " bytes, case " << n;
  }
}

}  // namespace
}  // namespace slicery::scan
