#pragma once
// Currency: a fixed-point number with four decimals, held as a 64-bit integer
// scaled by 10,000. Conversions and products round halves to even, the way the
// class library rounds.
#include <compare>
#include <cstdint>

namespace px {

class Currency {
 public:
  static constexpr int64_t Scale = 10000;

  constexpr Currency() = default;
  // Whole units.
  constexpr Currency(int value) : raw_(static_cast<int64_t>(value) * Scale) {}
  static constexpr Currency FromRaw(int64_t raw) {
    Currency c;
    c.raw_ = raw;
    return c;
  }
  // Rounds to four decimals, halves to even. Raises EOverflow out of range
  // and EInvalidOp for NaN.
  static Currency FromDouble(double value);
  static Currency FromInt64(int64_t units);

  constexpr int64_t Raw() const { return raw_; }
  double ToDouble() const { return static_cast<double>(raw_) / Scale; }
  // Rounded to whole units, halves to even.
  int64_t Round() const;
  // Towards zero.
  constexpr int64_t Trunc() const { return raw_ / Scale; }

  Currency operator+(Currency o) const;
  Currency operator-(Currency o) const;
  Currency operator-() const;
  // Product of two currencies, rounded to four decimals halves to even.
  Currency operator*(Currency o) const;
  Currency operator*(int64_t factor) const;
  // Quotient rounded to four decimals halves to even; raises EZeroDivide.
  Currency operator/(Currency o) const;
  Currency operator/(int64_t divisor) const;
  Currency& operator+=(Currency o) { return *this = *this + o; }
  Currency& operator-=(Currency o) { return *this = *this - o; }

  constexpr auto operator<=>(const Currency&) const = default;

 private:
  int64_t raw_ = 0;
};

}  // namespace px
