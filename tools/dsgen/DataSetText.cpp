#include "DataSetText.h"

#include <charconv>
#include <cinttypes>
#include <istream>
#include <ostream>

#include "platform/core/CodePages.h"
#include "platform/core/NumberConversion.h"

namespace px::dstext {
namespace {

const char* keyword(TMemAnyType t) {
  static const char* const words[] = {"int", "i64", "astr", "ustr", "flt", "dbl", "curr", "bool", "guid", "word", "byte"};
  return t <= mftByte ? words[t] : "?";
}

const char* indexMark(TMemIndexType k) {
  switch (k) {
    case mitUnorderedUnique:
      return "#";
    case mitOrderedUnique:
    case mitOrderedUniqueStatic:
      return "*";
    case mitOrderedNonUnique:
    case mitOrderedNonUniqueStatic:
      return "+";
    default:
      return "";
  }
}

std::string escape(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '\t')
      out += "\\t";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\\')
      out += "\\\\";
    else
      out += c;
  }
  return out;
}

template <class F>
std::string shortest(F v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string currencyText(Currency c) {
  const int64_t raw = c.Raw();
  const uint64_t mag = raw < 0 ? uint64_t(0) - uint64_t(raw) : uint64_t(raw);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%s%" PRIu64 ".%04" PRIu64, raw < 0 ? "-" : "", mag / 10000, mag % 10000);
  return buf;
}

std::string valueText(const TMemRecord& r, Integer f, TMemAnyType t) {
  if (r.IsNull(f)) return {};
  switch (t) {
    case mftInteger:
      return std::to_string(r.GetInteger(f));
    case mftInt64:
      return std::to_string(r.GetInt64(f));
    case mftAnsiString:
      return escape(AnsiToUtf8(r.GetAnsiString(f)));
    case mftUnicodeString:
      return escape(UnicodeToUtf8(r.GetUnicodeString(f)));
    case mftSingle:
      return shortest(r.GetSingle(f));
    case mftDouble:
      return shortest(r.GetDouble(f));
    case mftCurrency:
      return currencyText(r.GetCurrency(f));
    case mftBoolean:
      return r.GetBoolean(f) ? "True" : "False";
    case mftGUID:
      return GUIDToText(r.GetGUID(f));
    case mftWord:
      return std::to_string(r.GetWord(f));
    case mftByte:
      return std::to_string(r.GetByte(f));
    default:
      return {};
  }
}

[[noreturn]] void fail(size_t line, const std::string& why) {
  throw EConvertError("Line " + std::to_string(line) + ": " + why);
}

std::string unescape(std::string_view s, size_t line) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\') {
      out += s[i];
      continue;
    }
    if (++i == s.size()) fail(line, "text ends in a backslash");
    switch (s[i]) {
      case 't':
        out += '\t';
        break;
      case 'n':
        out += '\n';
        break;
      case '\\':
        out += '\\';
        break;
      default:
        fail(line, std::string("unknown escape \\") + s[i]);
    }
  }
  return out;
}

template <class F>
F parseFloat(std::string_view s, size_t line) {
  F v{};
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) fail(line, "'" + std::string(s) + "' is not a number");
  return v;
}

int64_t parseInt(std::string_view s, int64_t lo, int64_t hi, size_t line) {
  int64_t v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size() || v < lo || v > hi)
    fail(line, "'" + std::string(s) + "' is not a valid integer of the field's range");
  return v;
}

Currency parseCurrency(std::string_view s, size_t line) {
  const std::string text(s);
  const bool negative = !s.empty() && s[0] == '-';
  if (negative) s.remove_prefix(1);
  const size_t dot = s.find('.');
  std::string_view whole = s.substr(0, dot);
  std::string frac(dot == std::string_view::npos ? "" : s.substr(dot + 1));
  if (whole.empty() || frac.size() > 4 || frac.find_first_not_of("0123456789") != std::string::npos ||
      whole.find_first_not_of("0123456789") != std::string::npos)
    fail(line, "'" + text + "' is not a currency value with at most four decimals");
  frac.append(4 - frac.size(), '0');
  unsigned __int128 raw = 0;
  for (char c : whole) {
    raw = raw * 10 + static_cast<unsigned>(c - '0');
    if (raw > (unsigned __int128)1 << 70) break;
  }
  raw = raw * 10000 + static_cast<unsigned>(std::stoi(frac));
  const unsigned __int128 limit = negative ? (unsigned __int128)1 << 63 : ((unsigned __int128)1 << 63) - 1;
  if (raw > limit) fail(line, "'" + text + "' is out of the currency range");
  return Currency::FromRaw(negative ? static_cast<int64_t>(-(__int128)raw) : static_cast<int64_t>(raw));
}

void setValue(TMemRecord& r, Integer f, TMemAnyType t, std::string_view s, size_t line) {
  switch (t) {
    case mftInteger:
      r.SetInteger(f, static_cast<Integer>(parseInt(s, INT32_MIN, INT32_MAX, line)));
      break;
    case mftInt64:
      r.SetInt64(f, parseInt(s, INT64_MIN, INT64_MAX, line));
      break;
    case mftAnsiString:
      r.SetAnsiString(f, Utf8ToAnsi(unescape(s, line)));
      break;
    case mftUnicodeString:
      r.SetUnicodeString(f, Utf8ToUnicode(unescape(s, line)));
      break;
    case mftSingle:
      r.SetSingle(f, parseFloat<float>(s, line));
      break;
    case mftDouble:
      r.SetDouble(f, parseFloat<double>(s, line));
      break;
    case mftCurrency:
      r.SetCurrency(f, parseCurrency(s, line));
      break;
    case mftBoolean:
      if (s != "True" && s != "False") fail(line, "'" + std::string(s) + "' is not True or False");
      r.SetBoolean(f, s == "True");
      break;
    case mftGUID:
      r.SetGUID(f, TextToGUID(s));
      break;
    case mftWord:
      r.SetWord(f, static_cast<Word>(parseInt(s, 0, 65535, line)));
      break;
    case mftByte:
      r.SetByte(f, static_cast<Byte>(parseInt(s, 0, 255, line)));
      break;
    default:
      break;
  }
}

std::vector<std::string_view> splitTabs(std::string_view line) {
  std::vector<std::string_view> cells;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    cells.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) return cells;
    start = tab + 1;
  }
}

}  // namespace

void WriteTable(std::ostream& out, const TMemDataSet& table) {
  const Integer fields = table.GetFieldCount();
  std::vector<const char*> marks(static_cast<size_t>(fields), "");
  for (Integer i = 0; i < table.GetIndexCount(); ++i) {
    const Integer f = table.GetIndexField(i);
    if (f >= 0 && f < fields) marks[static_cast<size_t>(f)] = indexMark(table.GetIndexType(i));
  }
  for (Integer f = 0; f < fields; ++f)
    out << (f ? "\t" : "") << table.GetFieldName(f) << ':' << keyword(table.GetFieldType(f)) << marks[static_cast<size_t>(f)];
  out << '\n';
  for (const TMemRecord* r = table.First(); r; r = r->GetNext()) {
    for (Integer f = 0; f < fields; ++f) out << (f ? "\t" : "") << valueText(*r, f, table.GetFieldType(f));
    out << '\n';
  }
}

IMemDataSet ReadTable(std::istream& in, const std::string& name) {
  std::string line;
  if (!std::getline(in, line)) fail(1, "no header line");
  std::string spec;
  for (std::string_view item : splitTabs(line)) {
    // An index mark (#, *, +) ends an item by itself.
    if (!spec.empty() && spec.back() != '#' && spec.back() != '*' && spec.back() != '+') spec += ';';
    spec += item;
  }
  IMemDataSet table = spec.empty() ? CreateNamedMemDataSet(name) : CreateMemDataSetFromSpec(name, spec);
  const Integer fields = table->GetFieldCount();
  size_t lineNo = 1;
  while (std::getline(in, line)) {
    ++lineNo;
    const auto cells = splitTabs(line);
    if (fields == 0 ? !line.empty() : cells.size() != static_cast<size_t>(fields))
      fail(lineNo, std::to_string(cells.size()) + " values for " + std::to_string(fields) + " fields");
    TMemRecord* r = table->AddRecord();
    try {
      for (Integer f = 0; f < fields; ++f)
        if (!cells[static_cast<size_t>(f)].empty()) setValue(*r, f, table->GetFieldType(f), cells[static_cast<size_t>(f)], lineNo);
    } catch (const EConvertError&) {
      throw;
    } catch (const Exception& e) {
      fail(lineNo, e.Message());
    }
  }
  return table;
}

std::string Escape(std::string_view text) { return escape(text); }

}  // namespace px::dstext
