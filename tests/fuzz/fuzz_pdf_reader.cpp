// Opens arbitrary bytes as a PDF document, then walks what a viewer would:
// every object with its decoded stream, the page boxes and a name tree.
#include <cstddef>
#include <cstdint>

#include "pdf/UnitPDFParserReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace px;
  std::unique_ptr<TPDFReader> reader;
  try {
    reader = std::make_unique<TPDFReader>(TPDFBuffer(data, data + size));
  } catch (const Exception&) {
    return 0;
  }
  const int32_t count = std::min(reader->GetObjectCount(), 2000);
  for (int32_t index = 0; index < count; ++index) {
    try {
      int32_t number = 0, generation = 0;
      reader->GetObjectNumberByIndex(index, number, generation);
      TPDFObject* object = reader->GetIndirectObj(number, generation);
      if (auto* dictionary = dynamic_cast<TPDFDictionary*>(object); dictionary && dictionary->StreamState())
        dictionary->SetStreamState(2, reader.get());
      if (object) (void)AsPDFText(*object);
    } catch (const Exception&) {
    }
  }
  for (int32_t page = 1; page <= reader->GetPageCount(); ++page) {
    try {
      TPDFBox box;
      int32_t rotate = 0;
      reader->GetMediaBox(page, box);
      reader->GetCropBox(page, box);
      reader->GetRotate(page, rotate);
    } catch (const Exception&) {
    }
  }
  try {
    reader->FindInNameTree("Dests", "x");
  } catch (const Exception&) {
  }
  return 0;
}
