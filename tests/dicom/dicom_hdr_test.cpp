// The DICOM header element reader on files built byte by byte in memory.
#include "dicom/dicom_hdr.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "dicom_writer.h"
#include "platform/real_file_system.h"
#include "support/memory_file_system.h"
#include "support/temp_folder.h"

namespace slicery::dicom {
namespace {

using testing::MemoryFileSystem;
using tools::DicomWriter;
using tools::evenLength;
using tools::u16Value;
using tools::u32Value;
using Kind = HeaderError::Kind;

constexpr const char* kPath = "/exam/a.ima";

// A file with an explicit meta group declaring `syntax`.
DicomWriter withMeta(std::string_view syntax = tools::kExplicitVrLittleEndian) {
  return DicomWriter::file().addMetaGroup(syntax, tools::kMrImageStorage, "2.25.1.2.3");
}

class DicomHdrTest : public ::testing::Test {
 protected:
  DicomHdrTest() { fs.addFolder("/exam"); }

  std::string read(const DicomWriter& file, std::string_view group = "8",
                   std::string_view element = "103E") {
    fs.addFile(kPath, file.bytes());
    return DICOM_hdr(fs, group, element, kPath);
  }

  // The kind of error the read ends with; the file must be closed afterwards.
  Kind failure(const std::string& bytes, std::string_view group = "8",
               std::string_view element = "103E") {
    fs.addFile(kPath, bytes);
    try {
      const std::string value = DICOM_hdr(fs, group, element, kPath);
      ADD_FAILURE() << "read gave \"" << value << "\"";
    } catch (const HeaderError& e) {
      EXPECT_EQ(fs.openFiles(), 0) << e.what();
      EXPECT_EQ(e.path(), kPath);
      EXPECT_NE(std::string(e.what()), "");
      return e.kind();
    }
    return Kind::fileError;
  }
  Kind failure(const DicomWriter& file, std::string_view group = "8",
               std::string_view element = "103E") {
    return failure(file.bytes(), group, element);
  }

  MemoryFileSystem fs;
};

TEST_F(DicomHdrTest, ValueTextTurnsSpacesIntoUnderscoresAndKeepsEverythingElse) {
  EXPECT_EQ(read(withMeta().add(0x0008, 0x103E, "LO", "SAG T2 FSE")), "SAG_T2_FSE");
  EXPECT_EQ(read(withMeta().add(0x0008, 0x103E, "LO", evenLength("t1 se tra"))), "t1_se_tra_");
  EXPECT_EQ(read(withMeta().add(0x0008, 0x103E, "LO", " a\\B ")), "_a\\B_");
  EXPECT_EQ(read(withMeta().add(0x0008, 0x103E, "LO", "")), "");
  EXPECT_EQ(read(withMeta().add(0x0008, 0x103E, "LO", std::string("A\0B ", 4))),
            std::string("A\0B_", 4));
  // Bytes 80-FF are Latin-1, given back as UTF-8.
  EXPECT_EQ(read(withMeta().add(0x0008, 0x103E, "LO",
                                "\xDC"
                                "bersicht \x80\xFF")),
            "\xC3\x9C"
            "bersicht_\xC2\x80\xC3\xBF");
  EXPECT_EQ(fs.openFiles(), 0);
}

TEST_F(DicomHdrTest, TagTextsAreHexadecimalWithOrWithoutLeadingZeros) {
  const DicomWriter file = withMeta().add(0x0008, 0x103E, "LO", "SAG T2 FSE");
  for (const auto& [group, element] :
       {std::pair{"8", "103E"}, {"0008", "103e"}, {"08", "103E"}, {"000008", "0103E"}}) {
    EXPECT_EQ(read(file, group, element), "SAG_T2_FSE") << group << "," << element;
  }
  // Above FFFF is a number all the same, but no tag: the walk runs out.
  EXPECT_EQ(failure(file, "10008", "103E"), Kind::notFound);
  EXPECT_EQ(failure(file, "8", "1103E"), Kind::notFound);
  EXPECT_EQ(failure(file, "8", "FFFFFFFFFFFFFFFFFFFF103E"), Kind::notFound);
}

TEST_F(DicomHdrTest, BadTagTextsFailBeforeTheFileIsOpened) {
  fs.failOn(MemoryFileSystem::Op::open, kPath, "should not be opened");
  for (const auto& [group, element] : {std::pair{"", "103E"},
                                       {"8", ""},
                                       {"0x8", "103E"},
                                       {"8h", "103E"},
                                       {" 8", "103E"},
                                       {"-8", "103E"},
                                       {"8", "103G"}}) {
    EXPECT_EQ(failure("", group, element), Kind::badTag) << group << "," << element;
  }
}

TEST_F(DicomHdrTest, LongFormIsTakenForExactlyFiveVrs) {
  // (0002,0001) OB with 2 bytes spans 14 bytes: the next element is at 146.
  const DicomWriter meta = DicomWriter::file()
                               .add(0x0002, 0x0000, "UL", u32Value(14))
                               .add(0x0002, 0x0001, "OB", std::string("\0\1", 2));
  EXPECT_EQ(read(meta, "2", "1"), std::string("\0\1", 2));
  EXPECT_EQ(read(meta, "2", "0"), u32Value(14));
  for (const char* vr : {"OB", "OW", "SQ", "UN", "UT"}) {
    EXPECT_EQ(read(withMeta().add(0x0008, 0x0001, vr, "abcdefgh").add(0x0008, 0x103E, "LO", "ok")),
              "ok")
        << vr;
  }
  // Every other pair of bytes is a short-form VR, also the lower-case and
  // mixed-case spellings and VRs that DICOM itself would give the long form.
  for (const char* vr : {"ob", "Ob", "OF", "UC", "\x01\xFF"}) {
    const std::string value = "abcd";  // as a long-form length: far above the limit
    EXPECT_EQ(read(withMeta()
                       .raw(std::string("\x08\x00\x01\x00", 4) + vr + u16Value(4) + value)
                       .add(0x0008, 0x103E, "LO", "ok")),
              "ok")
        << vr;
  }
}

TEST_F(DicomHdrTest, WalkStartsAtByte132WhateverTheMarkerAndGoesOnPastHigherTags) {
  EXPECT_EQ(read(DicomWriter::file("XXXX").add(0x0008, 0x103E, "LO", "a ")), "a_");
  // Tags out of order: the walk does not stop at a higher tag.
  EXPECT_EQ(read(withMeta()
                     .add(0x0010, 0x0010, "PN", "ANON")
                     .add(0x0008, 0x0060, "CS", "MR")
                     .add(0x0008, 0x103E, "LO", "late")),
            "late");
  // Two elements with the tag: the first one counts.
  EXPECT_EQ(read(withMeta().add(0x0008, 0x103E, "LO", "one ").add(0x0008, 0x103E, "LO", "two ")),
            "one_");
}

TEST_F(DicomHdrTest, SequencesAreSkippedWholeAndNeverEntered) {
  const std::string item =
      DicomWriter()
          .addImplicit(0xFFFE, 0xE000, DicomWriter().add(0x0008, 0x103E, "LO", "inner").bytes())
          .bytes();
  // Defined length: skipped by its length, so only the element after it counts.
  EXPECT_EQ(read(withMeta().add(0x0008, 0x0006, "SQ", item).add(0x0008, 0x103E, "LO", "outer ")),
            "outer_");
  EXPECT_EQ(failure(withMeta().add(0x0008, 0x0006, "SQ", item)), Kind::notFound);
  // Undefined length: a length above the limit, before the element is found.
  const std::string delimited = item + DicomWriter().addImplicit(0xFFFE, 0xE0DD, "").bytes();
  EXPECT_EQ(failure(withMeta()
                        .add(0x0008, 0x0006, "SQ", delimited, tools::kUndefinedLength)
                        .add(0x0008, 0x103E, "LO", "outer ")),
            Kind::notFound);
}

TEST_F(DicomHdrTest, LimitsOfTheWalk) {
  // An element is examined when it begins at byte 32766 at the latest.
  const auto paddedTo = [](std::uint64_t start) {
    DicomWriter file = DicomWriter::file();
    file.add(0x0009, 0x0010, "OB", std::string(start - 132 - 12, 'x'));
    return file.add(0x0008, 0x103E, "LO", "end ");
  };
  EXPECT_EQ(read(paddedTo(32766)), "end_");
  EXPECT_EQ(failure(paddedTo(32767)), Kind::notFound);
  // Value lengths up to 32767 are read, the one asked for whole even past
  // byte 32767; a longer one ends the walk, asked for or not.
  EXPECT_EQ(read(withMeta().add(0x0008, 0x103E, "UT", std::string(32767, 'v'))).size(), 32767u);
  EXPECT_EQ(failure(withMeta().add(0x0008, 0x103E, "UT", std::string(32768, 'v'))), Kind::notFound);
  EXPECT_EQ(failure(withMeta()
                        .add(0x0009, 0x0010, "OB", std::string(32768, 'x'))
                        .add(0x0008, 0x103E, "LO", "unreached")),
            Kind::notFound);
  // A short-form length of FFFF is above the limit too.
  EXPECT_EQ(
      failure(withMeta().add(0x0009, 0x0010, "LO", "", 0xFFFF).add(0x0008, 0x103E, "LO", "x ")),
      Kind::notFound);
}

TEST_F(DicomHdrTest, ImplicitDataSetIsReadWhenTheMetaGroupDeclaresIt) {
  const auto implicitFile = [](std::string_view syntax) {
    return withMeta(syntax)
        .addImplicit(0x0008, 0x0005, "ISO_IR 100")
        .addImplicit(0x0008, 0x103E, "t2 tse")
        .addImplicit(0x0010, 0x0010, "ANON")
        .addImplicit(0x0020, 0x0011, "3 ");
  };
  for (const std::string& syntax :
       {std::string(tools::kImplicitVrLittleEndian), std::string("1.2.840.10008.1.2 "),
        std::string("1.2.840.10008.1.2\0\0", 19)}) {
    EXPECT_EQ(read(DicomWriter::file()
                       .add(0x0002, 0x0000, "UL", u32Value(0))
                       .add(0x0002, 0x0010, "UI", syntax)
                       .add(0x0002, 0x0013, "SH", "META ONLY ")  // still explicit
                       .addImplicit(0x0008, 0x0005, "ISO_IR 100")
                       .addImplicit(0x0008, 0x103E, "t2 tse ")),
              "t2_tse_")
        << syntax;
  }
  EXPECT_EQ(read(implicitFile(tools::kImplicitVrLittleEndian)), "t2_tse");
  // Later elements that share an element number with the syntax change nothing.
  EXPECT_EQ(read(implicitFile(tools::kImplicitVrLittleEndian), "20", "11"), "3_");
  // The same data set read as explicit leads nowhere.
  EXPECT_EQ(failure(implicitFile(tools::kExplicitVrLittleEndian)), Kind::notFound);
  // A syntax that merely begins like the implicit one is explicit.
  EXPECT_EQ(read(withMeta("1.2.840.10008.1.2.1").add(0x0008, 0x103E, "LO", "x ")), "x_");
  // The syntax element itself, NUL pad and all.
  EXPECT_EQ(read(implicitFile(tools::kImplicitVrLittleEndian), "2", "10"),
            std::string("1.2.840.10008.1.2\0", 18));
  // Undefined lengths in an implicit data set end the walk as well.
  EXPECT_EQ(failure(withMeta(tools::kImplicitVrLittleEndian)
                        .addImplicit(0x0008, 0x1140, "", tools::kUndefinedLength)
                        .addImplicit(0x0008, 0x103E, "x ")),
            Kind::notFound);
}

TEST_F(DicomHdrTest, ShortAndTruncatedFiles) {
  for (const std::size_t size : {0, 1, 100, 128, 131, 132, 133, 139}) {
    EXPECT_EQ(failure(std::string(size, '\0')), Kind::notFound) << size;
  }
  const std::string whole = withMeta().add(0x0008, 0x103E, "LO", "SAG T2 FSE").bytes();
  // Cut inside a header, long or short form.
  EXPECT_EQ(failure(whole.substr(0, 132 + 12 + 4)), Kind::notFound);
  EXPECT_EQ(failure(whole.substr(0, 132 + 12 + 8)), Kind::notFound);
  EXPECT_EQ(failure(whole.substr(0, whole.size() - 10 - 2)), Kind::notFound);
  // Cut inside the value asked for: never a part of it.
  EXPECT_EQ(failure(whole.substr(0, whole.size() - 1)), Kind::valuePastEnd);
  EXPECT_EQ(failure(whole.substr(0, whole.size() - 10)), Kind::valuePastEnd);
  EXPECT_EQ(failure(withMeta().add(0x0008, 0x103E, "UT", "abc", 32767)), Kind::valuePastEnd);
  // An element that ends exactly at the end of the file is whole.
  EXPECT_EQ(read(withMeta().add(0x0008, 0x103E, "LO", "")), "");
}

TEST_F(DicomHdrTest, FileErrorsAndTheFileIsClosedAfterEveryCall) {
  EXPECT_EQ(failure(withMeta().bytes(), "8", "103E"), Kind::notFound);
  // The same file opens again normally afterwards.
  EXPECT_EQ(read(withMeta().add(0x0008, 0x103E, "LO", "again ")), "again_");
  EXPECT_EQ(fs.openFiles(), 0);

  fs.failOn(MemoryFileSystem::Op::read, kPath, "Input/output error", EIO);
  EXPECT_EQ(failure(withMeta().add(0x0008, 0x103E, "LO", "x ")), Kind::fileError);
  fs.clearFailures();
  fs.failOn(MemoryFileSystem::Op::open, kPath);
  EXPECT_EQ(failure(withMeta().add(0x0008, 0x103E, "LO", "x ")), Kind::fileError);
  fs.clearFailures();
  for (const char* path : {"/exam/missing.ima", "/exam"}) {
    try {
      DICOM_hdr(fs, "8", "103E", path);
      ADD_FAILURE() << path;
    } catch (const HeaderError& e) {
      EXPECT_EQ(e.kind(), Kind::fileError) << path;
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(fs.openFiles(), 0);
}

std::ptrdiff_t openDescriptors() {
  const std::filesystem::directory_iterator fds("/proc/self/fd");
  return std::distance(begin(fds), end(fds));
}

TEST(DicomHdrOnDisk, SampleFilesOfBothSyntaxes) {
  platform::RealFileSystem fs;
  const std::string data = SLICERY_TEST_DATA;
  const std::string explicitFile = data + "/explicit_sag_t2_fse.ima";
  const std::string implicitFile = data + "/implicit_t2_uebersicht.ima";
  EXPECT_EQ(DICOM_hdr(fs, "8", "103E", explicitFile), "SAG_T2_FSE");
  EXPECT_EQ(DICOM_hdr(fs, "0020", "0011", explicitFile), "3_");
  EXPECT_EQ(DICOM_hdr(fs, "8", "103E", implicitFile),
            "T2_\xC3\x9C"
            "bersicht");
  EXPECT_EQ(DICOM_hdr(fs, "20", "11", implicitFile), "11");
  EXPECT_EQ(DICOM_hdr(fs, "8", "60", implicitFile), "MR");
}

TEST(DicomHdrOnDisk, FilesAreClosedOnEveryPath) {
  testing::TempFolder dir;
  const std::string found =
      dir.write("found.ima", withMeta().add(0x0008, 0x103E, "LO", "x ").bytes());
  const std::string lacking =
      dir.write("lacking.ima", withMeta().bytes() + std::string(4000, '\0'));
  const std::string cut =
      dir.write("cut.ima", withMeta().add(0x0008, 0x103E, "LO", "x ", 20).bytes());
  platform::RealFileSystem fs;
  const std::ptrdiff_t before = openDescriptors();
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(DICOM_hdr(fs, "8", "103E", found), "x_");
    for (const std::string& path : {lacking, cut, dir.path(), dir / "missing.ima"}) {
      EXPECT_THROW(DICOM_hdr(fs, "8", "103E", path), HeaderError) << path;
    }
  }
  EXPECT_EQ(openDescriptors(), before);
}

TEST_F(DicomHdrTest, ReadsOnlyHeadersAndTheOneValueWhateverTheFileSize) {
  const auto image = [](std::size_t pixelBytes) {
    return withMeta()
        .add(0x0008, 0x0060, "CS", "MR")
        .add(0x0008, 0x103E, "LO", "SAG T2 FSE")
        .add(0x0020, 0x0011, "IS", "3 ")
        .add(0x7FE0, 0x0010, "OW", std::string(pixelBytes, '\x5A'))
        .bytes();
  };
  const auto bytesFor = [this](const std::string& contents, const char* element) {
    fs.addFile(kPath, contents);
    const std::uint64_t before = fs.bytesRead();
    try {
      DICOM_hdr(fs, "8", element, kPath);
    } catch (const HeaderError&) {
    }
    return fs.bytesRead() - before;
  };
  const std::string small = image(100'000);
  const std::string large = image(50'000'000);
  // Found: 9 element headers (one of them, OB, 4 bytes longer), the transfer
  // syntax and the value.
  const std::uint64_t found = bytesFor(small, "103E");
  EXPECT_EQ(found, 9 * 8 + 4 + 20 + 10);
  EXPECT_EQ(bytesFor(large, "103E"), found);
  // Not found: the walk stops at the pixel data's length, never reading it.
  const std::uint64_t missing = bytesFor(small, "1030");
  EXPECT_EQ(missing, 11 * 8 + 2 * 4 + 20);
  EXPECT_EQ(bytesFor(large, "1030"), missing);
}

}  // namespace
}  // namespace slicery::dicom
