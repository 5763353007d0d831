// New file names for the rename run: how many zeros go before the series and
// slice numbers, and which fields of the old name make up the new one. Pure
// computation on texts; nothing here touches the file system or the window.
#pragma once

#include <string>
#include <string_view>

#include "scan/ima_file_name.h"

namespace slicery::rename {

// Characters of `count` written in decimal minus the characters of `text`.
// Zero or less means no zeros. `text` is UTF-8; each character counts once.
int padWidth(int count, std::string_view text);

// How wide the numbers of one kind are made: a run's series numbers, or the
// slice numbers of one series. The digits of `count` (how many series, or
// how many files the series has) give the width; a sortable width also takes
// the length of each number that is written in decimal digits alone and is
// longer, so that numbers with gaps (1, 2, 100) sort too. Numbers without
// such gaps get the count's digits either way.
class NumberWidth {
 public:
  NumberWidth(int count, bool sortable);
  // Widens the width to `number`'s length where it is sortable and `number`
  // is written in decimal digits alone.
  void take(std::string_view number);
  int width() const { return width_; }
  // Zeros to put before `text` to bring it to the width; 0 or less: none.
  int padWidth(std::string_view text) const;

 private:
  int width_;
  bool sortable_;
};

// `width` zeros (none for a width of 0 or less) followed by `text`, which is
// never cut.
std::string padded(std::string_view text, int width);

// The new name of a file whose parsed fields are `fields` and whose current
// name is `currentName`:
//  - a name whose sixth field is exactly "IMA" (already short) is kept;
//  - otherwise the series and slice pieces become `paddedSeries` and
//    `paddedSlice`; `shortForm` also drops every piece between the slice and
//    the last one. Every other piece is kept as it stands, empty ones with
//    their full stops, so a name of fourteen pieces gets all fourteen and
//    one of more or fewer keeps its extension;
//  - a name of fewer than six pieces is kept.
std::string newFileName(const scan::NameFields& fields, std::string_view paddedSeries,
                        std::string_view paddedSlice, std::string_view currentName, bool shortForm);

// A series text gets a folder unless it reads as a decimal whole number
// (optionally with a leading minus sign) of 0 or less: "00" and "-3" get
// none, "3", "x" and " 0" get one.
bool seriesGetsFolder(std::string_view paddedSeries);

// The name of a series' folder: the base word, "_S" and the padded series.
std::string seriesFolderName(std::string_view baseWord, std::string_view paddedSeries);

// Whether a folder named `folderName` reads as the folder a run made for
// series `series` (a file's fourth piece, letter case ignored as a pass
// groups it): a base word, "_S" and `series` padded with zeros to any
// width, with or without a description and "_" in front, for a series that
// gets a folder at all.
bool namesSeriesFolder(std::string_view folderName, std::string_view series);

// A series description as it goes in front of a folder's name: each
// character that Windows, exFAT or FAT refuse in a name (\ / : * ? " < > |)
// written as '_', as a space already is. Everything else, control
// characters included, stays for unsafeFolderName to judge.
std::string folderDescription(std::string_view description);

// Why `name` cannot be a folder made inside the loaded folder, or empty when
// it can: a name holding '/' would lead elsewhere, one beginning with '.'
// would hide the series, bytes that are no well-formed UTF-8 and control
// characters (NUL included) have no place in a name a person reads, and none
// may be longer than 255 bytes.
std::string unsafeFolderName(std::string_view name);

}  // namespace slicery::rename
