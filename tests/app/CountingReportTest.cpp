// The counting report's content: the cells of its two tables, the CSV lines,
// the employee text and the logo, from details made the way the count screen
// stores them.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include "CountingFixtures.h"
#include "app/UnitDataReport.h"
#include "platform/core/DateTime.h"
#include "platform/core/DateTimeFormat.h"
#include "platform/core/FormatSettings.h"
#include "support/TempDir.h"
#include "ui/framework/UnitTranslation.h"

namespace px {
namespace {

using test::CountingDetails;
using test::DetailRow;

// The rows of the Part's example: three item rows, a subtotal and the total.
const std::vector<DetailRow> kExample = {
    {0, "2 euro", 617, "1234"},   {0, "1 euro", 0, "0"},       {4, "Subtotal", 0, "1234"},
    {3, "Initial cash", 0, "-12.5"}, {5, "Total", 0, "1221.5"},
};

class CountingReportContent : public testing::Test {
 protected:
  void SetUp() override {
    saved = FormatSettings;
    FormatSettings = DefaultFormatSettings();
    row.ID = 7;
    row.UserID = -1;
    row.When = EncodeDate(2024, 2, 29) + EncodeTime(13, 45, 7, 0);
    row.Values = CountingDetails(kExample);
    row.Valuta = "EUR";
    row.CashDrawer = "K1";
    row.CompanyName = "Bos BV";
  }
  void TearDown() override { FormatSettings = saved; }

  TFormatSettings saved;
  TCountingRow row;
};

TEST_F(CountingReportContent, HeaderBodyRulesAndCSVLines) {
  TCountingReportContent c = BuildCountingReportContent(row, "Anonymous");
  const std::string date = DateToStr(row.When), time = TimeToStr(row.When);
  EXPECT_EQ(std::vector<std::string>({"<b>Drawer</b>", "K1", "<b>BatchID</b>", "7", "<b>Date</b>", date, "<b>Time</b>",
                                      time, "<b>Company</b>", "Bos BV", "<b>Employee</b>", "Anonymous",
                                      "<b>Currency</b>", "EUR"}),
            c.HeaderCells);
  EXPECT_EQ(std::vector<std::string>({"",
                                      "<b>Description</b>",
                                      "<b>Count</b>",
                                      "<b>ValueCredit</b>",
                                      "<b>ValueDebit</b>",
                                      "Coins", "2 euro", "617", "1,234.00", "",
                                      "", "1 euro", "", "0.00", "",
                                      "", "<b>Subtotal</b><br>", "", "1,234.00", "",
                                      "Others", "Initial cash", "", "", "12.50",
                                      "", "<b>Total</b>", "", "1,221.50", ""}),
            c.BodyCells);
  // A rule under every row that a subtotal or the total follows, and under the last.
  EXPECT_EQ(std::vector<bool>({false, false, false, true, false, true, true}), c.BodyRowLines);
  EXPECT_EQ(std::vector<std::string>({"Drawer;K1", "BatchID;7", "Date;" + date, "Time;" + time, "Company;Bos BV",
                                      "Employee;Anonymous", "Currency;EUR", ";Description;Count;ValueCredit;ValueDebit",
                                      "Coins;2 euro;617;1,234.00;", ";1 euro;;0.00;", ";Subtotal;;1,234.00;",
                                      "Others;Initial cash;;;12.50", ";Total;;1,221.50;"}),
            c.CSVLines);
}

TEST_F(CountingReportContent, ATotalRowFirstGetsNoCaptionAndTheHeaderARule) {
  row.Values = CountingDetails({{5, "Total", 0, "0"}});
  TCountingReportContent c = BuildCountingReportContent(row, "");
  EXPECT_EQ(std::vector<std::string>({"", "<b>Total</b>", "", "0.00", ""}),
            std::vector<std::string>(c.BodyCells.begin() + 5, c.BodyCells.end()));
  EXPECT_EQ(std::vector<bool>({false, true, true}), c.BodyRowLines);
}

TEST_F(CountingReportContent, NumbersInTheUsersFormat) {
  FormatSettings.DecimalSeparator = ",";
  FormatSettings.ThousandSeparator = ".";
  row.Values = CountingDetails({{1, "500 euro", 2469, "1234567.5"}, {3, "Kas", 0, "-1234.5"}});
  TCountingReportContent c = BuildCountingReportContent(row, "");
  EXPECT_EQ("1.234.567,50", c.BodyCells[8]);
  EXPECT_EQ("1.234,50", c.BodyCells[14]);
}

// Text from the data stays one field in the CSV lines and prints as itself
// in the report, whatever it holds.
TEST_F(CountingReportContent, DataTextStaysLiteral) {
  row.CashDrawer = "A;B";
  row.CompanyName = "Bos & <b>Zn</b>";
  row.Values = CountingDetails({{3, "say \"hi\"\r\nbye", 1, "1"}});
  TCountingReportContent c = BuildCountingReportContent(row, "5 Jan; \"Bos\"");
  EXPECT_EQ("Bos &#38; &#60;b>Zn&#60;/b>", c.HeaderCells[9]);
  EXPECT_EQ("5 Jan; \"Bos\"", c.HeaderCells[11]);
  EXPECT_EQ("say \"hi\"\r\nbye", c.BodyCells[6]);

  test::TempDir dir;
  std::string csv;
  for (const std::string& line : c.CSVLines) csv += line + "\r\n";
  test::WriteFileBytes(dir.File("c.csv"), csv);
  std::string out;
  ASSERT_EQ(0, test::RunCommand("/usr/bin/python3 -c \"import csv,json,sys; "
                                "print(json.dumps(list(csv.reader(open(sys.argv[1], newline=''), delimiter=';'))))\" " +
                                    dir.File("c.csv"),
                                &out));
  EXPECT_EQ("[[\"Drawer\", \"A;B\"], [\"BatchID\", \"7\"], [\"Date\", \"" + DateToStr(row.When) +
                "\"], [\"Time\", \"" + TimeToStr(row.When) +
                "\"], [\"Company\", \"Bos & <b>Zn</b>\"], [\"Employee\", \"5 Jan; \\\"Bos\\\"\"], "
                "[\"Currency\", \"EUR\"], [\"\", \"Description\", \"Count\", \"ValueCredit\", \"ValueDebit\"], "
                "[\"Others\", \"say \\\"hi\\\"\\r\\nbye\", \"1\", \"1.00\", \"\"]]\n",
            out);
  // Only such fields are quoted.
  EXPECT_EQ("Drawer;\"A;B\"", c.CSVLines[0]);
  EXPECT_EQ("Company;Bos & <b>Zn</b>", c.CSVLines[4]);
}

// Labels come from the translation file, which the user may edit: they
// print as written there, markup and references included.
TEST_F(CountingReportContent, TranslatedLabelsStayLiteral) {
  test::TempDir dir;
  test::WriteFileBytes(dir.File("texts.lang"),
                       "[xxXX]\nCompany=<colorFF0000>Firma\nCoins=Munten <b>&#65;\nDescription=Omschr<br>ijving\n");
  struct Texts {
    explicit Texts(const std::string& file) {
      InitializeTranslations(file);
      Translations->SetLanguage("xxXX");
    }
    ~Texts() { FinalizeTranslations(); }
  } texts(dir.File("texts.lang"));
  TCountingReportContent c = BuildCountingReportContent(row, "Anonymous");
  EXPECT_EQ("<b>&#60;colorFF0000>Firma</b>", c.HeaderCells[8]);
  EXPECT_EQ("Munten &#60;b>&#38;#65;", c.BodyCells[5]);
  EXPECT_EQ("<b>Omschr&#60;br>ijving</b>", c.BodyCells[1]);
  // The CSV lines carry no markup: the labels go there as they are.
  EXPECT_EQ("<colorFF0000>Firma;Bos BV", c.CSVLines[4]);

  std::unique_ptr<TMemoryStream> pdf = ProduceCountingReport(c, nullptr);
  test::WriteFileBytes(dir.File("r.pdf"),
                       std::string(reinterpret_cast<const char*>(pdf->Memory()), static_cast<size_t>(pdf->Size())));
  std::string text;
  ASSERT_EQ(0, test::RunCommand("pdftotext '" + dir.File("r.pdf") + "' - 2>&1", &text));
  for (const char* printed : {"<colorFF0000>Firma", "Munten <b>&#65;", "Omschr<br>ijving"})
    EXPECT_NE(std::string::npos, text.find(printed)) << printed << " in\n" << text;
}

TEST_F(CountingReportContent, DamagedDetailsRaiseTheReadersError) {
  std::string wrongKey = CountingDetails(kExample, "abc");
  for (const std::string& values : {wrongKey, row.Values.substr(0, row.Values.size() / 2), std::string()}) {
    row.Values = values;
    EXPECT_THROW(BuildCountingReportContent(row, ""), Exception);
  }
}

TEST(CountingEmployee, NamedByTheUsersCache) {
  IMemDataSet users = CreateMemDataSet();
  users->AddField(mftInteger, "ID", 0);
  users->AddField(mftAnsiString, "NAME", 0);
  users->AddFieldIndex(0, mitUnorderedUnique);
  TMemRecord* piet = users->AddRecord();
  piet->SetInteger(0, 5);
  piet->SetAnsiString(1, "Piet");
  EXPECT_EQ("Anonymous", CountingEmployeeText(-1, users));
  EXPECT_EQ("5 Piet", CountingEmployeeText(5, users));
  EXPECT_EQ("6", CountingEmployeeText(6, users));
  EXPECT_EQ("5", CountingEmployeeText(5, nullptr));
}

TEST(CountingLogo, ReadByExtensionAndFitted) {
  test::TempDir dir;
  QImage image(200, 100, QImage::Format_RGB32);
  image.fill(QColor(0, 0, 255));
  struct {
    const char* name;
    const char* format;
  } files[] = {{"logo.png", "PNG"}, {"logo.JPG", "JPEG"}, {"logo.jpeg", "JPEG"}, {"logo.bmp", "BMP"},
               // The extension decides: a PNG named .img goes to the platform reader.
               {"logo.img", "PNG"}};
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    ASSERT_TRUE(image.save(QString::fromUtf8(dir.File(f.name)), f.format));
    std::unique_ptr<TBitmap> logo = LoadLogoBitmap(dir.File(f.name));
    ASSERT_NE(nullptr, logo);
    EXPECT_EQ(200, logo->Width());
    EXPECT_EQ(100, logo->Height());
    TColor c = logo->GetPixel(100, 50);
    EXPECT_LE(GetBValue(c), 255);
    EXPECT_GE(GetBValue(c), 240);
    EXPECT_LE(GetRValue(c), 12);
  }
  // Missing, empty and corrupt files of every kind give no logo.
  for (const char* ext : {".png", ".jpg", ".jpeg", ".bmp"}) {
    SCOPED_TRACE(ext);
    EXPECT_EQ(nullptr, LoadLogoBitmap(dir.File(std::string("missing") + ext)));
    test::WriteFileBytes(dir.File(std::string("empty") + ext), "");
    EXPECT_EQ(nullptr, LoadLogoBitmap(dir.File(std::string("empty") + ext)));
    std::string corrupt = test::ReadFileBytes(dir.File(std::string("logo") + (ext == std::string(".jpg") ? ".JPG" : ext)));
    corrupt = corrupt.substr(0, 12) + std::string(200, '\x5A');
    test::WriteFileBytes(dir.File(std::string("corrupt") + ext), corrupt);
    EXPECT_EQ(nullptr, LoadLogoBitmap(dir.File(std::string("corrupt") + ext)));
  }
  EXPECT_EQ(nullptr, LoadLogoBitmap(""));
  EXPECT_EQ(nullptr, LoadLogoBitmap(dir.Path().string()));
  // A BMP cut short after its header, or by its last byte: rows are missing,
  // and the report goes without a logo rather than with black rows.
  const std::string bmp = test::ReadFileBytes(dir.File("logo.bmp"));
  for (size_t keep : {size_t{54}, bmp.size() / 2, bmp.size() - 1}) {
    test::WriteFileBytes(dir.File("short.bmp"), bmp.substr(0, keep));
    EXPECT_EQ(nullptr, LoadLogoBitmap(dir.File("short.bmp"))) << keep;
  }

  // A second scan after the last row of a single-scan image: libjpeg fails
  // only after every pixel was read, when it finishes. No logo, and nothing
  // of the decoding is left behind (the leak check at exit sees it).
  std::string jpeg = test::ReadFileBytes(dir.File("logo.JPG"));
  const size_t sos = jpeg.find("\xFF\xDA"), eoi = jpeg.rfind("\xFF\xD9");
  ASSERT_NE(std::string::npos, sos);
  ASSERT_NE(std::string::npos, eoi);
  test::WriteFileBytes(dir.File("twoscans.jpg"), jpeg.substr(0, eoi) + jpeg.substr(sos, eoi - sos) + "\xFF\xD9");
  EXPECT_EQ(nullptr, LoadLogoBitmap(dir.File("twoscans.jpg")));

  EXPECT_EQ((TSize{7200, 7200}), FitLogoSize(64, 64, 7200));
  EXPECT_EQ((TSize{7200, 3600}), FitLogoSize(200, 100, 7200));
  EXPECT_EQ((TSize{3600, 7200}), FitLogoSize(100, 200, 7200));
  EXPECT_EQ((TSize{7200, 24}), FitLogoSize(3000, 10, 7200));
}

}  // namespace
}  // namespace px
