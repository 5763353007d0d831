// Pad widths, zeros and the three rules for a new file name.
#include "rename/new_name.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/escape.h"

namespace slicery::rename {
namespace {

struct PadCase {
  int count;
  std::string text;
  int width;
  std::string padded;
};

TEST(PadTest, WidthFollowsTheCountsDigitsNotTheLargestNumber) {
  const PadCase cases[] = {
      {12, "2", 1, "02"},       {12, "12", 0, "12"},
      {12, "101", -1, "101"},   {120, "5", 2, "005"},
      {120, "17", 1, "017"},    {120, "120", 0, "120"},
      {40, "3", 1, "03"},       {9, "4", 0, "4"},
      {3, "10", -1, "10"},      {50, "101", -1, "101"},
      {12, "03", 0, "03"},      {0, "7", 0, "7"},
      {32767, "1", 4, "00001"}, {100000, "7", 5, "000007"},
      {12, "", 2, "00"},        {120, "\xC3\xA4", 2, "00\xC3\xA4"},  // one character of two bytes
  };
  for (const PadCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.count) + " / " + c.text);
    EXPECT_EQ(padWidth(c.count, c.text), c.width);
    EXPECT_EQ(padded(c.text, c.width), c.padded);
  }
}

// The widths that sort: numbers with gaps widen them to the longest number,
// numbers without keep the count's digits, and only numbers in decimal digits
// count; the old rule is the count's digits alone.
TEST(PadTest, SortableWidthsTakeTheLongestNumber) {
  const auto widthOf = [](int count, bool sortable, std::vector<std::string_view> numbers) {
    NumberWidth width(count, sortable);
    for (const std::string_view number : numbers) width.take(number);
    return width.width();
  };
  EXPECT_EQ(widthOf(3, true, {"1", "2", "100"}), 3);
  EXPECT_EQ(widthOf(3, false, {"1", "2", "100"}), 1);
  EXPECT_EQ(widthOf(5, true, {"1", "5", "9", "10", "12"}), 2);
  EXPECT_EQ(widthOf(90, true, {"1", "105"}), 3);
  EXPECT_EQ(widthOf(120, true, {"1", "17", "120"}), 3);
  EXPECT_EQ(widthOf(12, true, {"3", "12"}), 2);  // no gaps: the count's digits
  EXPECT_EQ(widthOf(2, true, {"007", "1"}), 3);  // as written, zeros included
  EXPECT_EQ(widthOf(2, true, {"localizer", "-100", "1 000", "\xD9\xA1\xD9\xA2"}), 1);
}

TEST(FolderDescriptionTest, CharactersSomeDisksRefuseBecomeUnderscores) {
  EXPECT_EQ(folderDescription("T2*"), "T2_");
  EXPECT_EQ(folderDescription("a:b?"), "a_b_");
  EXPECT_EQ(folderDescription("\\/:*?\"<>|"), "_________");
  EXPECT_EQ(folderDescription("SAG_T2_FSE"), "SAG_T2_FSE");
  // Only those: letters beyond ASCII and control characters stay, the
  // latter for unsafeFolderName to refuse.
  EXPECT_EQ(folderDescription("\xC3\x9C\x01"), "\xC3\x9C\x01");
  EXPECT_NE(unsafeFolderName(folderDescription("T2\n*") + "_Series_S01"), "");
  // Accepted on every platform, Windows too (these tests run under Wine).
  for (const char* description : {"T2*", "a:b?", "AX/COR_T2*", "\\\"<>|"}) {
    EXPECT_EQ(unsafeFolderName(folderDescription(description) + "_Series_S01"), "") << description;
  }
}

scan::NameFields fieldsOf(std::string_view name) {
  scan::NameFields fields;
  scan::splitImaFileName(name, fields);
  return fields;
}

struct NameCase {
  std::string oldName;
  bool shortForm;
  std::string expected;
};

TEST(NewFileNameTest, FullShortAndAlreadyShortNames) {
  const std::string full = "ANON.MR.HEAD_ROUTINE.2.17.2003.05.27.10.11.12.123456.1234567.IMA";
  const NameCase cases[] = {
      {full, false, "ANON.MR.HEAD_ROUTINE.02.017.2003.05.27.10.11.12.123456.1234567.IMA"},
      {full, true, "ANON.MR.HEAD_ROUTINE.02.017.IMA"},
      // Already short: kept whatever the option says, even unpadded.
      {"ANON.MR.HEAD_ROUTINE.2.17.IMA", true, "ANON.MR.HEAD_ROUTINE.2.17.IMA"},
      {"ANON.MR.HEAD_ROUTINE.2.17.IMA", false, "ANON.MR.HEAD_ROUTINE.2.17.IMA"},
      // Only the exact upper-case "IMA" marks a short name.
      {"ANON.MR.HEAD_ROUTINE.2.17.ima", true, "ANON.MR.HEAD_ROUTINE.02.017.ima"},
      {"ANON.MR.HEAD_ROUTINE.2.17.Ima", false, "ANON.MR.HEAD_ROUTINE.02.017.Ima"},
      // More or fewer than fourteen pieces: nothing but the series and slice
      // pieces changes, and the extension stays (a full stop inside a piece
      // must not cost the file its .IMA).
      {full + ".extra.IMA", false,
       "ANON.MR.HEAD_ROUTINE.02.017.2003.05.27.10.11.12.123456.1234567.IMA.extra.IMA"},
      {full + ".extra.IMA", true, "ANON.MR.HEAD_ROUTINE.02.017.IMA"},
      {"A.B.C.2.17.f5.f6.f7.f8.ima", false, "A.B.C.02.017.f5.f6.f7.f8.ima"},
      {"A.B.C.2.17.f5.f6.f7.f8.ima", true, "A.B.C.02.017.ima"},
      // Without a piece after the slice there is no extension to keep.
      {"A.B.C.2.17", false, "A.B.C.2.17"},
      // Empty fields keep their full stops.
      {"A..C.2.17.......f11.f12.ima", false, "A..C.02.017.......f11.f12.ima"},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.oldName + (c.shortForm ? " short" : " full"));
    EXPECT_EQ(newFileName(fieldsOf(c.oldName), "02", "017", c.oldName, c.shortForm), c.expected);
  }
}

TEST(NewFileNameTest, SeriesFieldIsThePaddedSeriesNotTheOldField) {
  // A series text of 2 handles a name whose fourth field is 2 only, but the
  // new name takes the padded text it was given.
  EXPECT_EQ(newFileName(fieldsOf("P.MR.S.2.1.IMA.x"), "002", "1", "P.MR.S.2.1.IMA.x", true),
            "P.MR.S.2.1.IMA.x");
  EXPECT_EQ(newFileName(fieldsOf("P.MR.S.2.1.x"), "002", "01", "P.MR.S.2.1.x", true),
            "P.MR.S.002.01.x");
}

TEST(SeriesFolderTest, NumbersOfZeroOrLessGetNoFolder) {
  for (const char* none : {"0", "00", "000", "-0", "-3", "-12"}) {
    EXPECT_FALSE(seriesGetsFolder(none)) << none;
  }
  for (const char* some : {"1", "02", "010", "x", "1a", " 0", "0 ", "+0", "-", "--1", "-a"}) {
    EXPECT_TRUE(seriesGetsFolder(some)) << some;
  }
}

TEST(SeriesFolderTest, NamesThatWouldLeadElsewhereAreRefused) {
  EXPECT_EQ(unsafeFolderName("Series_S01"), "");
  EXPECT_NE(unsafeFolderName("../x_S01"), "");
  EXPECT_NE(unsafeFolderName("a/b_S01"), "");
  EXPECT_NE(unsafeFolderName(std::string("a\0b_S01", 7)), "");
  EXPECT_NE(unsafeFolderName(".."), "");
  // Hidden, or unreadable to a person.
  EXPECT_NE(unsafeFolderName(".x_Series_S01"), "");
  EXPECT_NE(unsafeFolderName("a\nb_S01"), "");
  EXPECT_NE(unsafeFolderName("\x1b[2J_S01"), "");
  EXPECT_NE(unsafeFolderName("a\x7f_S01"), "");
  EXPECT_EQ(unsafeFolderName("T2_\xC3\xA4_S01"), "");
  EXPECT_EQ(unsafeFolderName(std::string(255, 'n')), "");
  EXPECT_NE(unsafeFolderName(std::string(256, 'n')), "");
}

// A folder name of bytes that are no UTF-8 cannot be shown or typed, and
// some file systems (NTFS, exFAT through FUSE) refuse it halfway through a run.
TEST(NewNameTest, FolderNamesMustBeWellFormedUtf8) {
  for (const char* good : {"\xC3\xA4", "\xE2\x82\xAC", "\xED\x9F\xBF", "\xEE\x80\x80",
                           "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF"}) {
    EXPECT_EQ(unsafeFolderName(std::string("a") + good + "_S01"), "") << good;
  }
  for (const char* bad : {
           "\xC0\xAF",          // overlong '/'
           "\xE0\x80\xAF",      // overlong '/' in three bytes
           "\xF0\x80\x80\xAF",  // and in four
           "\xED\xA0\x80",      // a high surrogate
           "\xED\xBF\xBF",      // a low surrogate
           "\xF4\x90\x80\x80",  // U+110000
           "\xF5\x80\x80\x80",  // beyond any plane
           "\xE2\x82",          // cut short
           "\x80",              // a stray continuation byte
           "\xFF",
       }) {
    EXPECT_EQ(unsafeFolderName(std::string("a") + bad + "_S01"),
              "a folder name must be valid UTF-8")
        << ::testing::PrintToString(std::string(bad));
    // Shown a byte at a time, never as the character it pretends to be.
    EXPECT_TRUE(platform::isValidUtf8(platform::escapeControls(bad)));
  }
}

}  // namespace
}  // namespace slicery::rename
