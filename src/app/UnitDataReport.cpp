#include "app/UnitDataReport.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "data/UnitDataSetIOOld.h"
#include "pdf/UnitPDFStreams.h"
#include "platform/core/CodePages.h"
#include "platform/core/DateTimeFormat.h"
#include "platform/core/Fonts.h"
#include "platform/core/NumberConversion.h"
#include "platform/core/Streams.h"
#include "ui/framework/UnitTranslation.h"
#include "ui/png/PNGBitmapAdapter.h"

namespace px {

namespace {

// Row types of the counting details.
enum : Integer { rtCoins, rtBankNotes, rtPackages, rtOthers, rtSubtotal, rtTotal };
// Fields of the counting details, in their stored order.
enum : Integer { dfType, dfName, dfCount, dfTotal };

// Logos beyond this many pixels are not decoded (a few bytes of header
// could otherwise ask for gigabytes).
constexpr Int64 MaxLogoPixels = Int64(1) << 26;
// Nor are files beyond this size read.
constexpr std::uintmax_t MaxLogoFileSize = std::uintmax_t(64) << 20;

std::string bold(const std::string& text) { return "<b>" + text + "</b>"; }

// Text taken from the data or the translation file goes into markup cells:
// its "<" and "&" must print as themselves rather than start a tag or a
// character reference.
std::string literal(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '<') out += "&#60;";
    else if (c == '&') out += "&#38;";
    else out += c;
  }
  return out;
}

std::string amountText(Currency value) { return CurrToStrF(value, ffNumber, 2); }

const char* groupCaptionKey(Integer type) {
  switch (type) {
    case rtCoins: return "Coins";
    case rtBankNotes: return "BankNotes";
    case rtPackages: return "Packages";
    case rtOthers: return "Others";
    default: return nullptr;
  }
}

std::string joinFields(const std::vector<std::string>& fields, size_t from, size_t count) {
  std::string line;
  for (size_t i = 0; i < count; ++i) {
    if (i) line += ';';
    line += CSVField(fields[from + i]);
  }
  return line;
}

// Decodes a JPEG file into a 24-bit bitmap through the PDF library's
// decoder; false when it refuses the file or cannot decode all its pixels.
bool decodeJpeg(const std::string& bytes, TBitmap& bitmap) {
  TJPEGImage image;
  DecodeJPEG(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), image, MaxLogoPixels);
  if (image.Damaged) return false;
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(image.Width, image.Height);
  const size_t width = static_cast<size_t>(image.Width);
  const size_t components = static_cast<size_t>(image.Components);
  for (int32_t y = 0; y < image.Height; ++y) {
    const uint8_t* row = image.Samples.data() + static_cast<size_t>(y) * width * components;
    Byte* target = bitmap.ScanLine(y);
    for (size_t x = 0; x < width; ++x) {
      const uint8_t* p = row + x * components;
      const bool grey = components == 1;
      target[3 * x] = grey ? p[0] : p[2];
      target[3 * x + 1] = grey ? p[0] : p[1];
      target[3 * x + 2] = p[0];
    }
  }
  return true;
}

}  // namespace

void TMyReportBuilder::GetMargins(int32_t& Top, int32_t& Bottom) {
  Top = 7200;
  Bottom = GetPageHeight() - 7200;
}

void TMyReportBuilder::CellCallback(TPDFReportBuilder&, int32_t Column, int32_t) {
  Renderer().Alignment = Column >= 3 ? 1 : 0;
}

std::unique_ptr<TMemoryStream> ProduceCountingReport(const TCountingReportContent& Content, const TBitmap* Logo) {
  TMyReportBuilder builder;
  TReportPage* page = builder.NewPage(true, true, true);
  const int32_t W = builder.GetPageWidth();
  if (Logo) {
    try {
      auto item = std::make_unique<TReportBitmap>();
      const TSize size = FitLogoSize(Logo->Width(), Logo->Height(), 7200);
      item->Left = W - 9600;
      item->Top = 2400;
      item->Width = size.cx;
      item->Height = size.cy;
      item->SetBitmap(*Logo);
      page->AddItem(std::move(item));
    } catch (const Exception&) {
      // The report goes on without its logo.
    }
  }
  auto unicode = [](const std::vector<std::string>& cells) {
    std::vector<UnicodeString> out;
    out.reserve(cells.size());
    for (const std::string& cell : cells) out.push_back(Utf8ToUnicode(cell));
    return out;
  };
  auto positions = [&](int32_t columns) {
    std::vector<int32_t> p;
    for (int32_t i = 0; i <= columns; ++i) p.push_back(MulDiv(W - 14400, i, columns) + 7200);
    return p;
  };
  builder.AddTable(positions(4), unicode(Content.HeaderCells), false, 25, 0);
  builder.SetLineSpacing(200);
  builder.AddTableEx(
      positions(5), unicode(Content.BodyCells),
      [&builder](TPDFReportBuilder& b, int32_t column, int32_t row) { builder.CellCallback(b, column, row); },
      std::vector<bool>(6, false), Content.BodyRowLines, 50, 100, 20, 0);
  auto stream = std::make_unique<TMemoryStream>();
  builder.SaveToStream(stream.get());
  stream->SetPosition(0);
  return stream;
}

std::string CSVField(const std::string& Text) {
  if (Text.find_first_of(";\"\r\n") == std::string::npos) return Text;
  std::string quoted = "\"";
  for (char c : Text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string CountingEmployeeText(Integer UserID, const IMemDataSet& Users) {
  if (UserID == -1) return Translate("Anonymous");
  std::string text = IntToStr(UserID);
  if (Users) {
    Integer index = Users->FindIndexOnFieldName("ID");
    if (index >= 0)
      if (TMemRecord* user = Users->FindInteger(index, UserID)) text += " " + AnsiToUtf8(user->GetAnsiStringByName("NAME"));
  }
  return text;
}

TCountingReportContent BuildCountingReportContent(const TCountingRow& Row, const std::string& Employee) {
  IMemDataSet details;
  TStringStream stream(Row.Values);
  LoadDataSetFromStream(stream, CountingDataPassword, details);

  TCountingReportContent content;
  // Header: label and value pairs, two pairs a row; the CSV names them in
  // reading order.
  const std::pair<const char*, std::string> pairs[] = {
      {"Drawer", AnsiToUtf8(Row.CashDrawer)},
      {"BatchID", IntToStr(Row.ID)},
      {"Date", DateToStr(Row.When)},
      {"Time", TimeToStr(Row.When)},
      {"Company", AnsiToUtf8(Row.CompanyName)},
      {"Employee", Employee},
      {"Currency", AnsiToUtf8(Row.Valuta)},
  };
  for (const auto& [key, value] : pairs) {
    const std::string label = Translate(key);
    content.HeaderCells.push_back(bold(literal(label)));
    content.HeaderCells.push_back(literal(value));
    content.CSVLines.push_back(CSVField(label) + ";" + CSVField(value));
  }

  // Body: the same cells twice, with markup for the report and plain for
  // the CSV lines.
  std::vector<std::string> plain = {"", Translate("Description"), Translate("Count"), Translate("ValueCredit"),
                                    Translate("ValueDebit")};
  content.BodyCells = {""};
  for (size_t i = 1; i < plain.size(); ++i) content.BodyCells.push_back(bold(literal(plain[i])));
  content.BodyRowLines = {false};
  Integer previousType = 0;
  bool first = true;
  for (TMemRecord* rec = details->First(); rec; rec = rec->GetNext()) {
    const Integer type = rec->GetInteger(dfType);
    const std::string name = AnsiToUtf8(rec->GetAnsiString(dfName));
    const Integer count = rec->GetInteger(dfCount);
    const Currency total = rec->GetCurrency(dfTotal);
    // The row before a subtotal or the total gets a rule under it.
    content.BodyRowLines.push_back(type == rtSubtotal || type == rtTotal);
    std::string caption;
    if (first || type != previousType)
      if (const char* key = groupCaptionKey(type)) caption = Translate(key);
    first = false;
    previousType = type;
    const std::string countText = count != 0 ? IntToStr(count) : "";
    const std::string credit = total >= Currency(0) ? amountText(total) : "";
    const std::string debit = total < Currency(0) ? amountText(-total) : "";
    std::string nameCell = literal(name);
    if (type == rtSubtotal) nameCell = bold(nameCell) + "<br>";
    else if (type == rtTotal) nameCell = bold(nameCell);
    for (const std::string& cell : {literal(caption), nameCell, countText, credit, debit}) content.BodyCells.push_back(cell);
    for (const std::string& cell : {caption, name, countText, credit, debit}) plain.push_back(cell);
  }
  content.BodyRowLines.push_back(true);  // under the last row
  for (size_t at = 0; at < plain.size(); at += 5) content.CSVLines.push_back(joinFields(plain, at, 5));
  return content;
}

std::unique_ptr<TBitmap> LoadLogoBitmap(const std::string& FileName) {
  std::error_code ec;
  if (FileName.empty() || !std::filesystem::is_regular_file(FileName, ec)) return nullptr;
  if (std::filesystem::file_size(FileName, ec) > MaxLogoFileSize || ec) return nullptr;
  const std::string extension = LowerCase(std::filesystem::path(FileName).extension().string());
  try {
    return LogoBitmapFromBytes(ReadFileToString(FileName), extension);
  } catch (const Exception&) {
    return nullptr;
  }
}

std::unique_ptr<TBitmap> LogoBitmapFromBytes(const std::string& Bytes, const std::string& Extension) {
  auto bitmap = std::make_unique<TBitmap>();
  try {
    if (Extension == ".jpg" || Extension == ".jpeg") {
      if (!decodeJpeg(Bytes, *bitmap)) return nullptr;
    } else if (Extension == ".png") {
      TPNGFile file;
      TBytesStream stream(TBytes(Bytes.begin(), Bytes.end()));
      file.LoadFromStream(stream);
      PNGFileToBitmap(file, bitmap.get(), pbmAuto);
    } else {
      TBitmapGraphic graphic;
      graphic.LoadFromBytes(TBytes(Bytes.begin(), Bytes.end()));
      bitmap->Assign(graphic.bitmap);
    }
  } catch (const Exception&) {
    return nullptr;
  }
  if (bitmap->Empty()) return nullptr;
  return bitmap;
}

TSize FitLogoSize(Integer Width, Integer Height, Integer Box) {
  if (Width > Height) return {Box, MulDiv(Box, Height, Width)};
  return {MulDiv(Box, Width, Height), Box};
}

}  // namespace px
