// Read and write of the old dataset stream format over a table of 10^6
// records, in MB/s, beside a plain memcpy of the same bytes in the same run.
#include "BenchTiming.h"
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "data/UnitDataSetIOOld.h"

namespace {

px::IMemDataSet makeTable() {
  px::IMemDataSet t = px::CreateMemDataSet();
  t->AddField(px::mftInteger, "ID", 0);
  t->AddField(px::mftAnsiString, "Name", 0);
  t->AddField(px::mftDouble, "Value", 0);
  t->AddField(px::mftCurrency, "Amount", 0);
  for (int i = 0; i < 1000000; ++i) {
    px::TMemRecord* r = t->AddRecord();
    r->SetInteger(0, i * 37 - 500000);
    r->SetAnsiString(1, "Denomination " + std::to_string(i % 1000));
    r->SetDouble(2, i * 0.25);
    r->SetCurrency(3, px::Currency::FromRaw(i * 10000LL));
  }
  return t;
}

}  // namespace

int main() {
  const px::IMemDataSet table = makeTable();
  px::TBytesStream encoded;
  px::SaveDataSetToStream(encoded, table, "");
  const px::TBytes& bytes = encoded.Bytes();
  const double mb = static_cast<double>(bytes.size()) / 1e6;

  std::vector<px::Byte> copy(bytes.size());
  const double memcpySeconds = bestSeconds([&] {
    std::memcpy(copy.data(), bytes.data(), bytes.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  });
  const double writeSeconds = bestSeconds([&] {
    px::TBytesStream out;
    px::SaveDataSetToStream(out, table, "");
    benchmark::DoNotOptimize(out.Size());
  });
  const double readSeconds = bestSeconds([&] {
    encoded.SetPosition(0);
    px::IMemDataSet back;
    px::LoadDataSetFromStream(encoded, "", back);
    benchmark::DoNotOptimize(back->GetRecordCount());
  });
  const double cipherReadSeconds = bestSeconds([&] {
    px::TBytesStream out;
    px::SaveDataSetToStream(out, table, "qjv");
    out.SetPosition(0);
    px::IMemDataSet back;
    px::LoadDataSetFromStream(out, "qjv", back);
    benchmark::DoNotOptimize(back->GetRecordCount());
  });

  std::printf("stream of %.1f MB, 10^6 records\n", mb);
  std::printf("memcpy            %10.1f MB/s\n", mb / memcpySeconds);
  std::printf("write             %10.1f MB/s\n", mb / writeSeconds);
  std::printf("read              %10.1f MB/s\n", mb / readSeconds);
  std::printf("write+read (RC4)  %10.1f MB/s\n", mb / cipherReadSeconds);
  std::printf("RESULT dataset_stream/write ours=%.6f peer=%.6f ratio=%.2f\n", writeSeconds, memcpySeconds,
              writeSeconds / memcpySeconds);
  std::printf("RESULT dataset_stream/read ours=%.6f peer=%.6f ratio=%.2f\n", readSeconds, memcpySeconds,
              readSeconds / memcpySeconds);
  return 0;
}
