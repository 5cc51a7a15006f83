#pragma once
// The counting report of the database module: the logo, the header table and
// the grouped table of the counted items, laid out by the report builder; and
// the same header and table as semicolon-separated lines.
#include <memory>
#include <string>
#include <vector>

#include "data/UnitDataSet.h"
#include "pdf/gui/UnitPDFReport.h"
#include "platform/core/Types.h"
#include "platform/gui/Graphics.h"

namespace px {

// One stored counting as the report shows it. Its texts are the program's
// 8-bit text (Windows-1252), as the database and the record store keep them.
struct TCountingRow {
  Integer ID = 0;
  Integer UserID = 0;
  TDateTime When = 0;
  std::string Values;  // the enciphered details
  std::string Valuta;
  std::string CashDrawer;
  std::string CompanyName;
};

// The cells of the report's two tables, with their markup, and the lines of
// the CSV export; all UTF-8.
struct TCountingReportContent {
  std::vector<std::string> HeaderCells;  // four per row
  std::vector<std::string> BodyCells;    // five per row, the header row first
  // One entry above the table, then one below each row.
  std::vector<bool> BodyRowLines;
  std::vector<std::string> CSVLines;
};

// The builder of the counting report: one-inch margins at both ends of the
// page, the amount columns of its tables right-aligned.
class TMyReportBuilder : public TPDFReportBuilder {
 public:
  void GetMargins(int32_t& Top, int32_t& Bottom) override;
  void CellCallback(TPDFReportBuilder& Builder, int32_t Column, int32_t Row);
};

// Lays out the report of the content, with the logo when there is one, and
// returns the PDF positioned at 0.
std::unique_ptr<TMemoryStream> ProduceCountingReport(const TCountingReportContent& Content, const TBitmap* Logo);

// Details and employee text of a counting turned into the report's cells.
// Reading the details raises the dataset reader's error for damaged or
// wrongly enciphered data.
TCountingReportContent BuildCountingReportContent(const TCountingRow& Row, const std::string& Employee);

// The employee as the report names it (UTF-8): the translation of "Anonymous" for
// -1, else the number, followed by the name when Users holds that ID.
std::string CountingEmployeeText(Integer UserID, const IMemDataSet& Users);

// The logo file as a bitmap, read by its lower-cased extension (".jpg" and
// ".jpeg" as JPEG, ".png" as PNG, anything else through the platform's image
// reader); nullptr when the file is missing or cannot be read.
std::unique_ptr<TBitmap> LoadLogoBitmap(const std::string& FileName);
// The same from a file's bytes and its lower-cased extension (with the dot).
std::unique_ptr<TBitmap> LogoBitmapFromBytes(const std::string& Bytes, const std::string& Extension);

// The size of a logo of Width x Height pixels fitted into Box x Box with its
// aspect kept.
TSize FitLogoSize(Integer Width, Integer Height, Integer Box);

// A CSV field as written: quoted (inner quotes doubled) only when it holds a
// separator, a double quote or a line break, so that it stays one field.
std::string CSVField(const std::string& Text);

}  // namespace px
