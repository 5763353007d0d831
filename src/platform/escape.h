// Names as a person may be shown them: a control character in a file name or
// a description would move a terminal's cursor, split a line or hide text, so
// it is written out instead (\n, \t, \r, \x1b, \u009b for the C1 range, and
// \x9b for each byte of what is no well-formed UTF-8).
#pragma once

#include <string>
#include <string_view>

namespace slicery::platform {

// `text` with every control character escaped; unchanged when it has none.
std::string escapeControls(std::string text);
// Whether `text` holds anything escapeControls would escape.
bool hasControlCharacters(std::string_view text);
// Whether `text` is well-formed UTF-8: no stray or missing continuation
// byte, no overlong form, no surrogate, nothing above U+10FFFF.
bool isValidUtf8(std::string_view text);

}  // namespace slicery::platform
