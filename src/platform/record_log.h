// RecordLog: the framing of an append-only log of records, and the field
// coding inside them (doc/journal-format.md tells the bytes). A log is a run
// of records, each
//   u32 size      bytes of type and payload
//   u32 checksum  CRC-32 (IEEE) of type and payload
//   u8  type
//   payload
// with every integer little-endian. A record that runs past the end of the
// log or fails its checksum while nothing follows it is a torn tail from a
// crash and is dropped; one with more bytes after it means the log is
// damaged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace slicery::platform {

// CRC-32 (IEEE) of `data`, continuing `crc`, the sum of the bytes before it.
std::uint32_t crc32(std::uint32_t crc, const char* data, std::size_t size);

inline constexpr std::size_t kRecordPrefix = 8;

// Builds records into a buffer: begin() one, put its fields, seal() it.
class RecordBuilder {
 public:
  void begin(std::uint8_t type);
  void u8(std::uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void u32(std::uint32_t v);
  void u64(std::uint64_t v);
  // A u32 byte count and the bytes.
  void str(std::string_view s);
  void strs(const std::vector<std::string>& list);
  // A name as a change of `before`: head and tail bytes shared (u8 each),
  // the size of the rest in 7-bit groups (low first, top bit set in all but
  // the last), and the rest.
  void change(std::string_view before, std::string_view name);
  void bytes(std::string_view raw) { out_ += raw; }
  // Puts the size and checksum of the record begun last in place.
  void seal();

  std::string& buffer() { return out_; }
  std::size_t size() const { return out_.size(); }

 private:
  std::string out_;
  std::size_t at_ = 0;
};

struct Record {
  std::uint8_t type;
  std::string_view payload;
};

// Splits `data` into its whole records; a torn tail is dropped and `valid`
// receives where the last whole record ends. False when a bad record has
// more bytes after it.
bool splitRecords(std::string_view data, std::vector<Record>& records, std::size_t& valid);

// Reads the fields of one payload; any overrun marks it bad.
class FieldReader {
 public:
  explicit FieldReader(std::string_view payload) : p_(payload.data()), end_(p_ + payload.size()) {}
  std::uint8_t u8();
  std::uint32_t u32();
  std::uint64_t u64();
  std::string str();
  std::vector<std::string> strs();
  std::string change(std::string_view before);
  std::string_view bytes(std::size_t n);
  // Every field read and nothing left over.
  bool good() const { return !bad_ && p_ == end_; }
  bool bad() const { return bad_; }

 private:
  bool has(std::size_t n);
  const char* p_;
  const char* end_;
  bool bad_ = false;
};

}  // namespace slicery::platform
