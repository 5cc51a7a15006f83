// libFuzzer target: the input is a font dictionary in PDF syntax followed by
// bytes of stream data. The dictionary becomes object 1 of a document and the
// bytes object 2, a stream, so that "2 0 R" can stand for a ToUnicode CMap,
// a CIDToGIDMap or a font program. The font is made and shows a few strings
// in every text state the renderer uses.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "FuzzGuiApplication.h"
#include "pdf/UnitPDFParserWriter.h"
#include "pdf/UnitPDFUtilities.h"
#include "pdf/gui/UnitPDFResources.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  StartFuzzGuiApplication(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace px;
  const TPDFBuffer input(data, data + size);
  int32_t pos = 0;
  std::unique_ptr<TPDFObject> object;
  try {
    object = ParseObject(input, pos, true);
  } catch (const Exception&) {
    return 0;
  }
  TPDFWriter doc;
  const int32_t number = doc.AddObject(std::move(object));
  doc.AddObject(std::make_unique<TPDFDictionary>(TPDFBuffer(input.begin() + pos, input.end())));
  try {
    TPDFReference reference(number, 0);
    auto* font = dynamic_cast<TPDFResFont*>(AttachedResource("Font", &doc, 0, &reference));
    if (!font) return 0;
    TPDFTextCallbacks callbacks;
    callbacks.Glyph = [](void*, const uint16_t*, int32_t, bool, float, float) {};
    callbacks.Select = [](void*, const TLogFontA&, uint32_t) {};
    callbacks.Form = [](void*, TPDFDictionary*, TPDFDictionary*, const TPDFMatrix&) {};
    for (uint32_t color : {0u, PDFInvisibleTextColor}) {
      TPDFTextState text;
      text.Size = 12, text.Tc = 1, text.Tw = 2, text.Tz = 90, text.Ts = 3;
      font->DrawText(std::string_view("\0\1 Ab\xff\x80", 7), callbacks, color, text, {2, 0, 0, -2, 0, 100});
    }
  } catch (const Exception&) {
  }
  return 0;
}
