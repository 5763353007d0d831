#include "platform/record_log.h"

#include <algorithm>
#include <array>

namespace slicery::platform {
namespace {

std::uint32_t getU32(const char* p) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    v |= static_cast<std::uint32_t>(static_cast<unsigned char>(p[i])) << (8 * i);
  }
  return v;
}

// The bytes `name` shares with the start and the end of `before` (at most
// 255 each) and the bytes between.
struct NameChange {
  std::uint8_t head;
  std::uint8_t tail;
  std::string_view middle;
};

NameChange changeFrom(std::string_view before, std::string_view name) {
  std::size_t head = 0;
  const std::size_t most = std::min<std::size_t>({before.size(), name.size(), 255});
  while (head < most && before[head] == name[head]) ++head;
  std::size_t tail = 0;
  const std::size_t mostTail =
      std::min<std::size_t>({before.size() - head, name.size() - head, 255});
  while (tail < mostTail && before[before.size() - 1 - tail] == name[name.size() - 1 - tail]) {
    ++tail;
  }
  return {static_cast<std::uint8_t>(head), static_cast<std::uint8_t>(tail),
          name.substr(head, name.size() - head - tail)};
}

void putU32At(std::string& out, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFFU);
}

}  // namespace

// Slicing by eight: eight bytes a step.
std::uint32_t crc32(std::uint32_t crc, const char* data, std::size_t size) {
  static const auto tables = [] {
    std::array<std::array<std::uint32_t, 256>, 8> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
      t[0][i] = c;
    }
    for (std::uint32_t i = 0; i < 256; ++i) {
      for (std::size_t k = 1; k < 8; ++k) {
        t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFFU];
      }
    }
    return t;
  }();
  const auto* p = reinterpret_cast<const unsigned char*>(data);
  const auto word = [](const unsigned char* q) {
    return static_cast<std::uint32_t>(q[0]) | static_cast<std::uint32_t>(q[1]) << 8 |
           static_cast<std::uint32_t>(q[2]) << 16 | static_cast<std::uint32_t>(q[3]) << 24;
  };
  std::uint32_t c = crc ^ 0xFFFFFFFFU;
  for (; size >= 8; size -= 8, p += 8) {
    c ^= word(p);
    const std::uint32_t next = word(p + 4);
    c = tables[7][c & 0xFFU] ^ tables[6][(c >> 8) & 0xFFU] ^ tables[5][(c >> 16) & 0xFFU] ^
        tables[4][c >> 24] ^ tables[3][next & 0xFFU] ^ tables[2][(next >> 8) & 0xFFU] ^
        tables[1][(next >> 16) & 0xFFU] ^ tables[0][next >> 24];
  }
  for (; size > 0; --size, ++p) c = tables[0][(c ^ *p) & 0xFFU] ^ (c >> 8);
  return c ^ 0xFFFFFFFFU;
}

void RecordBuilder::begin(std::uint8_t type) {
  at_ = out_.size();
  out_.append(kRecordPrefix, '\0');
  out_.push_back(static_cast<char>(type));
}

void RecordBuilder::u32(std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out_.push_back(static_cast<char>((v >> (8 * i)) & 0xFFU));
}

void RecordBuilder::u64(std::uint64_t v) {
  u32(static_cast<std::uint32_t>(v));
  u32(static_cast<std::uint32_t>(v >> 32));
}

void RecordBuilder::str(std::string_view s) {
  u32(static_cast<std::uint32_t>(s.size()));
  out_ += s;
}

void RecordBuilder::strs(const std::vector<std::string>& list) {
  u32(static_cast<std::uint32_t>(list.size()));
  for (const std::string& s : list) str(s);
}

void RecordBuilder::change(std::string_view before, std::string_view name) {
  const NameChange c = changeFrom(before, name);
  out_.push_back(static_cast<char>(c.head));
  out_.push_back(static_cast<char>(c.tail));
  for (std::size_t size = c.middle.size();; size >>= 7) {
    out_.push_back(static_cast<char>((size & 0x7FU) | (size >= 0x80 ? 0x80U : 0U)));
    if (size < 0x80) break;
  }
  out_ += c.middle;
}

void RecordBuilder::seal() {
  const std::size_t body = at_ + kRecordPrefix;
  const auto size = static_cast<std::uint32_t>(out_.size() - body);
  putU32At(out_, at_, size);
  putU32At(out_, at_ + 4, crc32(0, out_.data() + body, size));
}

bool splitRecords(std::string_view data, std::vector<Record>& records, std::size_t& valid) {
  std::size_t at = 0;
  while (data.size() - at >= kRecordPrefix + 1) {
    const std::uint32_t size = getU32(data.data() + at);
    const std::uint32_t sum = getU32(data.data() + at + 4);
    const std::size_t body = at + kRecordPrefix;
    if (size == 0 || size > data.size() - body) break;  // runs past the end
    if (crc32(0, data.data() + body, size) != sum) {
      if (body + size < data.size()) return false;
      break;
    }
    records.push_back({static_cast<std::uint8_t>(data[body]), data.substr(body + 1, size - 1)});
    at = body + size;
  }
  valid = at;
  return true;
}

bool FieldReader::has(std::size_t n) {
  if (!bad_ && static_cast<std::size_t>(end_ - p_) >= n) return true;
  bad_ = true;
  p_ = end_;
  return false;
}

std::uint8_t FieldReader::u8() {
  return has(1) ? static_cast<std::uint8_t>(*p_++) : 0;
}

std::uint32_t FieldReader::u32() {
  if (!has(4)) return 0;
  const std::uint32_t v = getU32(p_);
  p_ += 4;
  return v;
}

std::uint64_t FieldReader::u64() {
  const std::uint64_t low = u32();
  return low | static_cast<std::uint64_t>(u32()) << 32;
}

std::string_view FieldReader::bytes(std::size_t n) {
  if (!has(n)) return {};
  const std::string_view v(p_, n);
  p_ += n;
  return v;
}

std::string FieldReader::str() {
  return std::string(bytes(u32()));
}

std::vector<std::string> FieldReader::strs() {
  const std::uint32_t n = u32();
  std::vector<std::string> list;
  for (std::uint32_t i = 0; i < n && !bad_; ++i) list.push_back(str());
  return list;
}

std::string FieldReader::change(std::string_view before) {
  const std::size_t head = u8();
  const std::size_t tail = u8();
  std::size_t middle = 0;
  for (int shift = 0; !bad_; shift += 7) {
    const std::uint8_t b = u8();
    if (shift > 28) has(SIZE_MAX);  // too long: bad
    middle |= static_cast<std::size_t>(b & 0x7FU) << shift;
    if ((b & 0x80U) == 0) break;
  }
  if (bad_ || head + tail > before.size()) {
    has(SIZE_MAX);
    return {};
  }
  const std::string_view rest = bytes(middle);
  if (bad_) return {};
  std::string name(before.substr(0, head));
  name += rest;
  name += before.substr(before.size() - tail);
  return name;
}

}  // namespace slicery::platform
