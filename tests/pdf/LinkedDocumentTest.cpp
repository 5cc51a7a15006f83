// Page import from a read document into a writer: resource merging, the
// reference map, content rewriting and the failure paths.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PdfTestSupport.h"
#include "support/PdfFile.h"
#include "pdf/UnitPDFLinkedDocument.h"
#include "pdf/UnitPDFParserReader.h"
#include "pdf/UnitPDFParserWriter.h"
#include "pdf/UnitPDFStreams.h"

namespace px {
namespace {

using test::Buf;

// A stream object's text with its Length.
std::string StreamObject(const std::string& entries, const std::string& data) {
  return "<< " + entries + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

// A whole file with a classic cross-reference table from the texts of the
// objects 1, 2, ... (object 1 is the catalog).
TPDFBuffer MakePdf(const std::vector<std::string>& objects) { return Buf(test::PdfFileOfObjects(objects)); }

// One page (object 3) with the given resources and contents entries.
TPDFBuffer OnePage(const std::string& pageEntries, std::vector<std::string> more = {}) {
  std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>",
                                      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] " + pageEntries + " >>"};
  objects.insert(objects.end(), more.begin(), more.end());
  return MakePdf(objects);
}

// An object's text on one line.
std::string Flat(const TPDFObject& object) {
  std::string text = AsPDFText(object);
  for (char& c : text)
    if (c == '\n') c = ' ';
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

struct Import {
  TPDFReader source;
  TPDFWriter writer;
  TPDFLinkedDocument linked;
  TPDFDictionary resources;
  int32_t counter = 1;
  explicit Import(TPDFBuffer file) : source(std::move(file)), linked(&writer, &source, "src") {}
  std::string Page(int32_t index = 0) {
    std::string content;
    linked.ImportPage("q\n", "\nQ\n", content, &resources, counter, index);
    return content;
  }
  std::string Resources() const { return Flat(resources); }
};

TEST(LinkedDocument, RewriteContentTable) {
  // Renames: F1 -> X1, R7 -> X2 (a font and a graphics state), "A B" -> X3.
  Import im(OnePage("/Resources << /Font << /F1 4 0 R /R7 4 0 R /A#20B 4 0 R >> /ExtGState << /R7 5 0 R >> >>",
                    {"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>", "<< /CA 1 >>"}));
  im.linked.MergeResources(im.source.GetPage(1)->GetDictionary(&im.source, "Resources"), &im.resources);
  struct Case {
    const char* name;
    std::string in, out;
  } cases[] = {
      {"tokens, a string with a slash", "BT /F1 12 Tf (a/b) Tj ET", "BT\n/X1\n12\nTf\n(a/b)\nTj\nET"},
      {"white space runs", "  /F1\r\n\t 1 Tf  ", "\n/X1\n1\nTf\n"},
      {"one name in two categories", "/R7 gs /R7 9 Tf", "/X2\ngs\n/X2\n9\nTf"},
      {"a comment holding a parenthesis", "/F1 1 Tf%(x\n/F1 2 Tf", "/X1\n1\nTf\n/X1\n2\nTf"},
      {"a comment right after a token", "q%c\nQ", "q\nQ"},
      {"an escaped name that is renamed", "/A#20B 3 Tf", "/X3\n3\nTf"},
      {"an escaped name kept as written", "/A#20C 3 Tf /F1#31 Tf", "/A#20C\n3\nTf\n/F1#31\nTf"},
      {"arrays and strings with escapes", "[(a\\)b)-5(c)]TJ", "[(a\\)b)-5(c)]TJ"},
      {"a broken name escape", "/F#zz Tf", "/F#zz\nTf"},
      {"inline image data holding EI and a slash",
       "BI /W 6 /H 1 /BPC 8 /CS /G ID AEI/F1 EI /F1 Tf",
       "BI\n/W\n6\n/H\n1\n/BPC\n8\n/CS\n/G\nID AEI/F1 EI\n/X1\nTf"},
      {"inline image of three components",
       "BI /W 2 /H 1 /CS /RGB /BPC 8 ID \x01 EI\x02/F1\x03 EI Q",
       "BI\n/W\n2\n/H\n1\n/CS\n/RGB\n/BPC\n8\nID \x01 EI\x02/F1\x03 EI\nQ"},
      {"inline image without dictionary sizes", "BI /F /AHx ID 41 42> EI Q", "BI\n/F\n/AHx\nID 41 42> EI\nQ"},
  };
  for (const Case& c : cases) EXPECT_EQ(im.linked.RewriteContent(Buf(c.in)), c.out) << c.name;

  for (const char* bad : {"(never closed", "BI /W 1 /H 1 ID xx"})
    EXPECT_THROW(im.linked.RewriteContent(Buf(bad)), Exception) << bad;
}

TEST(LinkedDocument, MergeResourcesNamesAndCopies) {
  // A direct graphics state, a direct colour space referring to an object, a
  // shared font under two names and an entry that is no category.
  Import im(OnePage("/Resources << /Font << /F1 4 0 R /F2 4 0 R >> /ExtGState << /a0 << /CA 0.5 >> >> "
                    "/ColorSpace << /CS0 [/ICCBased 5 0 R] >> /Other 7 >>",
                    {"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                     StreamObject("/N 1 /Alternate /DeviceGray", "icc")}));
  im.counter = 4;
  std::string content = im.Page();
  EXPECT_EQ(content, "");
  EXPECT_EQ(im.counter, 8);
  EXPECT_EQ(im.Resources(),
            "<< /Font << /X4 1 0 R /X5 1 0 R >> /ExtGState << /X6 << /CA 0.5 >> >> /ColorSpace << /X7 [ /ICCBased 2 0 R "
            "] >> >>");
  // The font once, the profile once with a direct length from its data.
  EXPECT_EQ(im.writer.GetObjectCount(), 2);
  auto* profile = dynamic_cast<TPDFDictionary*>(im.writer.GetIndirectObj(2, 0));
  ASSERT_NE(profile, nullptr);
  EXPECT_EQ(AsPDFText(*profile->Find("Length")), "3 ");

  // ProcSet names are appended to the target's when the source gives them.
  Import withSets(OnePage("/Resources << /ProcSet [/PDF /Text /ImageB] >>"));
  withSets.resources.Add("ProcSet", TPDFArray::Of(std::make_unique<TPDFName>("PDF")));
  withSets.Page();
  EXPECT_EQ(withSets.Resources(), "<< /ProcSet [ /PDF /Text /ImageB ] >>");
}

TEST(LinkedDocument, ObjectsCopiedOnceAndCyclesEnd) {
  // A form whose resources name the form itself, and a length kept in an
  // object of its own.
  const std::string form = "<< /Type /XObject /Subtype /Form /BBox [0 0 10 10] /Resources << /XObject << /Me 4 0 R >> "
                           ">> /Length 5 0 R >>\nstream\n0 0 5 5 re f\nendstream";
  Import im(OnePage("/Resources << /XObject << /Fm 4 0 R >> >> /Contents 6 0 R",
                    {form, "12", StreamObject("", "/Fm Do")}));
  EXPECT_EQ(im.Page(), "q\n/X1\nDo\nQ\n");
  ASSERT_EQ(im.writer.GetObjectCount(), 1);
  const std::string copy = AsPDFText(*im.writer.GetIndirectObj(1, 0));
  EXPECT_NE(copy.find("/Me 1 0 R"), std::string::npos) << copy;
  EXPECT_NE(copy.find("/Length 12"), std::string::npos) << copy;

  // The same page on the next target page: nothing copied again, names
  // from the new page's counter.
  TPDFDictionary second;
  int32_t counter = 1;
  std::string content;
  im.linked.ImportPage("q\n", "\nQ\n", content, &second, counter, 0);
  EXPECT_EQ(im.writer.GetObjectCount(), 1);
  EXPECT_EQ(Flat(second), "<< /XObject << /X1 1 0 R >> >>");
  EXPECT_EQ(im.linked.CopiedObjects(), 1);
}

TEST(LinkedDocument, ContentsForms) {
  struct Case {
    const char* name;
    std::string entries;
    std::vector<std::string> more;
    std::string content;
  } cases[] = {
      {"two streams in one bracket", "/Resources << >> /Contents [4 0 R 5 0 R]",
       {StreamObject("", "1 0 0 RG"), StreamObject("", "0 0 m")}, "q\n1\n0\n0\nRG\n0\n0\nm\nQ\n"},
      {"no contents", "/Resources << >>", {}, ""},
      {"an empty array", "/Resources << >> /Contents []", {}, "q\n\nQ\n"},
      {"a compressed stream", "/Resources << >> /Contents 4 0 R",
       {StreamObject("/Filter /ASCIIHexDecode", "3020302067>")}, "q\n0\n0\ng\nQ\n"},
  };
  for (auto& c : cases) {
    Import im(OnePage(c.entries, c.more));
    EXPECT_EQ(im.Page(), c.content) << c.name;
  }
}

TEST(LinkedDocument, InheritedResources) {
  Import im(MakePdf({"<< /Type /Catalog /Pages 2 0 R >>",
                     "<< /Type /Pages /Kids [3 0 R] /Count 1 /Resources << /Font << /F9 5 0 R >> >> >>",
                     "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R >>",
                     StreamObject("", "/F9 1 Tf"), "<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>"}));
  EXPECT_EQ(im.Page(), "q\n/X1\n1\nTf\nQ\n");
  EXPECT_EQ(im.Resources(), "<< /Font << /X1 1 0 R >> >>");
}

TEST(LinkedDocument, FailuresLeaveNothing) {
  // Without resources anywhere (and a Parent chain that loops).
  Import none(MakePdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 /Parent 2 0 R >>",
                       "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 1 1] >>"}));
  try {
    none.Page();
    FAIL();
  } catch (const EPDFException& e) {
    EXPECT_EQ(e.Message(), "Error importing page 0 of src: no Resources found.");
  }
  for (int32_t index : {-1, 1, 2147483647}) {
    try {
      none.Page(index);
      FAIL() << index;
    } catch (const ERangeError& e) {
      EXPECT_EQ(e.Message(), "Page index out of range.");
    }
  }

  // A font is copied before the content turns out to be damaged: the
  // writer, the map and the target are as before the import.
  Import damaged(OnePage("/Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R",
                         {"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                          StreamObject("/Filter /FlateDecode", "not deflated")}));
  damaged.counter = 3;
  damaged.resources.Add("ProcSet", TPDFArray::Of(std::make_unique<TPDFName>("PDF")));
  EXPECT_THROW(damaged.Page(), Exception);
  EXPECT_EQ(damaged.writer.GetObjectCount(), 0);
  EXPECT_EQ(damaged.linked.CopiedObjects(), 0);
  EXPECT_EQ(damaged.counter, 3);
  EXPECT_EQ(damaged.Resources(), "<< /ProcSet [ /PDF ] >>");
}

}  // namespace
}  // namespace px
