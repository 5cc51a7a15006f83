#include "platform/core/Variant.h"

#include "platform/core/Exceptions.h"

namespace px {

template <class T>
const T& TVariant::get() const {
  if (const T* p = std::get_if<T>(&value_)) return *p;
  throw EVariantTypeCastError("Invalid variant type conversion");
}

int64_t TVariant::AsInt64() const { return get<int64_t>(); }
double TVariant::AsDouble() const { return get<double>(); }
Currency TVariant::AsCurrency() const { return get<Currency>(); }
const AnsiString& TVariant::AsString() const { return get<AnsiString>(); }
const UnicodeString& TVariant::AsUString() const { return get<UnicodeString>(); }
const TBytes& TVariant::AsBytes() const { return get<TBytes>(); }

}  // namespace px
