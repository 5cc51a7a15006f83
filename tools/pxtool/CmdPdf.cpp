#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <array>
#include <cstdlib>
#include <map>
#include <sstream>
#include <ostream>
#include <set>
#include <vector>

#include "PxTool.h"
#include "PxToolCommon.h"
#include "ScriptLines.h"
#include "pdf/UnitPDFCrypto.h"
#include "pdf/UnitPDFParserReader.h"
#include "pdf/UnitPDFParserWriter.h"
#include "pdf/UnitPDFStreams.h"
#include "pdf/UnitPDFUtilities.h"
#include "pdf/gui/UnitFontEmbedding.h"
#include "pdf/gui/UnitPDFColorSpaces.h"
#include "pdf/gui/UnitPDFPrinter.h"
#include "pdf/gui/UnitPDFPrinting.h"
#include "pdf/gui/UnitPDFRenderer.h"
#include "pdf/gui/UnitPDFResources.h"
#include "platform/core/CodePages.h"
#include "platform/core/Debug.h"
#include "platform/core/Fonts.h"
#include "platform/core/Streams.h"
#include "platform/gui/TraceDevice.h"
#include "ui/png/PNGBitmapAdapter.h"

namespace px::pxtool {
namespace {

// pdf decode FILTER [PARMS] IN OUT: IN through one filter, named as in a PDF
// file, with decode parameters in PDF syntax.
int runDecode(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 4 && args.size() != 5) return usageError(err);
  const std::string& filterName = args[1];
  const std::string& inName = args[args.size() - 2];
  const std::string& outName = args[args.size() - 1];
  std::unique_ptr<TPDFDictionary> parms;
  if (args.size() == 5) {
    TPDFBuffer text(args[2].begin(), args[2].end());
    int32_t pos = 0;
    SkipWhiteSpace(text, pos);
    parms = ParseDictionary(text, pos, true);
  }
  std::string input = ReadFileToString(inName);
  TPDFBuffer data(input.begin(), input.end());
  TPDFBuffer output;
  int32_t endPos = 0;
  FindStreamFilter(filterName)
      .Decode(data, 0, static_cast<int32_t>(data.size()), endPos, nullptr, nullptr, parms.get(), output);
  SaveFileAtomically(outName, [&](TStream& stream) {
    if (!output.empty()) stream.WriteBuffer(output.data(), static_cast<Int64>(output.size()));
  });
  out << output.size() << " bytes\n";
  return 0;
}

std::string boxText(const TPDFBox& box) {
  return FormatReal(box.Left) + " " + FormatReal(box.Bottom) + " " + FormatReal(box.Right) + " " +
         FormatReal(box.Top);
}

// pdf info FILE: version, encryption, pages with their boxes and rotation.
int runInfo(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 2) return usageError(err);
  TPDFReader reader(args[1]);
  out << "Version: 1." << reader.MinorVersion() << "\n";
  if (auto* handler = dynamic_cast<TPDFStandardCrypto*>(reader.SecurityHandler()))
    out << "Encryption: V " << handler->V << ", R " << handler->R << ", " << handler->KeyLength * 8
        << " bits, strings " << PDFCryptMethodName(handler->StringMethod) << ", streams "
        << PDFCryptMethodName(handler->StreamMethod) << "\n";
  else
    out << "Encryption: none\n";
  out << "Pages: " << reader.GetPageCount() << "\n";
  for (int32_t page = 1; page <= reader.GetPageCount(); ++page) {
    TPDFBox media, crop;
    int32_t rotate = 0;
    bool hasMedia = reader.GetMediaBox(page, media);
    bool hasCrop = reader.GetCropBox(page, crop);
    reader.GetRotate(page, rotate);
    out << "Page " << page << ": MediaBox " << (hasMedia ? boxText(media) : "none") << ", CropBox "
        << (hasCrop ? boxText(crop) : "none") << ", Rotate " << rotate << "\n";
  }
  return 0;
}

std::string hexText(const std::array<uint8_t, 16>& digest) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t b : digest) {
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

// The numbers in use, ascending, each with the generation that its lookup
// finds.
std::vector<std::pair<int32_t, int32_t>> objectsInUse(TPDFReader& reader) {
  std::map<int32_t, int32_t> numbers;
  for (const TPDFXRefGroup& group : reader.XRefGroups())
    for (int32_t k = 0; k < static_cast<int32_t>(group.Entries.size()); ++k) {
      const int32_t number = group.First + k;
      if (numbers.count(number)) continue;
      const TPDFXRefEntry& entry = group.Entries[k];
      if (entry.Kind == 0) continue;
      numbers[number] = entry.Kind == 1 ? entry.Value1 : 0;
    }
  return {numbers.begin(), numbers.end()};
}

// The dictionary in PDF syntax without its stream, which stands aside while
// the dictionary is written.
std::string withoutStream(TPDFDictionary& dictionary) {
  const uint8_t state = dictionary.StreamState();
  TPDFBuffer data = dictionary.StreamData();
  dictionary.SetStreamData(0, {});
  std::string text = AsPDFText(dictionary);
  dictionary.SetStreamData(state, std::move(data));
  return text;
}

// pdf dump FILE: every object in number order; streams as their dictionary and
// the length and MD5 of the decoded data.
int runDump(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 2) return usageError(err);
  TPDFReader reader(args[1]);
  out << "trailer\n" << withoutStream(*reader.GetTrailer()) << "\n";
  for (auto [number, generation] : objectsInUse(reader)) {
    out << number << " " << generation << " obj\n";
    TPDFObject* object = nullptr;
    try {
      object = reader.GetIndirectObj(number, generation);
    } catch (const Exception& e) {
      out << "% unreadable: " << e.Message() << "\nendobj\n";
      continue;
    }
    if (!object) {
      out << "null\nendobj\n";
      continue;
    }
    auto* dictionary = dynamic_cast<TPDFDictionary*>(object);
    if (!dictionary || dictionary->StreamState() == 0) {
      std::string text = AsPDFText(*object);
      while (!text.empty() && (text.back() == ' ' || text.back() == '\n')) text.pop_back();
      out << text << "\nendobj\n";
      continue;
    }
    std::string line;
    try {
      dictionary->SetStreamState(2, &reader);
      const TPDFBuffer& data = dictionary->StreamData();
      line = "stream length " + std::to_string(data.size()) + " md5 " + hexText(TMD5::Of(data.data(), data.size()));
    } catch (const Exception& e) {
      line = "% stream not decodable: " + e.Message();
    }
    out << withoutStream(*dictionary) << line << "\nendobj\n";
  }
  return 0;
}

// Renumbers the objects of a document into a writer: the objects in use get 1..n
// in their order; references to anything else get null objects after them.
class RewriteLinker : public TPDFLinker {
 public:
  explicit RewriteLinker(int32_t firstSpare) : next_(firstSpare) {}
  std::map<std::pair<int32_t, int32_t>, int32_t> Numbers;
  int32_t MapReference(const TPDFReference& reference) override {
    auto found = Numbers.find({reference.Number, reference.Generation});
    if (found != Numbers.end()) return found->second;
    auto spare = spares_.find({reference.Number, reference.Generation});
    if (spare != spares_.end()) return spare->second;
    spares_[{reference.Number, reference.Generation}] = next_;
    return next_++;
  }
  int32_t SpareCount(int32_t firstSpare) const { return next_ - firstSpare; }

 private:
  std::map<std::pair<int32_t, int32_t>, int32_t> spares_;
  int32_t next_;
};

bool isStructural(TPDFObject* object, TPDFReader& reader) {
  auto* dictionary = dynamic_cast<TPDFDictionary*>(object);
  if (!dictionary) return false;
  if (reader.GetTrailer()->Find("Encrypt") && reader.GetTrailer()->GetDictionary(&reader, "Encrypt") == dictionary)
    return true;
  auto* type = dynamic_cast<TPDFName*>(dictionary->Find("Type"));
  return type && (type->Name == "ObjStm" || type->Name == "XRef");
}

// pdf rewrite [--format 0|1] [--rc4 40|128 OWNERPASSWORD] IN OUT
int runRewrite(const Args& args, std::ostream& out, std::ostream& err) {
  uint8_t format = 0, kind = 0;
  std::string owner;
  size_t at = 1;
  while (at < args.size() && args[at].rfind("--", 0) == 0) {
    if (args[at] == "--format" && at + 1 < args.size() && (args[at + 1] == "0" || args[at + 1] == "1")) {
      format = static_cast<uint8_t>(args[at + 1][0] - '0');
      at += 2;
    } else if (args[at] == "--rc4" && at + 2 < args.size() && (args[at + 1] == "40" || args[at + 1] == "128")) {
      kind = args[at + 1] == "40" ? 1 : 2;
      owner = args[at + 2];
      at += 3;
    } else {
      return usageError(err);
    }
  }
  if (args.size() - at != 2) return usageError(err);
  TPDFReader reader(args[at]);

  std::vector<std::pair<std::pair<int32_t, int32_t>, TPDFObject*>> objects;
  for (auto [number, generation] : objectsInUse(reader)) {
    TPDFObject* object = reader.GetIndirectObj(number, generation);
    if (object && !isStructural(object, reader)) objects.push_back({{number, generation}, object});
  }
  const int32_t firstSpare = static_cast<int32_t>(objects.size()) + 1;
  RewriteLinker linker(firstSpare);
  for (size_t k = 0; k < objects.size(); ++k) linker.Numbers[objects[k].first] = static_cast<int32_t>(k) + 1;

  TPDFWriter writer;
  for (auto& entry : objects) {
    auto* dictionary = dynamic_cast<TPDFDictionary*>(entry.second);
    if (!dictionary || dictionary->StreamState() == 0) {
      writer.AddObject(entry.second->Clone(linker));
      continue;
    }
    // A stream's Length may be another object; the copy gets it directly.
    auto copy = std::make_unique<TPDFDictionary>();
    for (int32_t k = 0; k < dictionary->Count(); ++k)
      if (dictionary->GetKey(k) != "Length") copy->Add(dictionary->GetKey(k), dictionary->GetValue(k)->Clone(linker));
    copy->Add("Length", std::make_unique<TPDFInteger>(static_cast<int32_t>(dictionary->StreamData().size())));
    copy->SetStreamData(dictionary->StreamState(), dictionary->StreamData());
    writer.AddObject(std::move(copy));
  }
  auto trailer = [&](const char* key) {
    if (auto* reference = dynamic_cast<TPDFReference*>(reader.GetTrailer()->Find(key)))
      writer.GetTrailer()->Add(key, reference->Clone(linker));
  };
  trailer("Root");
  trailer("Info");
  for (int32_t k = linker.SpareCount(firstSpare); k > 0; --k) writer.AddObject(std::make_unique<TPDFNull>());
  if (auto* id = dynamic_cast<TPDFArray*>(reader.GetTrailer()->Find("ID")); id && id->Count() == 2)
    writer.GetTrailer()->Add("ID", id->Clone(linker));
  writer.OutputFormat = format;
  if (kind) writer.SetEncryption(owner, "", -4, kind);
  SaveFileAtomically(args[at + 1], [&](TStream& stream) { writer.SaveToStream(stream); });
  out << writer.GetObjectCount() << " objects\n";
  return 0;
}

// pdf draw [--format 0|1] [--options N] SCRIPT OUT: a document drawn by a
// script of one command per line (the last word runs to the line end);
// lengths in 1/7200 inch.
int runDraw(const Args& args, std::ostream& out, std::ostream& err) {
  uint8_t format = 0, options = 7;
  size_t at = 1;
  while (at < args.size() && args[at].rfind("--", 0) == 0) {
    if (args[at] == "--format" && at + 1 < args.size() && (args[at + 1] == "0" || args[at + 1] == "1")) {
      format = static_cast<uint8_t>(args[at + 1][0] - '0');
      at += 2;
    } else if (args[at] == "--options" && at + 1 < args.size() && !args[at + 1].empty() &&
               args[at + 1].find_first_not_of("0123456789") == std::string::npos && std::stoi(args[at + 1]) < 256) {
      options = static_cast<uint8_t>(std::stoi(args[at + 1]));
      at += 2;
    } else {
      return usageError(err);
    }
  }
  if (args.size() - at != 2) return usageError(err);
  const std::vector<std::string> lines = ReadScriptLines(args[at]);
  TPDFPrinter printer;
  printer.SetOptions(options);
  printer.OutputFormat = format;
  std::vector<std::unique_ptr<TBitmap>> images;
  int lineNo = 0;
  try {
    for (const std::string& line : lines) {
      ++lineNo;
      if (line.empty() || line[0] == '#') continue;
      auto words = [&](size_t n) { return ScriptWords(line, n); };
      auto number = ScriptNumber;
      auto colour = [](const std::string& s) {
        if (s.size() != 6 || s.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
          throw EConvertError("bad colour " + s);
        const unsigned long v = std::stoul(s, nullptr, 16);
        return RGB(static_cast<Byte>(v >> 16), static_cast<Byte>(v >> 8), static_cast<Byte>(v));
      };
      auto device = [&](const std::string& s) {
        return MulDiv(number(s), printer.Printing() ? printer.PixelsPerInch() : 600, 7200);
      };
      const std::string command = line.substr(0, line.find(' '));
      if (command == "page") {
        auto w = words(3);
        printer.PageWidth = number(w[1]);
        printer.PageHeight = number(w[2]);
        if (printer.Printing()) printer.NewPage();
        else printer.BeginDoc();
        continue;
      }
      if (!printer.Printing()) throw EConvertError("no page started");
      TPDFCanvas& c = printer.Canvas();
      if (command == "font") {
        auto w = words(6);
        TFontStyles style;
        if (w[2] != "-") {
          for (char f : w[2]) {
            if (f == 'b') style.Include(fsBold);
            else if (f == 'i') style.Include(fsItalic);
            else if (f == 'u') style.Include(fsUnderline);
            else if (f == 's') style.Include(fsStrikeOut);
            else throw EConvertError("bad style " + w[2]);
          }
        }
        c.Font().SetName(w[5]);
        c.Font().SetSize(number(w[1]));
        c.Font().SetStyle(style);
        c.Font().SetColor(colour(w[3]));
        c.Font().SetOrientation(number(w[4]));
      } else if (command == "pen") {
        auto w = words(3);
        c.Pen().SetColor(colour(w[1]));
        c.Pen().SetWidth(device(w[2]));
      } else if (command == "brush") {
        auto w = words(2);
        if (w[1] == "none") {
          c.Brush().SetStyle(bsClear);
        } else {
          c.Brush().SetStyle(bsSolid);
          c.Brush().SetColor(colour(w[1]));
        }
      } else if (command == "text") {
        auto w = words(4);
        c.TextOut(device(w[1]), device(w[2]), Utf8ToUnicode(w[3]));
      } else if (command == "line" || command == "rect" || command == "ellipse") {
        auto w = words(5);
        const int32_t x1 = device(w[1]), y1 = device(w[2]), x2 = device(w[3]), y2 = device(w[4]);
        if (command == "line") {
          c.MoveTo(x1, y1);
          c.LineTo(x2, y2);
        } else if (command == "rect") {
          c.Rectangle(x1, y1, x2, y2);
        } else {
          c.Ellipse(x1, y1, x2, y2);
        }
      } else if (command == "polygon") {
        std::vector<TPoint> points;
        std::istringstream in(line.substr(8));
        for (std::string pair; in >> pair;) {
          const size_t comma = pair.find(',');
          if (comma == std::string::npos) throw EConvertError("bad point " + pair);
          points.push_back({device(pair.substr(0, comma)), device(pair.substr(comma + 1))});
        }
        if (points.size() < 2) throw EConvertError("a polygon needs points");
        c.Polygon(points);
      } else if (command == "image") {
        auto w = words(6);
        auto bitmap = std::make_unique<TBitmap>();
        const std::string& file = w[5];
        if (file.size() > 4 && LowerCase(file.substr(file.size() - 4)) == ".png") {
          LoadBitmapFromPNGFile(bitmap.get(), file);
        } else {
          TPicture picture;
          picture.LoadFromFile(file);
          bitmap->Assign(picture.Graphic()->AsBitmap());
        }
        const int32_t x = device(w[1]), y = device(w[2]);
        c.StretchDraw(Rect(x, y, x + device(w[3]), y + device(w[4])), *bitmap);
        images.push_back(std::move(bitmap));
      } else if (command == "layer") {
        auto w = words(3);
        if (w[1] != "on" && w[1] != "off") throw EConvertError("bad layer state " + w[1]);
        printer.AddLayer(w[2], w[1] == "on");
      } else if (command == "setlayer") {
        c.SetLayer(number(words(2)[1]));
      } else if (command == "raw") {
        c.InsertRawContent(words(2)[1] + "\n");
      } else {
        throw EConvertError("unknown command " + command);
      }
    }
    if (!printer.Printing()) throw EConvertError("no page");
    lineNo = 0;
    printer.EndDoc();
  } catch (const Exception& e) {
    return ScriptFailure(err, lineNo, e.Message());
  } catch (const std::exception& e) {
    return ScriptFailure(err, lineNo, e.what());
  }
  TMemoryStream* doc = printer.Document();
  doc->SaveToFile(args[at + 1]);
  TPDFReader reader(args[at + 1]);
  out << "pages " << reader.GetPageCount() << " objects " << reader.GetObjectCount() << " bytes " << doc->Size()
      << "\n";
  return 0;
}

// Warnings of the document go to stderr while a command runs.
class WarningsToStream {
 public:
  explicit WarningsToStream(std::ostream& err) : err_(err) {
    previous_ = SetDebugSink([this](std::string_view line) { err_ << line << "\n"; });
  }
  ~WarningsToStream() { SetDebugSink(previous_); }

 private:
  std::ostream& err_;
  TDebugSink previous_;
};

bool pageNumber(const std::string& text, TPDFReader& reader, int32_t& page) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || value < 1 || value > reader.GetPageCount()) return false;
  page = static_cast<int32_t>(value);
  return true;
}

// The page's resource sub-dictionary of the category, looked up through the
// page and its ancestors.
TPDFDictionary* pageResources(TPDFReader& reader, int32_t page, std::string_view category) {
  TPDFDictionary* node = reader.GetPage(page);
  for (int depth = 0; node && depth < 64; ++depth) {
    if (TPDFDictionary* resources = node->GetDictionary(&reader, "Resources"))
      return resources->GetDictionary(&reader, category);
    node = node->GetDictionary(&reader, "Parent");
  }
  return nullptr;
}

// pdf color FILE PAGE SPACE V...: the colour of the operands in the space (a
// name of the page's ColorSpace resources, a device name or a colour-space
// object in PDF syntax) as "R G B".
int runColor(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() < 4) return usageError(err);
  WarningsToStream warnings(err);
  TPDFReader reader(args[1]);
  int32_t page = 0;
  if (!pageNumber(args[2], reader, page)) {
    err << "pdf color: no page " << args[2] << "\n";
    return 1;
  }
  TPDFBuffer spaceText(args[3].begin(), args[3].end());
  int32_t pos = 0;
  std::unique_ptr<TPDFObject> spaceObject = ParseObject(spaceText, pos, true);
  TPDFObject* space = spaceObject.get();
  if (auto* name = dynamic_cast<TPDFName*>(space); name && !PDFDeviceColorSpace(name->Name))
    if (TPDFDictionary* spaces = pageResources(reader, page, "ColorSpace"))
      if (TPDFObject* named = spaces->GetObject(&reader, name->Name)) space = named;
  TPDFColorSpace* colorSpace = PDFColorSpaceFactory(&reader, space);
  if (!colorSpace) {
    err << "pdf color: unknown colour space " << args[3] << "\n";
    return 1;
  }
  std::vector<std::unique_ptr<TPDFObject>> values;
  std::vector<TPDFObject*> operands;
  for (size_t k = 4; k < args.size(); ++k) {
    TPDFBuffer text(args[k].begin(), args[k].end());
    int32_t at = 0;
    values.push_back(ParseObject(text, at, true));
    operands.push_back(values.back().get());
  }
  const uint32_t color = colorSpace->GetColor(operands);
  out << (color & 0xFF) << " " << ((color >> 8) & 0xFF) << " " << ((color >> 16) & 0xFF) << "\n";
  return 0;
}

bool positiveNumber(const std::string& text, int32_t& value) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < 1 || v > 100000) return false;
  value = static_cast<int32_t>(v);
  return true;
}

// pdf render [--ss N] FILE PAGE DPI OUT: the page drawn on white at DPI with
// supersampling N (2 by default, as the viewer draws), saved as PNG or PPM.
int runRender(const Args& args0, std::ostream& out, std::ostream& err) {
  Args args = args0;
  int32_t supersampling = 2;
  if (args.size() > 2 && args[1] == "--ss") {
    if (!positiveNumber(args[2], supersampling)) return usageError(err);
    args.erase(args.begin() + 1, args.begin() + 3);
  }
  if (args.size() != 5) return usageError(err);
  guiApplication();
  WarningsToStream warnings(err);
  TPDFReader reader(args[1]);
  int32_t page = 0, dpi = 0;
  if (!pageNumber(args[2], reader, page)) {
    err << "pdf render: no page " << args[2] << "\n";
    return 1;
  }
  if (!positiveNumber(args[3], dpi)) return usageError(err);
  TPDFRenderer renderer;
  renderer.SetCollection(&reader);
  renderer.PageNumber = page;
  int32_t width = 0, height = 0;
  {
    TTraceDevice sizing(dpi);
    renderer.DC = &sizing;
    renderer.GetPageSizeInPixels(100, width, height);
  }
  if (width <= 0 || height <= 0 || int64_t(width) * height > MaxPDFRenderPixels) {
    err << "pdf render: page size " << width << " x " << height << " out of range\n";
    return 1;
  }
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    TQtPainterDevice device(&painter, dpi);
    device.SetTargetImage(&image);
    renderer.DC = &device;
    TPDFBox noBox;
    renderer.Render(noBox, TRect{0, 0, width, height}, supersampling);
  }
  const std::string& name = args[4];
  const bool ppm = name.size() > 4 && PDFLowerCase(name.substr(name.size() - 4)) == ".ppm";
  if (!image.save(QString::fromStdString(name), ppm ? "PPM" : "PNG")) {
    err << "pdf render: cannot write " << name << "\n";
    return 1;
  }
  out << width << " " << height << "\n";
  return 0;
}

// pdf trace FILE PAGE DPI: what the renderer asks of its device, one line a
// call (see TraceDevice.h), after "page W H".
int runTrace(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 4) return usageError(err);
  guiApplication();
  WarningsToStream warnings(err);
  TPDFReader reader(args[1]);
  int32_t page = 0, dpi = 0;
  if (!pageNumber(args[2], reader, page)) {
    err << "pdf trace: no page " << args[2] << "\n";
    return 1;
  }
  if (!positiveNumber(args[3], dpi)) return usageError(err);
  TPDFRenderer renderer;
  renderer.SetCollection(&reader);
  renderer.PageNumber = page;
  TTraceDevice device(dpi);
  renderer.DC = &device;
  int32_t width = 0, height = 0;
  renderer.GetPageSizeInPixels(100, width, height);
  out << "page " << width << " " << height << "\n";
  TPDFBox noBox;
  try {
    renderer.Render(noBox, TRect{0, 0, width, height}, 1);
  } catch (...) {
    for (const std::string& line : device.Lines) out << line << "\n";
    throw;
  }
  for (const std::string& line : device.Lines) out << line << "\n";
  return 0;
}

// pdf image FILE PAGE NAME OUT.pam: the page's image XObject decoded as the
// resource holds it, as an 8-bit RGBA PAM file.
int runImage(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 5) return usageError(err);
  guiApplication();
  WarningsToStream warnings(err);
  TPDFReader reader(args[1]);
  int32_t page = 0;
  if (!pageNumber(args[2], reader, page)) {
    err << "pdf image: no page " << args[2] << "\n";
    return 1;
  }
  TPDFDictionary* xobjects = pageResources(reader, page, "XObject");
  const std::string name = args[3].rfind("/", 0) == 0 ? args[3].substr(1) : args[3];
  TPDFObject* object = xobjects ? xobjects->GetObject(&reader, name) : nullptr;
  if (!object) {
    err << "pdf image: no XObject " << args[3] << " on page " << page << "\n";
    return 1;
  }
  auto* image = dynamic_cast<TPDFResImage*>(AttachedResource("XObject", &reader, 0, object));
  if (!image) {
    err << "pdf image: " << args[3] << " is not an image\n";
    return 1;
  }
  const TBitmap& bitmap = *image->Bitmap();
  std::string pam = "P7\nWIDTH " + std::to_string(bitmap.Width()) + "\nHEIGHT " + std::to_string(bitmap.Height()) +
                    "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  pam.reserve(pam.size() + size_t(bitmap.Width()) * bitmap.Height() * 4);
  const bool alpha = bitmap.PixelFormat() == pf32bit && bitmap.AlphaFormat() == afDefined;
  for (int32_t y = 0; y < bitmap.Height(); ++y)
    for (int32_t x = 0; x < bitmap.Width(); ++x) {
      const TColor c = bitmap.GetPixel(x, y);
      const char rgba[4] = {static_cast<char>(GetRValue(c)), static_cast<char>(GetGValue(c)),
                            static_cast<char>(GetBValue(c)), static_cast<char>(alpha ? bitmap.GetAlpha(x, y) : 255)};
      pam.append(rgba, 4);
    }
  SaveFileAtomically(args[4], [&](TStream& stream) { stream.Write(pam.data(), static_cast<Int64>(pam.size())); });
  out << bitmap.Width() << "x" << bitmap.Height() << "\n";
  return 0;
}

// pdf import [--format 0|1] [--text TEXT] OUT SRC:PAGE[+SRC:PAGE...]...: one
// page per argument, sized as its first source page, with the listed pages
// (counted from 1) drawn in order; TEXT is drawn after the first import.
int runImport(const Args& args, std::ostream& out, std::ostream& err) {
  uint8_t format = 0;
  std::string text;
  bool withText = false;
  size_t at = 1;
  while (at < args.size() && args[at].rfind("--", 0) == 0) {
    if (args[at] == "--format" && at + 1 < args.size() && (args[at + 1] == "0" || args[at + 1] == "1")) {
      format = static_cast<uint8_t>(args[at + 1][0] - '0');
    } else if (args[at] == "--text" && at + 1 < args.size()) {
      text = args[at + 1];
      withText = true;
    } else {
      return usageError(err);
    }
    at += 2;
  }
  if (args.size() - at < 2) return usageError(err);
  const std::string outName = args[at++];
  struct Import {
    std::string file;
    int32_t page;
  };
  std::vector<std::vector<Import>> pages;
  for (; at < args.size(); ++at) {
    std::vector<Import> imports;
    std::string rest = args[at];
    for (size_t plus; !rest.empty(); rest = plus == std::string::npos ? std::string() : rest.substr(plus + 1)) {
      plus = rest.find('+');
      const std::string item = rest.substr(0, plus);
      const size_t colon = item.rfind(':');
      if (colon == std::string::npos || colon == 0 || colon + 1 == item.size() || colon + 10 < item.size() ||
          item.find_first_not_of("0123456789", colon + 1) != std::string::npos)
        return usageError(err);
      imports.push_back({item.substr(0, colon), static_cast<int32_t>(std::stol(item.substr(colon + 1)))});
    }
    if (imports.empty()) return usageError(err);
    pages.push_back(std::move(imports));
  }
  std::map<std::string, std::unique_ptr<TPDFReader>> readers;
  auto reader = [&](const std::string& file) {
    auto& r = readers[file];
    if (!r) r = std::make_unique<TPDFReader>(file);
    return r.get();
  };
  TPDFPrinter printer;
  printer.SetOptions(7);
  printer.OutputFormat = format;
  bool textDrawn = false;
  for (size_t n = 0; n < pages.size(); ++n) {
    const Import& first = pages[n].front();
    TPDFReader* source = reader(first.file);
    TPDFBox box;
    if (first.page < 1 || first.page > source->GetPageCount() || !source->GetMediaBox(first.page, box))
      throw ERangeError("Page index out of range.");
    printer.PageWidth = static_cast<int32_t>(std::lround((box.Right - box.Left) * 100));
    printer.PageHeight = static_cast<int32_t>(std::lround((box.Top - box.Bottom) * 100));
    if (printer.Printing()) printer.NewPage();
    else printer.BeginDoc();
    for (const Import& import : pages[n]) {
      printer.DrawLinkedPage(reader(import.file), import.page - 1);
      const auto& last = printer.LastImport;
      out << "page " << n + 1 << " " << import.file << ":" << import.page << " objects " << last.Objects << " names ";
      if (last.NextName > last.FirstName) out << "X" << last.FirstName << "-X" << (last.NextName - 1) << "\n";
      else out << "-\n";
      if (withText && !textDrawn) {
        TPDFCanvas& c = printer.Canvas();
        c.Font().SetName("Liberation Sans");
        c.Font().SetSize(12);
        c.Brush().SetStyle(bsClear);
        const int32_t inch = printer.PixelsPerInch();
        c.TextOut(inch, inch, Utf8ToUnicode(text));
        textDrawn = true;
      }
    }
  }
  printer.EndDoc();
  TMemoryStream* document = printer.Document();
  SaveFileAtomically(outName, [&](TStream& stream) {
    stream.Write(document->Memory(), document->Size());
  });
  return 0;
}

// Font dictionaries of a page in the order a reader of the page meets them:
// the page's Resources, then (depth first) those of its form XObjects and
// patterns, then those of its annotation appearances. Each font dictionary
// and each form is visited once for the whole document.
class FontScanner {
 public:
  FontScanner(TPDFReader& reader, std::ostream& out, std::ostream& err) : reader_(reader), out_(out), err_(err) {}

  void ScanPage(int32_t page) {
    TPDFDictionary* node = reader_.GetPage(page);
    for (int depth = 0; node && depth < 64; ++depth) {
      if (TPDFDictionary* resources = node->GetDictionary(&reader_, "Resources")) {
        scan(page, resources, 0);
        break;
      }
      node = node->GetDictionary(&reader_, "Parent");
    }
    auto* annots = dynamic_cast<TPDFArray*>(reader_.GetPage(page)->GetObject(&reader_, "Annots"));
    for (int32_t k = 0; annots && k < annots->Count(); ++k) {
      auto* annot = dynamic_cast<TPDFDictionary*>(annots->GetObject(&reader_, k));
      auto* ap = annot ? dynamic_cast<TPDFDictionary*>(annot->GetObject(&reader_, "AP")) : nullptr;
      auto* normal = ap ? dynamic_cast<TPDFDictionary*>(ap->GetObject(&reader_, "N")) : nullptr;
      if (normal && normal->StreamState() == 0) {
        auto* state = dynamic_cast<TPDFName*>(annot->GetObject(&reader_, "AS"));
        normal = state ? dynamic_cast<TPDFDictionary*>(normal->GetObject(&reader_, state->Name)) : nullptr;
      }
      if (normal)
        if (auto* resources = dynamic_cast<TPDFDictionary*>(normal->GetObject(&reader_, "Resources")))
          scan(page, resources, 0);
    }
  }

 private:
  void scan(int32_t page, TPDFDictionary* resources, int depth) {
    if (depth > 32) return;
    if (auto* fonts = dynamic_cast<TPDFDictionary*>(resources->GetObject(&reader_, "Font")))
      for (int32_t k = 0; k < fonts->Count(); ++k) {
        auto* font = dynamic_cast<TPDFDictionary*>(fonts->GetObject(&reader_, fonts->GetKey(k)));
        if (font && fontsSeen_.insert(font).second) print(page, fonts->GetKey(k), font);
      }
    for (const char* category : {"XObject", "Pattern"})
      if (auto* objects = dynamic_cast<TPDFDictionary*>(resources->GetObject(&reader_, category)))
        for (int32_t k = 0; k < objects->Count(); ++k) {
          auto* object = dynamic_cast<TPDFDictionary*>(objects->GetObject(&reader_, objects->GetKey(k)));
          if (!object || object->StreamState() == 0 || !objectsSeen_.insert(object).second) continue;
          auto* inner = dynamic_cast<TPDFDictionary*>(object->GetObject(&reader_, "Resources"));
          if (inner && inner != resources) scan(page, inner, depth + 1);
        }
  }

  void print(int32_t page, const std::string& name, TPDFDictionary* dictionary) {
    const std::string subtype = dictionary->GetName(&reader_, "Subtype", "none");
    std::string baseFont = "Anonymous", program = "none", usable = "no", face;
    try {
      auto* font = dynamic_cast<TPDFResFont*>(AttachedResource("Font", &reader_, 0, dictionary));
      baseFont = font->BaseFont;
      if (TPDFDictionary* descriptor = font->Descriptor)
        program = descriptor->Find("FontFile2")   ? "TrueType"
                  : descriptor->Find("FontFile3") ? "CFF"
                  : descriptor->Find("FontFile")  ? "Type1"
                                                  : "none";
      usable = font->ProgramUsable ? "yes" : "no";
      face = font->LogFont.lfFaceName;
    } catch (const Exception& e) {
      err_ << "pdf fonts: " << name << " on page " << page << ": " << e.Message() << "\n";
    }
    out_ << page << " " << name << " " << baseFont << " " << subtype << " program=" << program << " usable=" << usable
         << " face=\"" << face << "\"\n";
  }

  TPDFReader& reader_;
  std::ostream& out_;
  std::ostream& err_;
  std::set<TPDFDictionary*> fontsSeen_, objectsSeen_;
};

// pdf fonts FILE: one line per font dictionary, page by page.
int runFonts(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 2) return usageError(err);
  guiApplication();
  WarningsToStream warnings(err);
  TPDFReader reader(args[1]);
  FontScanner scanner(reader, out, err);
  for (int32_t page = 1; page <= reader.GetPageCount(); ++page) scanner.ScanPage(page);
  return 0;
}

// pdf fontfile FILE OBJ OUT: the font-file stream OBJ rebuilt into an
// installable font, written to OUT; prints the face name. A program that
// cannot be installed prints why and fails.
int runFontFile(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 4) return usageError(err);
  guiApplication();
  TPDFReader reader(args[1]);
  char* end = nullptr;
  const long number = std::strtol(args[2].c_str(), &end, 10);
  auto* stream = *end == '\0' && number > 0 && number < INT32_MAX
                     ? dynamic_cast<TPDFDictionary*>(reader.GetIndirectObj(int32_t(number), 0))
                     : nullptr;
  if (!stream || stream->StreamState() == 0) {
    err << "pdf fontfile: object " << args[2] << " is not a stream\n";
    return 1;
  }
  // The descriptor that names the stream tells its kind and the font's name.
  std::string key, fontName = "Font";
  for (int32_t k = 0; k < reader.GetObjectCount() && key.empty(); ++k) {
    int32_t n = 0, generation = 0;
    reader.GetObjectNumberByIndex(k, n, generation);
    TPDFDictionary* descriptor = nullptr;
    try {
      descriptor = dynamic_cast<TPDFDictionary*>(reader.GetIndirectObj(n, generation));
    } catch (const Exception&) {
    }
    if (!descriptor) continue;
    for (const char* name : {"FontFile", "FontFile2", "FontFile3"})
      if (auto* ref = dynamic_cast<TPDFReference*>(descriptor->Find(name)); ref && ref->Number == number) {
        key = name;
        fontName = descriptor->GetName(&reader, "FontName", "Font");
      }
  }
  if (key.empty()) {
    err << "pdf fontfile: no font descriptor names object " << args[2] << "\n";
    return 1;
  }
  std::vector<std::string> lines;
  std::unique_ptr<TEmbeddedFont> font;
  {
    TDebugCapture capture;
    stream->SetStreamState(2, &reader);
    if (key == "FontFile3")
      font = std::make_unique<TEmbeddedCFFFont>(stream->StreamData(), true, fontName);
    else if (key == "FontFile2")
      font = std::make_unique<TEmbeddedTTFont>(stream->StreamData(), true, fontName);
    else
      OutputDebugString("Unable to use embedded type1 fontfile: " + fontName);
    lines = capture.Lines();
  }
  if (!font || !font->IsInstalled()) {
    for (const std::string& line : lines) err << line << "\n";
    return 1;
  }
  SaveFileAtomically(args[3], [&](TStream& file) {
    file.Write(font->FontData().data(), static_cast<Int64>(font->FontData().size()));
  });
  out << font->FaceName() << "\n";
  return 0;
}

// pdf print [--from N] [--to N] [--copies N] [--collate 0|1] [--paper A4|Letter]
// FILE OUT.pdf: the document printed through TPDFPrinting onto a printer that
// writes OUT.pdf; prints "sheets <count>".
int runPrint(const Args& args, std::ostream& out, std::ostream& err) {
  int32_t from = 0, to = 0, copies = 1;
  bool collate = true;
  double width = 210, height = 297;
  size_t i = 1;
  auto number = [&](const std::string& text, int32_t& value) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < 0 || v > 100000) return false;
    value = static_cast<int32_t>(v);
    return true;
  };
  for (; i + 1 < args.size() && args[i].starts_with("--"); i += 2) {
    const std::string& option = args[i];
    const std::string& value = args[i + 1];
    int32_t flag = 0;
    if (option == "--from" && number(value, from)) continue;
    if (option == "--to" && number(value, to)) continue;
    if (option == "--copies" && number(value, copies)) continue;
    if (option == "--collate" && number(value, flag) && flag <= 1) {
      collate = flag == 1;
      continue;
    }
    if (option == "--paper" && (value == "A4" || value == "Letter")) {
      if (value == "Letter") width = 215.9, height = 279.4;
      continue;
    }
    return usageError(err);
  }
  if (args.size() - i != 2) return usageError(err);
  guiApplication();
  WarningsToStream warnings(err);
  TPDFReader reader(args[i]);
  TPrinter printer;
  printer.SetOutputFileName(args[i + 1]);
  printer.SetPageSizeMM(width, height);
  TPrinter* previous = SetPrinter(&printer);
  TPDFPrinting printing;
  printing.SetDocument(&reader);
  try {
    printing.Print(args[i], from, to, copies, collate);
  } catch (...) {
    SetPrinter(previous);
    throw;
  }
  SetPrinter(previous);
  out << "sheets " << printing.Sheets() << "\n";
  return 0;
}

int runPdf(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return usageError(err);
  if (args[0] == "decode") return runDecode(args, out, err);
  if (args[0] == "info") return runInfo(args, out, err);
  if (args[0] == "dump") return runDump(args, out, err);
  if (args[0] == "rewrite") return runRewrite(args, out, err);
  if (args[0] == "draw") return runDraw(args, out, err);
  if (args[0] == "color") return runColor(args, out, err);
  if (args[0] == "image") return runImage(args, out, err);
  if (args[0] == "import") return runImport(args, out, err);
  if (args[0] == "fonts") return runFonts(args, out, err);
  if (args[0] == "fontfile") return runFontFile(args, out, err);
  if (args[0] == "render") return runRender(args, out, err);
  if (args[0] == "trace") return runTrace(args, out, err);
  if (args[0] == "print") return runPrint(args, out, err);
  return usageError(err);
}

const PxCommand pdfCommand("pdf",
                           "pdf decode FILTER [PARMS] IN OUT\n"
                           "  pxtool pdf info FILE\n"
                           "  pxtool pdf dump FILE\n"
                           "  pxtool pdf rewrite [--format 0|1] [--rc4 40|128 OWNERPASSWORD] IN OUT\n"
                           "  pxtool pdf draw [--format 0|1] [--options N] SCRIPT OUT\n"
                           "  pxtool pdf color FILE PAGE SPACE V...\n"
                           "  pxtool pdf image FILE PAGE NAME OUT.pam\n"
                           "  pxtool pdf import [--format 0|1] [--text TEXT] OUT SRC:PAGE[+SRC:PAGE...]...\n"
                           "  pxtool pdf fonts FILE\n"
                           "  pxtool pdf fontfile FILE OBJ OUT\n"
                           "  pxtool pdf render [--ss N] FILE PAGE DPI OUT.png|OUT.ppm\n"
                           "  pxtool pdf trace FILE PAGE DPI\n"
                           "  pxtool pdf print [--from N] [--to N] [--copies N] [--collate 0|1] [--paper A4|Letter] "
                           "FILE OUT.pdf",
                           runPdf);

}  // namespace
}  // namespace px::pxtool
