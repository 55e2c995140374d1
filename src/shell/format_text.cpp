#include "shell/format_text.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>

namespace segsniff {

namespace {

enum class Length { none, hh, h, l, ll, j, z, t };

// One conversion: "%" flags width length kind.
struct Conversion {
  bool left = false;  // '-': padded on the right
  bool zero = false;  // '0': numbers padded with zeros after the sign
  std::size_t width = 0;
  Length length = Length::none;
  char kind = 0;  // d i u x X c s %
};

// Wider fields than this are left to the C library (they are no listing's).
constexpr std::size_t max_width = 4096;

// Reads the conversion that follows a '%'.  Returns the position after it,
// or nullptr when it is one this formatter leaves to the C library.
[[gnu::always_inline]] inline
const char* parse_conversion(const char* f, Conversion& c) {
  for (;; ++f) {
    if (*f == '-') c.left = true;
    else if (*f == '0') c.zero = true;
    else break;
  }
  for (; *f >= '0' && *f <= '9'; ++f) {
    c.width = c.width * 10 + static_cast<std::size_t>(*f - '0');
    if (c.width > max_width) return nullptr;
  }
  switch (*f) {
    case 'h': c.length = f[1] == 'h' ? Length::hh : Length::h; break;
    case 'l': c.length = f[1] == 'l' ? Length::ll : Length::l; break;
    case 'j': c.length = Length::j; break;
    case 'z': c.length = Length::z; break;
    case 't': c.length = Length::t; break;
    default: break;
  }
  if (c.length == Length::hh || c.length == Length::ll) f += 2;
  else if (c.length != Length::none) f += 1;
  switch (*f) {
    case 'd': case 'i': case 'u': case 'x': case 'X':
      break;
    case 'c': case 's':  // no wide characters, no zero padding of text
      if (c.zero || c.length != Length::none) return nullptr;
      break;
    case '%':
      if (c.left || c.zero || c.width != 0 || c.length != Length::none) return nullptr;
      break;
    default:  // a precision, '*', another flag, another conversion, the end
      return nullptr;
  }
  c.kind = *f;
  return f + 1;
}

// vsnprintf's output rule: every character is counted, those that fit
// before the last byte are stored.  Kept in registers: the helpers below
// are inlined into format_text.
class Sink {
 public:
  Sink(char* buffer, std::size_t size)
      : next_(buffer), limit_(size > 0 ? buffer + size - 1 : buffer), start_(buffer), size_(size) {}
  void put(char c) {
    if (next_ < limit_) *next_++ = c;
    else ++dropped_;
  }
  void put(const char* text, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) put(text[i]);
  }
  void pad(char c, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) put(c);
  }
  void finish() {
    if (size_ > 0) *next_ = '\0';
  }
  std::size_t used() const { return static_cast<std::size_t>(next_ - start_) + dropped_; }

 private:
  char* next_;
  char* limit_;  // where the NUL goes when the text does not fit
  char* start_;
  std::size_t size_;
  std::size_t dropped_ = 0;
};

// The arguments in a struct of their own, so that helpers can take them in
// turn through a reference (a va_list parameter may be a pointer in disguise).
struct Arguments {
  std::va_list list;
};

[[gnu::always_inline]] inline
unsigned long long take_unsigned(Length length, Arguments& args) {
  switch (length) {
    case Length::hh: return static_cast<unsigned char>(va_arg(args.list, unsigned int));
    case Length::h: return static_cast<unsigned short>(va_arg(args.list, unsigned int));
    case Length::none: return va_arg(args.list, unsigned int);
    case Length::l: return va_arg(args.list, unsigned long);
    case Length::ll: return va_arg(args.list, unsigned long long);
    case Length::j: return va_arg(args.list, std::uintmax_t);
    case Length::z: return va_arg(args.list, std::size_t);
    case Length::t: return static_cast<std::make_unsigned_t<std::ptrdiff_t>>(
        va_arg(args.list, std::ptrdiff_t));
  }
  return 0;
}

[[gnu::always_inline]] inline
long long take_signed(Length length, Arguments& args) {
  switch (length) {
    case Length::hh: return static_cast<signed char>(va_arg(args.list, int));
    case Length::h: return static_cast<short>(va_arg(args.list, int));
    case Length::none: return va_arg(args.list, int);
    case Length::l: return va_arg(args.list, long);
    case Length::ll: return va_arg(args.list, long long);
    case Length::j: return va_arg(args.list, std::intmax_t);
    case Length::z: return va_arg(args.list, std::make_signed_t<std::size_t>);
    case Length::t: return va_arg(args.list, std::ptrdiff_t);
  }
  return 0;
}

// The digits of `magnitude`, written backwards from `end`; returns where
// they begin.  Constant divisors: the compiler turns them into
// multiplications.
[[gnu::always_inline]] inline
char* digits_before(char* end, unsigned long long magnitude, char kind) {
  char* p = end;
  if (kind == 'x' || kind == 'X') {
    const char* digit_set = kind == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
      *--p = digit_set[magnitude & 0xF];
      magnitude >>= 4;
    } while (magnitude != 0);
    return p;
  }
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  return p;
}

[[gnu::always_inline]] inline
void put_integer(Sink& out, const Conversion& c, unsigned long long magnitude, bool negative) {
  char digits[24];  // 64 bits take at most 20 decimal digits
  char* end = digits + sizeof digits;
  const char* first = digits_before(end, magnitude, c.kind);
  const std::size_t n = static_cast<std::size_t>(end - first);
  const std::size_t body = n + (negative ? 1 : 0);
  const std::size_t fill = c.width > body ? c.width - body : 0;
  if (!c.left && !c.zero) out.pad(' ', fill);
  if (negative) out.put('-');
  if (!c.left && c.zero) out.pad('0', fill);
  out.put(first, n);
  if (c.left) out.pad(' ', fill);
}

[[gnu::always_inline]] inline
void put_text(Sink& out, const Conversion& c, const char* text, std::size_t n) {
  const std::size_t fill = c.width > n ? c.width - n : 0;
  if (!c.left) out.pad(' ', fill);
  out.put(text, n);
  if (c.left) out.pad(' ', fill);
}

[[gnu::always_inline]] inline
void put_conversion(Sink& out, const Conversion& c, Arguments& args) {
  switch (c.kind) {
    case 'd': case 'i': {
      const long long value = take_signed(c.length, args);
      const unsigned long long magnitude =
          value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                    : static_cast<unsigned long long>(value);
      put_integer(out, c, magnitude, value < 0);
      return;
    }
    case 'u': case 'x': case 'X':
      put_integer(out, c, take_unsigned(c.length, args), false);
      return;
    case 'c': {
      const char ch = static_cast<char>(va_arg(args.list, int));
      put_text(out, c, &ch, 1);
      return;
    }
    case 's': {
      const char* text = va_arg(args.list, const char*);
      if (text == nullptr) text = "(null)";  // as the C library shows it
      put_text(out, c, text, std::strlen(text));
      return;
    }
    default:  // '%'
      out.put('%');
      return;
  }
}

}  // namespace

int format_text(char* buffer, std::size_t size, const char* format, std::va_list args) {
  Sink out(buffer, size);
  Arguments taken;  // a copy: `args` stays whole for the C library
  va_copy(taken.list, args);
  for (const char* f = format; *f != '\0';) {
    if (*f != '%') {
      out.put(*f++);
      continue;
    }
    Conversion c;
    f = parse_conversion(f + 1, c);
    if (f == nullptr) {  // one this formatter leaves alone: all of it goes there
      va_end(taken.list);
      return std::vsnprintf(buffer, size, format, args);
    }
    put_conversion(out, c, taken);
  }
  va_end(taken.list);
  out.finish();
  if (out.used() > INT_MAX) {
    errno = EOVERFLOW;
    return -1;
  }
  return static_cast<int>(out.used());
}

}  // namespace segsniff
