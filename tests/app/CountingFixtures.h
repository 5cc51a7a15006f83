#pragma once
// Counting details as the count screen stores them: a table of rows (type,
// name, count, total) in the old dataset stream format, enciphered.
#include <string>
#include <vector>

#include "data/UnitDataSet.h"
#include "data/UnitDataSetIOOld.h"
#include "platform/core/NumberConversion.h"
#include "platform/core/Streams.h"

namespace px::test {

struct DetailRow {
  Integer Type;
  std::string Name;
  Integer Count;
  std::string Total;  // decimal text with a full stop
};

inline std::string CountingDetails(const std::vector<DetailRow>& rows, const char* password = CountingDataPassword) {
  IMemDataSet table = CreateMemDataSet();
  table->AddField(mftInteger, "Type", 0);
  table->AddField(mftAnsiString, "Name", 0);
  table->AddField(mftInteger, "Count", 0);
  table->AddField(mftCurrency, "Total", 0);
  for (const DetailRow& r : rows) {
    TMemRecord* rec = table->AddRecord();
    rec->SetInteger(0, r.Type);
    rec->SetAnsiString(1, r.Name);
    rec->SetInteger(2, r.Count);
    rec->SetCurrency(3, StrToCurr(r.Total, DefaultFormatSettings()));
  }
  TStringStream stream;
  SaveDataSetToStream(stream, table, password);
  return stream.DataString();
}

}  // namespace px::test
