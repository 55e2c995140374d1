// printf-style formatting for the channels and the printers' findings, with
// vsnprintf's contract: at most `size` - 1 characters and a NUL are stored,
// and the length of the whole text is returned (a negative value on error).
//
// A listing makes several hundred printf calls per photo, and the C
// library's vsnprintf spends most of each one setting up a stream object
// for a dozen characters.  The conversions the listings use -- d i u x X c s
// and %%, with the flags '-' and '0', a width, and the length modifiers hh h
// l ll j z t -- are done here directly; a format with anything else in it
// (a precision, '*', the flags ' ' '+' '#', floating point) goes to
// vsnprintf whole, so every format prints exactly what the C library would.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace segsniff {

int format_text(char* buffer, std::size_t size, const char* format, std::va_list args)
    __attribute__((format(printf, 3, 0)));

}  // namespace segsniff
