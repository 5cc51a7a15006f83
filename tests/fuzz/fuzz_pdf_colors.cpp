// libFuzzer target: the input is one object in PDF syntax followed by bytes of
// stream data. The object becomes object 1 of a document (so that "1 0 R"
// names it) and is taken as a colour space, the dictionary of a function and
// the dictionary of an image whose samples are the bytes after it.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "pdf/UnitPDFFunctions.h"
#include "pdf/UnitPDFParserWriter.h"
#include "pdf/UnitPDFUtilities.h"
#include "pdf/gui/UnitPDFColorSpaces.h"
#include "pdf/gui/UnitPDFResources.h"

namespace {

using namespace px;

// The entries of the dictionary (if it is one) on a new stream of the data.
std::unique_ptr<TPDFDictionary> streamOf(TPDFObject* object, const TPDFBuffer& data) {
  auto stream = std::make_unique<TPDFDictionary>(data);
  if (auto* dictionary = dynamic_cast<TPDFDictionary*>(object))
    for (int32_t k = 0; k < dictionary->Count(); ++k) {
      TPDFBuffer text;
      const std::string written = AsPDFText(*dictionary->GetValue(k));
      text.assign(written.begin(), written.end());
      int32_t pos = 0;
      stream->Add(dictionary->GetKey(k), ParseObject(text, pos, true));
    }
  return stream;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TPDFBuffer input(data, data + size);
  int32_t pos = 0;
  std::unique_ptr<TPDFObject> object;
  try {
    object = ParseObject(input, pos, true);
  } catch (const Exception&) {
    return 0;
  }
  const TPDFBuffer rest(input.begin() + pos, input.end());
  TPDFWriter doc;
  auto copy = streamOf(object.get(), {});
  TPDFObject* first = object.get();
  doc.AddObject(std::move(object));
  const int32_t streamNumber = doc.AddObject(streamOf(first, rest));
  auto* stream = dynamic_cast<TPDFDictionary*>(doc.GetIndirectObj(streamNumber, 0));

  try {
    if (TPDFColorSpace* space = PDFColorSpaceFactory(&doc, first)) {
      std::vector<std::unique_ptr<TPDFObject>> owned;
      std::vector<TPDFObject*> operands;
      for (int32_t k = 0; k < std::min(space->GetComponentCount(), 8); ++k) {
        owned.push_back(std::make_unique<TPDFReal>(0.25f * k));
        operands.push_back(owned.back().get());
      }
      try {
        space->GetColor(operands);
      } catch (const Exception&) {
      }
      for (int32_t bits : {1, 2, 4, 8}) {
        try {
          auto image = streamOf(stream, rest);
          space->BuildBitmap(&doc, image.get(), bits, 3, 5);
        } catch (const Exception&) {
        }
      }
    }
  } catch (const Exception&) {
  }
  try {
    TPDFFunction* function = PDFFunctionFactory(&doc, stream);
    std::vector<float> values(function->InputCount(), 0.5f);
    function->Evaluate(values);
  } catch (const Exception&) {
  }
  try {
    auto image = streamOf(copy.get(), rest);
    const int32_t number = doc.AddObject(std::move(image));
    CreateResource("XObject", &doc, 0, doc.GetIndirectObj(number, 0));
  } catch (const Exception&) {
  }
  for (const char* category : {"Properties", "Shading"}) {
    try {
      auto properties = CreateResource(category, &doc, 0, first);
      if (auto* list = dynamic_cast<TPDFResProperties*>(properties.get())) list->IsVisible(0, nullptr, nullptr);
    } catch (const Exception&) {
    }
  }
  return 0;
}
