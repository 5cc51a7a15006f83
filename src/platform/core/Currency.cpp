#include "platform/core/Currency.h"

#include <cmath>
#include <limits>

#include "platform/core/Exceptions.h"

namespace px {
namespace {

using i128 = __int128;

Currency checked(i128 raw) {
  if (raw > std::numeric_limits<int64_t>::max() || raw < std::numeric_limits<int64_t>::min())
    throw EOverflow("Floating point overflow");
  return Currency::FromRaw(static_cast<int64_t>(raw));
}

// Quotient rounded to the nearest integer, halves to even.
i128 divRoundEven(i128 num, i128 den) {
  if (den < 0) {
    num = -num;
    den = -den;
  }
  i128 q = num / den;
  i128 r = num % den;
  i128 twice = (r < 0 ? -r : r) * 2;
  if (twice > den || (twice == den && (q & 1) != 0)) q += (num < 0) ? -1 : 1;
  return q;
}

}  // namespace

Currency Currency::FromDouble(double value) {
  if (std::isnan(value)) throw EInvalidOp("Invalid floating point operation");
  long double scaled = static_cast<long double>(value) * Scale;
  // nearbyint rounds halves to even in the default rounding mode.
  long double rounded = std::nearbyint(scaled);
  if (!(rounded < 9223372036854775807.0L && rounded >= -9223372036854775808.0L))
    throw EOverflow("Floating point overflow");
  return FromRaw(static_cast<int64_t>(rounded));
}

Currency Currency::FromInt64(int64_t units) { return checked(static_cast<i128>(units) * Scale); }

int64_t Currency::Round() const { return static_cast<int64_t>(divRoundEven(raw_, Scale)); }

Currency Currency::operator+(Currency o) const { return checked(static_cast<i128>(raw_) + o.raw_); }
Currency Currency::operator-(Currency o) const { return checked(static_cast<i128>(raw_) - o.raw_); }
Currency Currency::operator-() const { return checked(-static_cast<i128>(raw_)); }

Currency Currency::operator*(Currency o) const {
  return checked(divRoundEven(static_cast<i128>(raw_) * o.raw_, Scale));
}

Currency Currency::operator*(int64_t factor) const { return checked(static_cast<i128>(raw_) * factor); }

Currency Currency::operator/(Currency o) const {
  if (o.raw_ == 0) throw EZeroDivide("Floating point division by zero");
  return checked(divRoundEven(static_cast<i128>(raw_) * Scale, o.raw_));
}

Currency Currency::operator/(int64_t divisor) const {
  if (divisor == 0) throw EZeroDivide("Floating point division by zero");
  return checked(divRoundEven(raw_, divisor));
}

}  // namespace px
