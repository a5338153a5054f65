#pragma once
// Text from outside (file names above all) made safe for a one-line message.
#include <string>
#include <string_view>

namespace ltide {

// `text` with every control character (bytes 0 to 31 and 127) written as a C escape
// (\n, \t, \r, \e, else \xHH) and every backslash doubled, so that a message holding it
// stays one line and reads back unambiguously. Other bytes, UTF-8 among them, pass as
// they are.
std::string escaped(std::string_view text);

// "\"" + escaped(text) + "\"": how messages name a file.
std::string quoted_name(std::string_view text);

}  // namespace ltide
