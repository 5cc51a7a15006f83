#pragma once
// TSet<E>: a set of the values of an enumeration whose values lie in 0..63,
// stored as a bit mask, with the operations Pascal sets have (membership,
// union, difference, intersection, include and exclude).
#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace px {

template <class E>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> values) {
    for (E v : values) bits_ |= bit(v);
  }
  static constexpr TSet FromMask(uint64_t mask) {
    TSet s;
    s.bits_ = mask;
    return s;
  }
  constexpr uint64_t Mask() const { return bits_; }
  constexpr bool Contains(E v) const { return (bits_ & bit(v)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr TSet& Include(E v) { bits_ |= bit(v); return *this; }
  constexpr TSet& Exclude(E v) { bits_ &= ~bit(v); return *this; }
  constexpr TSet operator+(TSet o) const { return FromMask(bits_ | o.bits_); }
  constexpr TSet operator-(TSet o) const { return FromMask(bits_ & ~o.bits_); }
  constexpr TSet operator*(TSet o) const { return FromMask(bits_ & o.bits_); }
  constexpr TSet& operator+=(TSet o) { bits_ |= o.bits_; return *this; }
  constexpr TSet& operator-=(TSet o) { bits_ &= ~o.bits_; return *this; }
  constexpr bool operator==(const TSet&) const = default;
  // True when every member of o is a member of this set.
  constexpr bool ContainsAll(TSet o) const { return (bits_ & o.bits_) == o.bits_; }

 private:
  // A value outside 0..63 (an enumeration made from unchecked data) has no
  // bit: it is never a member and including it changes nothing.
  static constexpr uint64_t bit(E v) {
    uint64_t index;
    if constexpr (std::is_enum_v<E>)
      index = static_cast<uint64_t>(static_cast<std::underlying_type_t<E>>(v));
    else
      index = static_cast<uint64_t>(v);
    return index < 64 ? uint64_t{1} << index : 0;
  }
  uint64_t bits_ = 0;
};

}  // namespace px
