#pragma once
// Reading one value from a text field the way free-form (list-directed) input does.
// These are the pure conversions behind the a_argv_* procedures: they never stop the
// run, so tests and fuzzers can feed them any text.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ltide::args {

// Every converting procedure reads its argument from a field of this many characters.
inline constexpr std::size_t FIELD_LENGTH = 80;

// `text` cut to `length` characters or padded with blanks to that length.
std::string to_field(std::string_view text, std::size_t length);

// The characters of the one value in `field`: leading blanks and tabs are skipped and
// the value ends at the next blank, tab, comma or slash (or the end of the field).
std::string_view value_text(std::string_view field);

// Optional sign and decimal digits, within the 32-bit range.
std::optional<int32_t> parse_integer(std::string_view field);

// Optional sign, digits with an optional decimal point, optional exponent introduced
// by E or D (either case); or Inf, Infinity, NaN (any case, optional sign). The value
// is rounded once, from the decimal text, to the target precision.
std::optional<float> parse_single(std::string_view field);
std::optional<double> parse_double(std::string_view field);

// Optional period, then T or F (either case), then anything up to the end of the value.
std::optional<bool> parse_logical(std::string_view field);

}  // namespace ltide::args
