#include "platform/escape.h"

#include <gtest/gtest.h>

#include <string>

namespace slicery::platform {
namespace {

// Each byte a label may be given, at every place of a name long enough to
// be tested eight bytes at a time: control bytes, DEL and bytes from 0x80 up
// (a C1 control in UTF-8, or no character at all) are found wherever they
// stand; printable ones, up to '~', are not.
TEST(EscapeTest, AControlByteIsFoundAtEveryPlaceOfAName) {
  for (const std::string plain : {"ANON.MR.HEAD_ROUTINE.1.10.2003.05.27.IMA", "A.1.2.IMA",
                                  "ANON.MR.HEAD_ROUTINE.1.10.2003.05.27.10.IMA", " ~"}) {
    EXPECT_FALSE(hasControlCharacters(plain));
    for (int byte = 0; byte < 0x100; ++byte) {
      const bool control = byte < 0x20 || byte >= 0x7F;
      for (size_t at = 0; at < plain.size(); ++at) {
        std::string name = plain;
        name[at] = static_cast<char>(byte);
        ASSERT_EQ(hasControlCharacters(name), control)
            << "byte " << byte << " at " << at << " of " << plain.size();
      }
    }
    // Well-formed UTF-8 beyond the C1 controls is no control.
    EXPECT_FALSE(hasControlCharacters(plain + "\xc3\xa9t\xc3\xa9"));
    EXPECT_TRUE(hasControlCharacters(plain + "\xc2\x85"));
  }
}

}  // namespace
}  // namespace slicery::platform
