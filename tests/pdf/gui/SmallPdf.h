#pragma once
// A small PDF written by hand for the viewer, printing and frame tests: the
// objects are given as text, the cross-reference table is computed. Pages
// are numbered objects so that tests can point destinations at them.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/core/NumberConversion.h"
#include "support/PdfFile.h"

namespace px::test {

class SmallPdf {
 public:
  // Reserves object numbers 1 (catalog) and 2 (page tree) and, per page, a
  // page object and its content stream.
  struct Page {
    double Width = 595.276, Height = 841.89;
    std::string Content;  // content stream text
    std::string Annots;   // the Annots array text, or empty
    std::string Extra;    // further page dictionary entries
  };

  std::vector<Page> Pages;
  // Further catalog entries (Names, ...); objects referred to by number must
  // come from ExtraObjects.
  std::string CatalogExtra;
  // Objects numbered from FirstExtraObject() on, in this order.
  std::vector<std::string> ExtraObjects;

  // The object number of page i (from 0).
  static int PageObject(int i) { return 4 + 2 * i; }
  int FirstExtraObject() const { return 4 + 2 * static_cast<int>(Pages.size()); }

  std::string Build() const {
    std::vector<std::string> objects;
    std::string kids;
    for (size_t i = 0; i < Pages.size(); ++i) kids += std::to_string(PageObject(static_cast<int>(i))) + " 0 R ";
    objects.push_back("<< /Type /Catalog /Pages 2 0 R " + CatalogExtra + " >>");
    objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(Pages.size()) + " >>");
    objects.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    for (size_t i = 0; i < Pages.size(); ++i) {
      const Page& p = Pages[i];
      std::string page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + num(p.Width) + " " + num(p.Height) +
                         "] /Resources << /Font << /F1 3 0 R >> >> /Contents " +
                         std::to_string(PageObject(static_cast<int>(i)) + 1) + " 0 R";
      if (!p.Annots.empty()) page += " /Annots " + p.Annots;
      page += " " + p.Extra + " >>";
      objects.push_back(page);
      objects.push_back("<< /Length " + std::to_string(p.Content.size()) + " >>\nstream\n" + p.Content +
                        "\nendstream");
    }
    for (const std::string& o : ExtraObjects) objects.push_back(o);

    return PdfFileOfObjects(objects, "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
  }

  // A page told apart from the others by its colour (red and green encode
  // the number), with a blue block at its top-left corner that shows which
  // way it is turned. Text is left out: the pictures depend on shapes only.
  static Page NumberedPage(int n, double width = 595.276, double height = 841.89) {
    Page p;
    p.Width = width;
    p.Height = height;
    p.Content = "q " + num(PageRed(n) / 255.0) + " " + num(PageGreen(n) / 255.0) + " 0.4 rg 36 36 " + num(width - 72) +
                " " + num(height - 72) + " re f Q q 0 0 0.6 rg 36 " + num(height - 136) +
                " 100 100 re f Q q 0 g 4 w 72 72 m " + num(width - 72) + " " + num(height / 2) + " l S Q";
    return p;
  }
  static int PageRed(int n) { return 40 + 20 * n; }
  static int PageGreen(int n) { return 230 - 15 * n; }

  static std::string num(double v) { return InvariantFloatToStr(v, 3); }
};

}  // namespace px::test
