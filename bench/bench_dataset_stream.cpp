// Read and write of the old dataset stream format over a table of 10^6
// records, in MB/s, beside a plain memcpy of the same bytes in the same run.
#include "BenchTiming.h"
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "data/UnitDataSetIOOld.h"
#include "platform/core/NumberConversion.h"

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

  std::printf("stream of %s MB, 10^6 records\n", px::InvariantFloatToStr(mb, 1).c_str());
  std::printf("memcpy            %10s MB/s\n", px::InvariantFloatToStr(mb / memcpySeconds, 1).c_str());
  std::printf("write             %10s MB/s\n", px::InvariantFloatToStr(mb / writeSeconds, 1).c_str());
  std::printf("read              %10s MB/s\n", px::InvariantFloatToStr(mb / readSeconds, 1).c_str());
  std::printf("write+read (RC4)  %10s MB/s\n", px::InvariantFloatToStr(mb / cipherReadSeconds, 1).c_str());
  std::printf("RESULT dataset_stream/write ours=%s peer=%s ratio=%s\n",
              px::InvariantFloatToStr(writeSeconds, 6).c_str(), px::InvariantFloatToStr(memcpySeconds, 6).c_str(),
              px::InvariantFloatToStr(writeSeconds / memcpySeconds, 2).c_str());
  std::printf("RESULT dataset_stream/read ours=%s peer=%s ratio=%s\n", px::InvariantFloatToStr(readSeconds, 6).c_str(),
              px::InvariantFloatToStr(memcpySeconds, 6).c_str(),
              px::InvariantFloatToStr(readSeconds / memcpySeconds, 2).c_str());
  return 0;
}
