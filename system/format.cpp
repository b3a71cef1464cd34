// One formatter for every target: the C runtimes of Linux and Windows disagree on wide
// formatting (what %s means, whether '0' pads text, how errors are reported), so the
// conversions are done here, following the Windows runtime where the two differ.
#include "system/format.h"

#include <climits>

namespace Zavro {

namespace {

enum Flag : unsigned {
  kLeft = 1,
  kZero = 2,
  kPlus = 4,
  kSpace = 8,
  kAlternate = 16,
};

enum class Size { Short, Int, Int64 };

struct Directive {
  unsigned flags = 0;
  int64_t width = 0;
  int64_t precision = -1;  // none
  Size size = Size::Int;
  char16_t conversion = 0;
};

const char16_t kNullText[] = u"(null)";

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

class Formatter {
 public:
  Formatter(const FormatArg* args, size_t count) : args_(args), count_(count) {}

  // False for an invalid format; `out` is then incomplete.
  bool Run(const char16_t* format, std::u16string& out) {
    out_ = &out;
    const char16_t* p = format;
    while (*p != 0) {
      const char16_t* literal = p;
      while (*p != 0 && *p != u'%') ++p;
      out.append(literal, p - literal);
      if (*p == 0) break;
      ++p;
      Directive directive;
      if (!ParseDirective(p, directive) || !Convert(directive)) return false;
    }
    return true;
  }

 private:
  const FormatArg* NextArg() { return next_ < count_ ? &args_[next_++] : nullptr; }

  static bool IsInteger(const FormatArg* arg) {
    return arg != nullptr && arg->kind() != FormatArg::Kind::Text;
  }

  // A decimal number or '*'. The value stays within int, as the runtime's does.
  bool ParseCount(const char16_t*& p, int64_t& value) {
    if (*p == u'*') {
      ++p;
      const FormatArg* arg = NextArg();
      if (!IsInteger(arg)) return false;
      value = static_cast<int32_t>(arg->integer());
      return true;
    }
    value = 0;
    for (; IsDigit(*p); ++p) {
      value = value * 10 + (*p - u'0');
      if (value > INT_MAX) return false;
    }
    return true;
  }

  bool ParseDirective(const char16_t*& p, Directive& d) {
    for (;; ++p) {
      if (*p == u'-') {
        d.flags |= kLeft;
      } else if (*p == u'0') {
        d.flags |= kZero;
      } else if (*p == u'+') {
        d.flags |= kPlus;
      } else if (*p == u' ') {
        d.flags |= kSpace;
      } else if (*p == u'#') {
        d.flags |= kAlternate;
      } else {
        break;
      }
    }
    if (!ParseCount(p, d.width)) return false;
    if (d.width < 0) {
      d.flags |= kLeft;
      d.width = -d.width;
    }
    if (*p == u'.') {
      ++p;
      if (!ParseCount(p, d.precision)) return false;
      if (d.precision < 0) d.precision = -1;
    }
    if (!ParseSize(p, d.size)) return false;
    d.conversion = *p;
    if (d.conversion == 0) return false;
    ++p;
    return true;
  }

  static bool ParseSize(const char16_t*& p, Size& size) {
    switch (*p) {
      case u'h':
        size = Size::Short;
        ++p;
        return true;
      case u'l':
        ++p;
        if (*p == u'l') {
          size = Size::Int64;
          ++p;
        }
        return true;
      case u'I':
        if (p[1] == u'6' && p[2] == u'4') {
          size = Size::Int64;
        } else if (p[1] == u'3' && p[2] == u'2') {
          size = Size::Int;
        } else {
          return false;
        }
        p += 3;
        return true;
      default:
        return true;
    }
  }

  bool Convert(const Directive& d) {
    switch (d.conversion) {
      case u'%':
        out_->push_back(u'%');
        return true;
      case u'd':
      case u'i':
      case u'u':
      case u'x':
      case u'X':
        return ConvertInteger(d);
      case u'c':
      case u'C':
        return ConvertChar(d);
      case u's':
      case u'S':
        return ConvertText(d);
      default:
        return false;
    }
  }

  bool ConvertInteger(const Directive& d) {
    const FormatArg* arg = NextArg();
    if (!IsInteger(arg)) return false;
    const int64_t raw = arg->integer();
    const bool isSigned = d.conversion == u'd' || d.conversion == u'i';

    // The argument is cut to the width its length modifier names, as a C caller's
    // promoted argument would be read.
    bool negative = false;
    uint64_t magnitude;
    if (isSigned) {
      const int64_t value = d.size == Size::Int64   ? raw
                            : d.size == Size::Short ? static_cast<int16_t>(raw)
                                                       : static_cast<int32_t>(raw);
      negative = value < 0;
      magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    } else {
      const uint64_t value = static_cast<uint64_t>(raw);
      magnitude = d.size == Size::Int64   ? value
                  : d.size == Size::Short ? static_cast<uint16_t>(value)
                                             : static_cast<uint32_t>(value);
    }

    char16_t digits[24];
    size_t count = 0;
    const bool hex = d.conversion == u'x' || d.conversion == u'X';
    const char* alphabet = d.conversion == u'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    for (uint64_t rest = magnitude; rest != 0; rest /= hex ? 16 : 10) {
      digits[count++] = static_cast<char16_t>(alphabet[rest % (hex ? 16 : 10)]);
    }
    // Without a precision a zero still shows one digit; with precision 0 it shows none.
    const int64_t precision = d.precision < 0 ? 1 : d.precision;
    const size_t leadingZeros =
        static_cast<uint64_t>(precision) > count ? static_cast<size_t>(precision) - count : 0;

    std::u16string prefix;
    if (negative) {
      prefix = u"-";
    } else if (isSigned && (d.flags & kPlus)) {
      prefix = u"+";
    } else if (isSigned && (d.flags & kSpace)) {
      prefix = u" ";
    } else if (hex && (d.flags & kAlternate) && magnitude != 0) {
      prefix = d.conversion == u'X' ? u"0X" : u"0x";
    }

    // A precision takes over from the '0' flag.
    const unsigned flags = d.precision < 0 ? d.flags : d.flags & ~kZero;
    const size_t length = prefix.size() + leadingZeros + count;
    const size_t padding = static_cast<uint64_t>(d.width) > length
                               ? static_cast<size_t>(d.width) - length
                               : 0;
    PadBefore(flags, padding);
    out_->append(prefix);
    if ((flags & kZero) && !(flags & kLeft)) out_->append(padding, u'0');
    out_->append(leadingZeros, u'0');
    while (count > 0) out_->push_back(digits[--count]);
    PadAfter(flags, padding);
    return true;
  }

  bool ConvertChar(const Directive& d) {
    const FormatArg* arg = NextArg();
    if (!IsInteger(arg)) return false;
    const char16_t unit = static_cast<char16_t>(arg->integer());
    Emit(d, &unit, 1);
    return true;
  }

  bool ConvertText(const Directive& d) {
    const FormatArg* arg = NextArg();
    if (arg == nullptr || arg->kind() != FormatArg::Kind::Text) return false;
    const char16_t* text = arg->text() != nullptr ? arg->text() : kNullText;
    // Never read past the precision: the text need not be terminated within it.
    size_t length = 0;
    while ((d.precision < 0 || static_cast<uint64_t>(d.precision) > length) &&
           text[length] != 0) {
      ++length;
    }
    Emit(d, text, length);
    return true;
  }

  // Text and characters: padded to the width, with '0' padding on the left like the
  // Windows runtime does.
  void Emit(const Directive& d, const char16_t* text, size_t length) {
    const size_t padding = static_cast<uint64_t>(d.width) > length
                               ? static_cast<size_t>(d.width) - length
                               : 0;
    PadBefore(d.flags, padding);
    if ((d.flags & kZero) && !(d.flags & kLeft)) out_->append(padding, u'0');
    out_->append(text, length);
    PadAfter(d.flags, padding);
  }

  void PadBefore(unsigned flags, size_t padding) {
    if (!(flags & (kLeft | kZero))) out_->append(padding, u' ');
  }

  void PadAfter(unsigned flags, size_t padding) {
    if (flags & kLeft) out_->append(padding, u' ');
  }

  const FormatArg* args_;
  size_t count_;
  size_t next_ = 0;
  std::u16string* out_ = nullptr;
};

}  // namespace

std::u16string FormatArgs(const char16_t* format, const FormatArg* args, size_t count) {
  std::u16string out;
  if (format == nullptr) return out;
  Formatter formatter(args, count);
  if (!formatter.Run(format, out)) out.clear();
  return out;
}

}  // namespace Zavro
