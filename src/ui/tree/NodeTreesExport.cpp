// The string tree's exports: an HTML table (UTF-8), the same as a clipboard
// "HTML Format" document, an RTF table, and separated text in Windows-1252
// and in UTF-16. The clipboard renders its text formats with these.
//
// Output goes into std::string buffers, which grow geometrically, so that a
// large export stays linear.
#include <unicode/ulocdata.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "data/UnitLocales.h"
#include "platform/core/CodePages.h"
#include "platform/core/Format.h"
#include "ui/tree/NodeTreesString.h"

namespace px {

namespace {

const char* const CRLF = "\r\n";

std::string colorText(TColor color) {
  const uint32_t rgb = static_cast<uint32_t>(ColorToRGB(color));
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "#%02X%02X%02X", rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
  return buffer;
}

// Text for HTML content; with attribute, also safe inside a double-quoted
// attribute value. Cell texts are the user's data: unescaped, a "<" would
// open a tag.
std::string htmlText(const UnicodeString& text, bool attribute = false) {
  const std::string utf8 = UnicodeToUtf8(text);
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"':
        if (attribute) {
          out += "&quot;";
          break;
        }
        [[fallthrough]];
      default: out += c;
    }
  }
  return out;
}

// Appends text as UTF-8 escaped for HTML content (a lone surrogate is
// dropped), without the intermediate strings of htmlText: the cells of a large
// export go through here.
void appendHtml(std::string& out, const UnicodeString& text) {
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    const char32_t u = text[i];
    if (u < 0x80) {
      switch (u) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += static_cast<char>(u);
      }
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else if (u >= 0xD800 && u < 0xE000) {
      if (u < 0xDC00 && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
        const char32_t c = 0x10000 + ((u - 0xD800) << 10) + (text[++i] - 0xDC00);
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
      }
    } else {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
}

std::string alignText(TAlignment alignment) {
  switch (alignment) {
    case taRightJustify: return " align=right";
    case taCenter: return " align=center";
    default: return " align=left";
  }
}

bool sameFont(const TFont& a, const TFont& b) {
  return a.Name() == b.Name() && a.Height() == b.Height() && a.Style() == b.Style() && a.Color() == b.Color();
}

// The font style text of the HTML export, with a class name or as an
// attribute.
std::string fontStyle(const TFont& font, const std::string& className) {
  std::string out = className.empty() ? " style=\"{" : "." + className + "{";
  out += "font-family: '" + htmlText(Utf8ToUnicode(font.Name()), true) + "'; ";
  if (font.Size() < 0)
    out += "font-size: " + std::to_string(font.Height()) + "px; ";
  else
    out += "font-size: " + std::to_string(font.Size()) + "pt; ";
  out += std::string("font-style: ") + (font.Style().Contains(fsItalic) ? "italic" : "normal") + "; ";
  out += std::string("font-weight: ") + (font.Style().Contains(fsBold) ? "bold" : "normal") + "; ";
  out += std::string("text-decoration: ") + (font.Style().Contains(fsUnderline) ? "underline" : "none") + "; ";
  out += "color: " + colorText(font.Color()) + ";}";
  if (className.empty()) out += "\"";
  return out;
}

std::string eightDigits(const char* name, size_t value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%s%.8zu\r\n", name, value);
  return buffer;
}

// The separated-text cell rules of both text exports.
template <class S>
bool contains(const S& text, const S& part) {
  return !part.empty() && text.find(part) != S::npos;
}

}  // namespace

std::string MakeCFHTML(const std::string& fragment) {
  static const char* const Doctype = "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">";
  static const char* const Head =
      "<html><head><META http-equiv=Content-Type content=\"text/html; charset=utf-8\"></head><body>"
      "<!--StartFragment-->";
  static const char* const Trailer = "<!--EndFragment--></body></html>";
  const size_t l = fragment.size();
  std::string out;
  out.reserve(l + 301);
  out += "Version:1.0\r\n";
  out += eightDigits("StartHTML:", 97);
  out += eightDigits("EndHTML:", l + 301);
  out += eightDigits("StartFragment:", 269);
  out += eightDigits("EndFragment:", l + 269);
  out += Doctype;
  out += Head;
  out += fragment;
  out += Trailer;
  return out;
}

AnsiString UserListSeparator() {
  const std::string separator = Locales().GetCurrentLocale()->FormatSettings().ListSeparator;
  return separator.empty() ? AnsiString(",") : Utf8ToAnsi(separator);
}

bool UserMeasuresMetric() {
  UErrorCode status = U_ZERO_ERROR;
  const UMeasurementSystem system =
      ulocdata_getMeasurementSystem(Locales().GetCurrentLocale()->IcuName().c_str(), &status);
  return U_FAILURE(status) || system == UMS_SI;
}

// ---------------------------------------------------------------------------
// The walk shared by the exports

namespace {

struct ExportWalk {
  TCustomNodeStringTree& tree;
  TNTExportSource source;

  PNTNode first() const {
    switch (source) {
      case tstInitialized: return tree.GetFirstInitialized();
      case tstSelected: return tree.GetFirstSelected();
      case tstCutCopySet: return tree.GetFirstCutCopy();
      case tstVisible: return tree.GetFirstVisible(nullptr, false);
      case tstChecked: return tree.GetFirstChecked();
      default: return tree.GetFirst();
    }
  }
  PNTNode next(PNTNode node) const {
    switch (source) {
      case tstInitialized: return tree.GetNextInitialized(node);
      case tstSelected: return tree.GetNextSelected(node);
      case tstCutCopySet: return tree.GetNextCutCopy(node);
      case tstVisible: return tree.GetNextVisible(node, false);
      case tstChecked: return tree.GetNextChecked(node);
      default: return tree.GetNext(node);
    }
  }
  // The export mode of the options: all, checked only or unchecked only.
  bool exportable(PNTNode node) const {
    switch (tree.Options().ExportFilter) {
      case 1: return node->CheckState == csCheckedNormal;
      case 2: return node->CheckState == csUncheckedNormal;
      default: return true;
    }
  }
  // The visible columns in display order; {-1} without columns.
  std::vector<TColumnIndex> columns() const {
    std::vector<TColumnIndex> result;
    TNodeTreeColumns& cols = tree.Header().Columns();
    if (!tree.Header().UseColumns()) return {NoColumn};
    for (TColumnIndex c = cols.GetFirstVisibleColumn(); c >= 0; c = cols.GetNextVisibleColumn(c)) result.push_back(c);
    return result;
  }
  int32_t maxLevel(bool exportableOnly) const {
    int32_t level = 0;
    for (PNTNode n = first(); n; n = next(n))
      if (!exportableOnly || exportable(n)) level = std::max(level, static_cast<int32_t>(tree.GetNodeLevel(n)));
    return level;
  }
};

}  // namespace

bool TCustomNodeStringTree::exportNode(TNTExportKind kind, PNTNode node) {
  return !OnBeforeNodeExport || OnBeforeNodeExport(this, kind, node);
}

// ---------------------------------------------------------------------------
// HTML

std::string TCustomNodeStringTree::ContentToHTML(TNTExportSource source, const UnicodeString& caption) {
  ExportWalk walk{*this, source};
  TNodeTreeColumns& cols = header_->Columns();
  const bool useColumns = header_->UseColumns();
  const TColumnIndex mainColumn = header_->MainColumn();
  const std::vector<TColumnIndex> columns = walk.columns();
  const std::string padding =
      "padding-left:" + std::to_string(margin_) + "px;padding-right:" + std::to_string(margin_) + "px;";
  const std::string indentWidth = std::to_string(indent_);
  std::string tableAttributes = " ";
  if (!caption.empty()) tableAttributes += "caption=\"" + htmlText(caption, true) + "\"";
  // A framed tree gives its table a frame as wide as its own border.
  if (BorderStyle() != bsNone) tableAttributes += " border=\"" + std::to_string(BorderWidth() + 1) + "\" frame=box";
  const TNTPaintOptions paint = options_->PaintOptions();
  const std::string lineStyle = LineStyle() == 2 ? "solid;" : "dotted;";
  const int32_t maxLevel = walk.maxLevel(true);

  std::string out;
  out += "<META http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">";
  out += "<style type=\"text/css\">";
  out += CRLF;
  out += fontStyle(Font(), "default");
  out += CRLF;
  out += fontStyle(header_->Font(), "header");
  out += CRLF;
  if (paint.Contains(poShowHorzGridLines))
    out += ".noborder{border-style:" + lineStyle + " border-bottom:1;border-left:0;border-right:0; border-top:0;";
  else
    out += ".noborder{border-style:none;";
  out += padding + "}";
  out += CRLF;
  out += ".normalborder {border-top:none; border-left:none; vertical-align:top;";
  out += paint.Contains(poShowVertGridLines) ? "border-right:1 " + lineStyle : std::string("border-right:none;");
  out += paint.Contains(poShowHorzGridLines) ? "border-bottom:1 " + lineStyle : std::string("border-bottom:none;");
  out += padding + "}";
  out += "</style>";
  out += CRLF;
  out += "<table class=\"default\" bgcolor=" + colorText(Color()) + tableAttributes + " cellspacing=\"0\" cellpadding=" +
         std::to_string(margin_) + ">";
  out += CRLF;

  if (useColumns) {
    if (OnBeforeHeaderExport) OnBeforeHeaderExport(this, etHTML);
    out += "<tr class=\"header\" style=\"" + padding + "\">";
    out += CRLF;
    for (TColumnIndex c : columns) {
      TNodeTreeColumn* column = cols.Items(c);
      if (OnBeforeColumnExport) OnBeforeColumnExport(this, etHTML, c);
      out += "<th height=\"" + std::to_string(header_->Height()) + "px\"";
      TAlignment alignment = column->CaptionAlignment();
      if (column->BiDiMode() != bdLeftToRight) {
        out += " dir=\"rtl\"";
        ChangeBiDiModeAlignment(alignment);
      }
      out += alignText(alignment);
      if (c == mainColumn && maxLevel > 0) out += " colspan=\"" + std::to_string(maxLevel + 1) + "\"";
      out += " bgcolor=" + colorText(clBtnFace);
      out += " width=\"" + std::to_string(column->Width()) + "px\">";
      out += htmlText(column->Text());
      out += "</th>";
      if (OnAfterColumnExport) OnAfterColumnExport(this, etHTML, c);
    }
    out += "</tr>";
    out += CRLF;
    if (OnAfterHeaderExport) OnAfterHeaderExport(this, etHTML);
  }

  // What each cell of a column writes apart from its text, made once.
  struct CellParts {
    bool parentColor;
    std::string tail;  // alignment and colour attributes
    std::string indent;  // one indentation cell of the column's colour
  };
  std::vector<CellParts> parts;
  for (TColumnIndex c : columns) {
    TNodeTreeColumn* column = c >= 0 ? cols.Items(c) : nullptr;
    CellParts p;
    p.parentColor = !column || column->Options().Contains(coParentColor);
    TAlignment alignment = column ? column->Alignment() : alignment_;
    if (column && column->BiDiMode() != bdLeftToRight) {
      p.tail += " dir=\"rtl\"";
      ChangeBiDiModeAlignment(alignment);
    }
    p.tail += alignText(alignment);
    if (!p.parentColor) {
      p.indent = "<td class=\"noborder\" width=\"" + indentWidth + "\" height=\"";
      p.tail += " bgcolor=" + colorText(column->Color());
    }
    parts.push_back(std::move(p));
  }
  // Room for a typical row per node up front: the rows are appended in many
  // small pieces.
  out.reserve(out.size() + static_cast<size_t>(TotalCount()) * (40 + 80 * columns.size()));
  TCanvas& canvas = MeasureCanvas();
  for (PNTNode node = walk.first(); node; node = walk.next(node)) {
    if (!walk.exportable(node) || !exportNode(etHTML, node)) continue;
    const int32_t level = static_cast<int32_t>(GetNodeLevel(node));
    const std::string height = std::to_string(NodeHeight(node));
    out += " <tr class=\"default\">\r\n";
    for (size_t i = 0; i < columns.size(); ++i) {
      const TColumnIndex c = columns[i];
      const CellParts& p = parts[i];
      canvas.Font().Assign(Font());
      PreparePaintText(node, canvas, c, ttNormal);
      const bool fontChanged = !sameFont(canvas.Font(), Font());
      if (c == mainColumn) {
        for (int32_t l = 0; l < level; ++l) {
          if (p.parentColor) {
            if (l == 0)
              out.append(" <td height=\"").append(height).append("px\" class=\"normalborder\">&nbsp;</td>");
            else
              out += " <td>&nbsp;</td>";
          } else {
            out.append(p.indent).append(height).append("px\"").append(p.tail.substr(p.tail.find(" bgcolor=")));
            out += ">&nbsp;</td>";
          }
        }
      }
      if (fontChanged)
        out.append(" <td class=\"normalborder\" ").append(fontStyle(canvas.Font(), "")).append(" height=\"");
      else
        out += " <td class=\"normalborder\"  height=\"";
      out.append(height).append("px\"").append(p.tail, 0, p.tail.find(" bgcolor="));
      if (c == mainColumn && maxLevel > 0 && level < maxLevel)
        out.append(" colspan=\"").append(std::to_string(maxLevel - level + 1)).append("\"");
      if (!p.parentColor) out.append(p.tail, p.tail.find(" bgcolor="), std::string::npos);
      out += '>';
      appendHtml(out, Text(node, c));
      out += "</td>";
    }
    if (OnAfterNodeExport) OnAfterNodeExport(this, etHTML, node);
    out += " </tr>\r\n";
  }
  out += "</table>";
  return out;
}

std::string TCustomNodeStringTree::ContentToCFHTML(TNTExportSource source) {
  return MakeCFHTML(ContentToHTML(source));
}

// ---------------------------------------------------------------------------
// RTF

namespace {

struct RtfWriter {
  std::string body;
  std::vector<std::string> fonts;
  std::vector<TColor> colors;
  int fontIndex = -1;
  int colorIndex = -1;
  int size = -1;

  void text(const UnicodeString& text, const TFont& font) {
    if (text.empty()) return;
    const TFontStyles style = font.Style();
    if (style.Contains(fsUnderline)) body += "\\ul";
    if (style.Contains(fsItalic)) body += "\\i";
    if (style.Contains(fsBold)) body += "\\b";
    auto f = std::find(fonts.begin(), fonts.end(), font.Name());
    if (f == fonts.end()) {
      fonts.push_back(font.Name());
      fontIndex = static_cast<int>(fonts.size()) - 1;
      body += "\\f" + std::to_string(fontIndex);
    } else if (f - fonts.begin() != fontIndex) {
      fontIndex = static_cast<int>(f - fonts.begin());
      body += "\\f" + std::to_string(fontIndex);
    }
    const TColor rgb = ColorToRGB(font.Color());
    auto k = std::find(colors.begin(), colors.end(), rgb);
    if (k == colors.end()) {
      colors.push_back(rgb);
      colorIndex = static_cast<int>(colors.size()) - 1;
      body += "\\cf" + std::to_string(colorIndex + 1);
    } else if (k - colors.begin() != colorIndex) {
      colorIndex = static_cast<int>(k - colors.begin());
      body += "\\cf" + std::to_string(colorIndex + 1);
    }
    if (font.Size() != size) {
      size = font.Size();
      body += "\\fs" + std::to_string(size * 2);
    }
    body += ' ';
    for (char16_t unit : text) {
      if (unit == u'\n')
        body += "{\\par}";
      else if (unit != u'\r')
        body += "\\u" + std::to_string(static_cast<int16_t>(unit)) + "\\'3f";
    }
    if (style.Contains(fsUnderline)) body += "\\ul0";
    if (style.Contains(fsItalic)) body += "\\i0";
    if (style.Contains(fsBold)) body += "\\b0";
  }
};

const char* rtfAlign(TAlignment alignment, bool leftToo) {
  switch (alignment) {
    case taRightJustify: return "\\qr";
    case taCenter: return "\\qc";
    default: return leftToo ? "\\ql" : "";
  }
}

// Pixels to twips, halves to even.
int64_t twips(int64_t pixels, int32_t ppi) { return std::llrint(static_cast<double>(pixels) * 1440.0 / ppi); }

}  // namespace

std::string TCustomNodeStringTree::ContentToRTF(TNTExportSource source) {
  ExportWalk walk{*this, source};
  TNodeTreeColumns& cols = header_->Columns();
  const bool useColumns = header_->UseColumns();
  const TColumnIndex mainColumn = header_->MainColumn();
  const std::vector<TColumnIndex> columns = walk.columns();
  const int32_t ppi = Font().PixelsPerInch() > 0 ? Font().PixelsPerInch() : 96;
  RtfWriter w;
  w.body = "\\uc1\\trowd\\trgaph70";
  if (useColumns) {
    int64_t sum = 0;
    for (TColumnIndex c : columns) {
      sum += cols.Items(c)->Width();
      w.body += "\\cellx" + std::to_string(twips(sum, ppi));
    }
  } else {
    w.body += "\\cellx" + std::to_string(twips(ClientWidth(), ppi));
  }
  if (useColumns) {
    if (OnBeforeHeaderExport) OnBeforeHeaderExport(this, etRTF);
    w.body += "\\pard\\intbl";
    for (TColumnIndex c : columns) {
      TNodeTreeColumn* column = cols.Items(c);
      if (OnBeforeColumnExport) OnBeforeColumnExport(this, etRTF, c);
      TAlignment alignment = column->CaptionAlignment();
      if (column->BiDiMode() != bdLeftToRight) ChangeBiDiModeAlignment(alignment);
      w.body += rtfAlign(alignment, true);
      w.text(column->Text(), header_->Font());
      w.body += "\\cell";
      if (OnAfterColumnExport) OnAfterColumnExport(this, etRTF, c);
    }
    w.body += "\\row";
    if (OnAfterHeaderExport) OnAfterHeaderExport(this, etRTF);
  }
  TCanvas& canvas = MeasureCanvas();
  for (PNTNode node = walk.first(); node; node = walk.next(node)) {
    if (!walk.exportable(node) || !exportNode(etRTF, node)) continue;
    const int32_t level = static_cast<int32_t>(GetNodeLevel(node));
    for (TColumnIndex c : columns) {
      w.body += "\\pard\\intbl";
      w.body += rtfAlign(c >= 0 ? cols.Items(c)->Alignment() : alignment_, false);
      canvas.Font().Assign(Font());
      PreparePaintText(node, canvas, c, ttNormal);
      if (c == mainColumn && level >= 1) {
        for (int32_t i = 0; i < level; ++i) w.body += "\\tab";
        w.body += ' ';
      }
      w.text(Text(node, c), canvas.Font());
      w.body += "\\cell";
    }
    w.body += "\\row";
    w.body += CRLF;
    if (OnAfterNodeExport) OnAfterNodeExport(this, etRTF, node);
  }
  w.body += "\\pard\\par";

  std::string head = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1043{\\fonttbl";
  for (size_t i = 0; i < w.fonts.size(); ++i) head += "{\\f" + std::to_string(i) + " " + w.fonts[i] + ";}";
  head += "}{\\colortbl;";
  for (TColor color : w.colors) {
    const uint32_t rgb = static_cast<uint32_t>(color);
    head += "\\red" + std::to_string(rgb & 0xFF) + "\\green" + std::to_string((rgb >> 8) & 0xFF) + "\\blue" +
            std::to_string((rgb >> 16) & 0xFF) + ";";
  }
  head += "}";
  head += UserMeasuresMetric() ? "\\paperw16840\\paperh11907" : "\\paperw15840\\paperh12240";
  head += "\\margl720\\margr720\\margt720\\margb720";
  return head + w.body + "}";
}

// ---------------------------------------------------------------------------
// Separated text

namespace {

// The layout both text exports share: a heading line of the column texts,
// then a line per node, its main column indented by the node's level with
// the separator and padded to the deepest level, so that every line has the
// same number of fields. convert turns UTF-16 into the output's text, cell
// quotes a cell, take decides on a node (and runs the before-node hook),
// after runs the after-node hook.
template <class S, class Convert, class Cell, class Take, class After>
S separatedText(TCustomNodeStringTree& tree, const ExportWalk& walk, const S& separator, Convert convert, Cell cell,
                Take take, After after) {
  TNodeTreeColumns& cols = tree.Header().Columns();
  const bool useColumns = tree.Header().UseColumns();
  const TColumnIndex mainColumn = tree.Header().MainColumn();
  const std::vector<TColumnIndex> columns = walk.columns();
  const int32_t maxLevel = walk.maxLevel(false);
  const S newLine = convert(u"\r\n");
  S pad;
  for (int32_t i = 0; i < maxLevel; ++i) pad += separator;
  S out;
  if (useColumns) {
    for (size_t i = 0; i < columns.size(); ++i) {
      out += convert(cols.Items(columns[i])->Text());
      if (columns[i] == mainColumn) out += pad;
      if (i + 1 < columns.size()) out += separator;
    }
    out += newLine;
  }
  for (PNTNode node = walk.first(); node; node = walk.next(node)) {
    if (!take(node)) continue;
    const size_t level = tree.GetNodeLevel(node) * separator.size();
    if (!useColumns) {
      out += pad.substr(0, level);
      out += cell(convert(tree.Text(node, NoColumn)));
    } else {
      for (size_t i = 0; i < columns.size(); ++i) {
        const TColumnIndex c = columns[i];
        if (c == mainColumn) out += pad.substr(0, level);
        out += cell(convert(tree.Text(node, c)));
        if (c == mainColumn) out += pad.substr(std::min(level, pad.size()));
        if (i + 1 < columns.size()) out += separator;
      }
    }
    out += newLine;
    after(node);
  }
  return out;
}

}  // namespace

AnsiString TCustomNodeStringTree::ContentToText(TNTExportSource source, const AnsiString& separator) {
  ExportWalk walk{*this, source};
  // A cell holding the separator, a quote or a line break goes between
  // quotes (inner quotes doubled), so that a reader of the text finds the
  // same cells and rows.
  auto cell = [&](const AnsiString& text) {
    if (!contains(text, separator) && text.find_first_of("\"\r\n") == AnsiString::npos) return text;
    AnsiString quoted = "\"";
    for (char c : text) {
      if (c == '"') quoted += '"';
      quoted += c;
    }
    return quoted + "\"";
  };
  return separatedText(
      *this, walk, separator, [](const UnicodeString& text) { return UnicodeToAnsi(text); }, cell,
      [&](PNTNode node) { return walk.exportable(node) && exportNode(etText, node); },
      [&](PNTNode node) {
        if (OnAfterNodeExport) OnAfterNodeExport(this, etText, node);
      });
}

UnicodeString TCustomNodeStringTree::ContentToUnicode(TNTExportSource source, const UnicodeString& separator) {
  ExportWalk walk{*this, source};
  // Plain text for other programs, every node, no hooks: quoted only around
  // a separator.
  return separatedText(
      *this, walk, separator, [](const UnicodeString& text) { return text; },
      [&](const UnicodeString& text) { return contains(text, separator) ? u"\"" + text + u"\"" : text; },
      [](PNTNode) { return true; }, [](PNTNode) {});
}

AnsiString TCustomNodeStringTree::ContentToCSV(TNTExportSource source) {
  return ContentToText(source, UserListSeparator());
}

}  // namespace px
