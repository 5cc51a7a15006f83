#include "app/UnitDataReport.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "data/UnitDataSetIOOld.h"
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

// Text taken from the data goes into markup cells: its "<" and "&" must
// print as themselves rather than start a tag or a character reference.
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

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void jpegErrorExit(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }
void jpegSilence(j_common_ptr, int) {}

// Decodes a JPEG file into a 24-bit bitmap; false when libjpeg refuses it.
// Only plain data lives between setjmp and longjmp.
bool decodeJpeg(const std::string& bytes, TBitmap& bitmap) {
  jpeg_decompress_struct info{};
  JpegError error{};
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = jpegErrorExit;
  error.manager.emit_message = jpegSilence;
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = info.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_calc_output_dimensions(&info);
  if (static_cast<Int64>(info.output_width) * info.output_height > MaxLogoPixels) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_start_decompress(&info);
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(static_cast<int32_t>(info.output_width), static_cast<int32_t>(info.output_height));
  std::vector<JSAMPLE> row(static_cast<size_t>(info.output_width) * static_cast<size_t>(info.output_components));
  while (info.output_scanline < info.output_height) {
    const int32_t y = static_cast<int32_t>(info.output_scanline);
    JSAMPROW rows[1] = {row.data()};
    if (jpeg_read_scanlines(&info, rows, 1) != 1) break;
    Byte* target = bitmap.ScanLine(y);
    for (size_t x = 0; x < info.output_width; ++x) {
      const JSAMPLE* p = row.data() + x * static_cast<size_t>(info.output_components);
      const bool grey = info.output_components == 1;
      target[3 * x] = grey ? p[0] : p[2];
      target[3 * x + 1] = grey ? p[0] : p[1];
      target[3 * x + 2] = p[0];
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
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
    content.HeaderCells.push_back(bold(label));
    content.HeaderCells.push_back(literal(value));
    content.CSVLines.push_back(CSVField(label) + ";" + CSVField(value));
  }

  // Body: the same cells twice, with markup for the report and plain for
  // the CSV lines.
  std::vector<std::string> plain = {"", Translate("Description"), Translate("Count"), Translate("ValueCredit"),
                                    Translate("ValueDebit")};
  content.BodyCells = {""};
  for (size_t i = 1; i < plain.size(); ++i) content.BodyCells.push_back(bold(plain[i]));
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
    for (const std::string& cell : {caption, nameCell, countText, credit, debit}) content.BodyCells.push_back(cell);
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
  auto bitmap = std::make_unique<TBitmap>();
  try {
    if (extension == ".jpg" || extension == ".jpeg") {
      if (!decodeJpeg(ReadFileToString(FileName), *bitmap)) return nullptr;
    } else if (extension == ".png") {
      LoadBitmapFromPNGFile(bitmap.get(), FileName);
    } else {
      TBitmapGraphic graphic;
      const std::string bytes = ReadFileToString(FileName);
      graphic.LoadFromBytes(TBytes(bytes.begin(), bytes.end()));
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
