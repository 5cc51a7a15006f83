#include "device/scalesim/ScaleFile.h"

#include <fstream>
#include <sstream>

#include "platform/core/Exceptions.h"

namespace px {

TScaleFile ReadScaleFile(const std::string& fileName) {
  std::ifstream in(fileName);
  if (!in) throw EFOpenError("Cannot open file \"" + fileName + "\".");
  TScaleFile f;
  TScaleSimulator::Table* table = nullptr;
  std::string line;
  int lineNo = 0;
  auto fail = [&](const std::string& why) {
    throw EConvertError(fileName + ":" + std::to_string(lineNo) + ": " + why);
  };
  while (std::getline(in, line)) {
    ++lineNo;
    if (auto hash = line.find('#'); hash != std::string::npos) line.resize(hash);
    std::istringstream words(line);
    std::string word;
    if (!(words >> word)) continue;
    long long a = 0, b = 0, c = 0, d = 0, e = 0, g = 0;
    if (word == "variant") {
      if (!(words >> a) || (a != 1 && a != 2)) fail("variant must be 1 or 2");
      f.Variant = static_cast<Integer>(a);
    } else if (word == "protocol") {
      if (!(words >> a) || a < 0 || a > 255) fail("protocol must be 0 to 255");
      f.Protocol = static_cast<Cardinal>(a);
    } else if (word == "table") {
      std::string code;
      if (!(words >> a >> code) || a < 1 || a > 3 || code.size() != 3) fail("table needs a position 1 to 3 and a code");
      table = &f.Tables[a - 1];
      table->Code = code;
    } else if (word == "slot") {
      if (!table) fail("slot before any table");
      if (!(words >> a >> b >> c >> d) || a < 1 || a > 63 || b < 0 || c < 0 || c > 3 || d < 0 || d > 0x7FFFFF)
        fail("slot needs a number 1 to 63, a value, a type 0 to 3 and a weight");
      if (words >> e && (e < 0 || e > 65535)) fail("pieces per package must be 0 to 65535");
      if (words >> g && (g < 0 || g > 255)) fail("version must be 0 to 255");
      auto& slot = table->Slots[a];
      slot.Value = static_cast<Integer>(b);
      slot.SlotType = static_cast<Byte>(c);
      slot.Weight = static_cast<Integer>(d);
      slot.GroupCount = static_cast<Word>(e);
      slot.Series = static_cast<Byte>(g);
    } else if (word == "current") {
      if (!(words >> word) || word.size() != 3) fail("current needs a three-letter code");
      f.Current = word;
    } else if (word == "count") {
      if (!(words >> a >> b) || a < 1 || a > 63 || b < 0 || b > 0x7FFFFFFF) fail("count needs a slot 1 to 63 and a count");
      f.Counts[a] = static_cast<Integer>(b);
    } else {
      fail("unknown statement \"" + word + "\"");
    }
  }
  return f;
}

void ApplyScaleFile(const TScaleFile& file, TScaleSimulator& scale) {
  for (Integer p = 1; p <= 3; ++p) scale.SetTable(p, file.Tables[p - 1]);
  scale.SetCurrentCode(file.Current);
  for (Integer s = 1; s < 64; ++s) scale.SetCount(s, file.Counts[s]);
}

}  // namespace px
