#include "TreeTsv.h"

#include "platform/core/CodePages.h"
#include "platform/core/Exceptions.h"

namespace px::pxtool {

namespace {

std::vector<std::string> splitFields(const std::string& line) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\t') {
      fields.emplace_back();
    } else if (c == '\\' && i + 1 < line.size()) {
      const char e = line[++i];
      fields.back() += e == 't' ? '\t' : e == 'n' ? '\n' : e;
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

}  // namespace

std::string EscapeTsvField(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\t')
      out += "\\t";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

TTsvTree::TTsvTree() : TCustomNodeStringTree(nullptr) {
  SetNodeDataSize(static_cast<int32_t>(sizeof(int32_t)));
  OnGetText = [this](TBaseNodeTree*, PNTNode node, TColumnIndex column, TNTTextType type, UnicodeString& text) {
    if (type != ttNormal) return;
    const int32_t row = rowOf(node);
    const size_t cell = column < 0 ? 0 : static_cast<size_t>(column);
    text = row > 0 && cell < Cells[row - 1].size() ? Cells[row - 1][cell] : UnicodeString();
  };
  OnNewText = [this](TBaseNodeTree*, PNTNode node, TColumnIndex column, const UnicodeString& text) {
    int32_t& row = rowOf(node);
    if (row == 0) {
      Cells.emplace_back();
      row = static_cast<int32_t>(Cells.size());
    }
    const size_t cell = column < 0 ? 0 : static_cast<size_t>(column);
    auto& cells = Cells[row - 1];
    if (cells.size() <= cell) cells.resize(cell + 1);
    cells[cell] = text;
  };
}

void TTsvTree::LoadTsv(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  if (lines.empty()) return;
  TNodeTreeColumns& columns = Header().Columns();
  if (!lines[0].empty())
    for (const std::string& caption : splitFields(lines[0])) columns.AddColumn()->SetText(Utf8ToUnicode(caption));
  const size_t cellCount = columns.Count() > 0 ? static_cast<size_t>(columns.Count()) : 1;

  Options().SetSelectionOptions(Options().SelectionOptions() + TNTSelectionOptions{slMultiSelect});
  std::vector<PNTNode> parents{nullptr};
  BeginUpdate();
  try {
    for (size_t i = 1; i < lines.size(); ++i) {
      if (lines[i].empty()) continue;
      std::vector<std::string> fields = splitFields(lines[i]);
      size_t level = 0;
      try {
        level = static_cast<size_t>(std::stoul(fields[0]));
      } catch (const std::exception&) {
        throw EConvertError("Line " + std::to_string(i + 1) + ": the level is not a number");
      }
      if (level >= parents.size()) throw EConvertError("Line " + std::to_string(i + 1) + ": the level skips a level");
      parents.resize(level + 1);
      PNTNode node = AddChild(parents[level]);
      parents.push_back(node);
      size_t first = 1;
      if (fields.size() == cellCount + 2 && (fields[1] == "c" || fields[1] == "u")) {
        SetCheckType(node, ctCheckBox);
        SetCheckState(node, fields[1] == "c" ? csCheckedNormal : csUncheckedNormal);
        first = 2;
      }
      Cells.emplace_back();
      for (size_t f = first; f < fields.size(); ++f) Cells.back().push_back(Utf8ToUnicode(fields[f]));
      rowOf(node) = static_cast<int32_t>(Cells.size());
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  FullExpand();
  SelectAll(false);
}

}  // namespace px::pxtool
