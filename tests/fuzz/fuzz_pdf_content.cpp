// libFuzzer target: the content interpreter on its own. The input is the
// content stream of the one page of a fixed document, whose resources offer
// a font, images (colour, mask), a form, a graphics state, colour spaces
// (indexed, separation, ICC), a shading and its pattern and an optional
// content group; the page is drawn on the trace device. The document is read
// once, so that each input costs only its own interpretation.
#include <QGuiApplication>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FuzzGuiApplication.h"
#include "pdf/UnitPDFParserReader.h"
#include "pdf/gui/UnitPDFRenderer.h"
#include "platform/gui/TraceDevice.h"

namespace {

using namespace px;

constexpr int32_t ContentObject = 4;

// A PDF file of the objects (numbered from 1) with its cross-reference table.
std::string fileOf(const std::vector<std::string>& objects) {
  std::string out = "%PDF-1.5\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(out.size());
    out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t xref = out.size();
  out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t offset : offsets) {
    std::string number = std::to_string(offset);
    out += std::string(10 - number.size(), '0') + number + " 00000 n \n";
  }
  out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  return out;
}

std::string stream(const std::string& dictionary, const std::string& data) {
  return "<< " + dictionary + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

TPDFReader& document() {
  static std::unique_ptr<TPDFReader> reader;
  if (reader) return *reader;
  const std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R /OCProperties << /OCGs [13 0 R] /D << /OFF [13 0 R] >> >> >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources 5 0 R /Contents 4 0 R >>",
      stream("", ""),
      "<< /Font << /F1 6 0 R >> /XObject << /Im1 7 0 R /Fm1 8 0 R /Im2 9 0 R >>"
      " /ExtGState << /GS1 << /Type /ExtGState /LW 3 /CA 0.5 /ca 0.25 /LC 1 /LJ 2 /D [[3 1] 0] /Font [6 0 R 12] >> >>"
      " /ColorSpace << /CS1 [/Indexed /DeviceRGB 1 <ff000000ff00>] /CS2 [/Separation /Spot /DeviceCMYK 10 0 R]"
      " /CS3 [/ICCBased 11 0 R] >> /Pattern << /P1 << /PatternType 2 /Shading 12 0 R >> >>"
      " /Shading << /Sh1 12 0 R >> /Properties << /MC1 13 0 R >> >>",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
      stream("/Type /XObject /Subtype /Image /Width 2 /Height 2 /ColorSpace /DeviceRGB /BitsPerComponent 8",
             std::string("\xff\x00\x00\x00\xff\x00\x00\x00\xff\x80\x80\x80", 12)),
      stream("/Type /XObject /Subtype /Form /BBox [0 0 50 50] /Matrix [1 0 0 1 10 10] /Resources << /Font << /F1 6 0 R "
             ">> >>",
             "0 0 1 rg 0 0 20 20 re f BT /F1 8 Tf (Fm) Tj ET"),
      stream("/Type /XObject /Subtype /Image /Width 8 /Height 2 /ImageMask true /Decode [1 0]", "\xa5\x5a"),
      "<< /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0 1 0 0] /N 1 >>",
      stream("/N 3 /Alternate /DeviceRGB", "not a profile"),
      "<< /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 100 0] /Function << /FunctionType 2 /Domain [0 1]"
      " /C0 [1 0 0] /C1 [0 0 1] /N 1 >> /Extend [true false] >>",
      "<< /Type /OCG /Name (Layer) >>",
  };
  const std::string file = fileOf(objects);
  reader = std::make_unique<TPDFReader>(TPDFBuffer(file.begin(), file.end()));
  return *reader;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  StartFuzzGuiApplication(argc, argv);
  document();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TPDFReader& reader = document();
  auto* content = dynamic_cast<TPDFDictionary*>(reader.GetIndirectObj(ContentObject, 0));
  if (!content) __builtin_trap();
  content->SetStreamData(2, TPDFBuffer(data, data + size));
  TPDFRenderer renderer;
  renderer.SetCollection(&reader);
  renderer.PageNumber = 1;
  TTraceDevice device(72);
  renderer.DC = &device;
  try {
    renderer.Render(TPDFBox{}, TRect{0, 0, 200, 200}, 1);
  } catch (const Exception&) {
  }
  // Whatever the content did, the device is left as it was found.
  if (device.Depth() != 0) __builtin_trap();
  return 0;
}
