// libFuzzer target: the database client's result stream (the cached rows of
// a statement saved and read back). The first byte picks the connection's
// character set; the rest is the stream. Every value of the rows read is
// taken in every form the client offers (texts through the character set's
// code page), and what loads saves and loads again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "dbclient/dbclibResult.h"
#include "platform/core/Streams.h"

namespace {

using namespace px;

template <class F>
void attempt(F&& f) {
  try {
    f();
  } catch (const Exception&) {
  }
}

void readValues(TSQLResult& r) {
  const Integer rows = std::min(r.GetRecordCount(), 64);
  for (Integer row = 0; row < rows; ++row) {
    r.SetCurrentRecord(row);
    for (Word i = 0; i < r.GetFieldCount(); ++i) {
      attempt([&] { (void)r.GetAsString(i); });
      attempt([&] { (void)r.GetAsRawString(i); });
      attempt([&] { (void)r.GetAsWideString(i); });
      attempt([&] { (void)r.GetAsVariant(i); });
      attempt([&] { (void)r.GetAsDouble(i); });
      attempt([&] { (void)r.GetAsInt64(i); });
      attempt([&] { (void)r.GetAsCurrency(i); });
      attempt([&] { (void)r.GetAsDateTime(i); });
      attempt([&] { (void)r.GetAsBoolean(i); });
      if (r.GetIsBlob(i)) {
        attempt([&] {
          UnicodeString wide;
          r.ReadBlobAsWideString(i, wide);
          TVariant v;
          r.ReadBlobAsVariant(i, v);
        });
      }
    }
  }
}

TBytes saved(TSQLResult& r) {
  TBytesStream out;
  r.SaveToStream(out);
  return out.Bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const auto charset = static_cast<TCharacterSet>(data[0] % CharacterSetCount);
  TSQLResult result(charset, 0, true, true, 16);
  TBytesStream in(TBytes(data + 1, data + size));
  try {
    result.LoadFromStream(in);
  } catch (const Exception&) {
    return 0;
  }
  readValues(result);
  const TBytes first = saved(result);
  TSQLResult again(charset, 0, false, false, 1);
  TBytesStream back(first);
  again.LoadFromStream(back);
  if (saved(again) != first) __builtin_trap();
  return 0;
}
