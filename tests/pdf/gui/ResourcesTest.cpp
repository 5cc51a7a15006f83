// Page resources: the factory, images with masks, forms, optional content and
// shadings.
#include <gtest/gtest.h>

#include "../PdfTestSupport.h"
#include "pdf/UnitPDFParserWriter.h"
#include "pdf/UnitPDFUtilities.h"
#include "pdf/gui/UnitPDFResources.h"
#include "platform/core/Debug.h"

namespace px {
namespace {

using test::Parse;

// Adds a stream object (dictionary in PDF syntax, decoded data) to the
// document; returns its number.
int32_t AddStream(TPDFWriter& doc, std::string_view dictionary, std::string_view data) {
  return doc.AddObject(test::Stream(dictionary, data));
}

TPDFDictionary* Object(TPDFWriter& doc, int32_t number) {
  return dynamic_cast<TPDFDictionary*>(doc.GetIndirectObj(number, 0));
}

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
  for (const auto& line : lines)
    if (line.find(text) != std::string::npos) return true;
  return false;
}

TEST(PdfResources, FactoryAndAttachment) {
  TPDFWriter doc;
  const int32_t form = doc.AddObject(Parse("<</Type/XObject/Subtype/Form/BBox[0 0 10 20]/Matrix[2 0 0 2 5 5]>>"));
  TPDFReference reference(form, 0);
  TPDFResource* first = AttachedResource("XObject", &doc, 0, &reference);
  ASSERT_NE(dynamic_cast<TPDFResForm*>(first), nullptr);
  EXPECT_EQ(AttachedResource("XObject", &doc, 0, Object(doc, form)), first);
  EXPECT_EQ(static_cast<TPDFResForm*>(first)->Matrix[4], 5);
  EXPECT_EQ(static_cast<TPDFResForm*>(first)->BBox[3], 20);

  struct Case {
    const char* category;
    const char* dictionary;
    const char* error;
  };
  const Case cases[] = {
      {"ColorSpace", "<<>>", "Resource not found: Key \"ColorSpace\" does not exist."},
      {"ExtGState", "<<>>", "Resource not found: Key \"ExtGState\" does not exist."},
      {"XObject", "<</Type/Font/Subtype/Image>>", "TPDFResXObject: Not an xobject dictionary."},
      {"XObject", "<</Subtype/PS>>", "XObject type not supported: PS"},
      {"XObject", "<<>>", "XObject type not supported: unknown"},
      {"XObject", "<</Subtype/Form/BBox[0 0 1]>>", "XObject Form: invalid BBox."},
      {"XObject", "<</Subtype/Form/BBox[0 0 1 1]/Matrix[1 0 0 1]>>", "XObject Form: invalid Matrix."},
      {"XObject", "<</Subtype/Form>>", "TPDFCollection: Error reading file.\r\n\r\nTechnical: Object does not exist BBox"},
      {"Font", "<</Type/Font/Subtype/Image>>", "Fonttype not supported: Image"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dictionary);
    const int32_t number = doc.AddObject(Parse(c.dictionary));
    try {
      AttachedResource(c.category, &doc, 0, Object(doc, number));
      ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), c.error);
    }
    // A failed creation attaches nothing.
    EXPECT_EQ(Object(doc, number)->AttachedObject, nullptr);
  }
  // A form of another FormType gets no box.
  auto other = Parse("<</Subtype/Form/FormType 2>>");
  auto resource = CreateResource("XObject", &doc, 0, other.get());
  EXPECT_EQ(static_cast<TPDFResForm&>(*resource).BBox[2], 0);
}

TEST(PdfResources, ImagesAndMasks) {
  TPDFWriter doc;
  TDebugCapture capture;
  // An unknown colour space: a red image of the image's size and a warning.
  const int32_t unknown = AddStream(doc, "<</Subtype/Image/Width 3/Height 2/BitsPerComponent 8/ColorSpace/Spot>>",
                                    "abcdef");
  auto red = CreateResource("XObject", &doc, 0, Object(doc, unknown));
  auto& redImage = static_cast<TPDFResImage&>(*red);
  ASSERT_EQ(redImage.Bitmap()->Width(), 3);
  EXPECT_EQ(redImage.Bitmap()->GetPixel(2, 1), clRed);
  EXPECT_TRUE(Contains(capture.Lines(), "Unknown, unsupported or invalid colorspace to create image: /Spot"));

  // A 1 x 1 grey image with a 2 x 2 soft mask: stretched to the mask's size
  // and premultiplied.
  const int32_t mask = AddStream(doc, "<</Width 2/Height 2/BitsPerComponent 8/ColorSpace/DeviceGray>>",
                                 std::string("\x00\x80\xFF\x40", 4));
  const int32_t image = AddStream(doc, "<</Subtype/Image/Width 1/Height 1/BitsPerComponent 8/ColorSpace/DeviceRGB"
                                       "/SMask " + std::to_string(mask) + " 0 R>>",
                                  std::string("\xC8\x64\x00", 3));
  auto masked = CreateResource("XObject", &doc, 0, Object(doc, image));
  auto& maskedImage = static_cast<TPDFResImage&>(*masked);
  EXPECT_EQ(maskedImage.Width, 2);
  EXPECT_EQ(maskedImage.Height, 2);
  TBitmap* bitmap = maskedImage.Bitmap();
  ASSERT_EQ(bitmap->PixelFormat(), pf32bit);
  EXPECT_EQ(bitmap->GetAlpha(0, 0), 0);
  EXPECT_EQ(bitmap->GetAlpha(1, 0), 0x80);
  EXPECT_EQ(bitmap->GetAlpha(0, 1), 0xFF);
  EXPECT_EQ(bitmap->GetPixel(1, 0), RGB(100, 50, 0));  // 200 and 100 times 128 / 255, rounded
  EXPECT_EQ(bitmap->GetPixel(0, 1), RGB(200, 100, 0));

  // A mask whose own SMask is itself, and an image that is its own mask:
  // masks are decoded without masks of their own.
  const int32_t selfMask = doc.GetObjectCount() + 1;
  AddStream(doc, "<</Width 1/Height 1/BitsPerComponent 8/ColorSpace/DeviceGray/SMask " + std::to_string(selfMask) +
                     " 0 R>>",
            "\x80");
  auto self = CreateResource("XObject", &doc, 0, Object(doc, selfMask));
  EXPECT_EQ(static_cast<TPDFResImage&>(*self).Bitmap()->GetAlpha(0, 0), 0x80);

  // Colour-key masks and other kinds only warn.
  const int32_t keyed = AddStream(
      doc, "<</Width 1/Height 1/BitsPerComponent 8/ColorSpace/DeviceGray/Mask[0 10]>>", "\x05");
  CreateResource("XObject", &doc, 0, Object(doc, keyed));
  EXPECT_TRUE(Contains(capture.Lines(), "Color key masking not supported."));
  const int32_t odd = AddStream(doc, "<</Width 1/Height 1/BitsPerComponent 8/ColorSpace/DeviceGray/SMask 5>>", "\x05");
  CreateResource("XObject", &doc, 0, Object(doc, odd));
  EXPECT_TRUE(Contains(capture.Lines(), "Unknown masking method."));

  // A stencil mask and an inline image.
  const int32_t stencil = AddStream(doc, "<</Width 2/Height 1/ImageMask true>>", "\x80");
  auto stencilImage = CreateResource("XObject", &doc, 0, Object(doc, stencil));
  EXPECT_EQ(static_cast<TPDFResImage&>(*stencilImage).BitsPerComponent, 1);
  EXPECT_EQ(static_cast<TPDFResImage&>(*stencilImage).LastStencilColor, 0x1FFFFFFFu);
  auto inlineStream = test::Stream("<</Width 2/Height 1/BitsPerComponent 8/ColorSpace/DeviceGray>>",
                                   std::string("\x00\xFF", 2));
  auto inlineImage = CreateInlineImage(inlineStream.get(), nullptr);
  EXPECT_EQ(inlineImage->Bitmap()->GetPixel(1, 0), RGB(255, 255, 255));
  EXPECT_EQ(inlineImage->Document, nullptr);
}

TEST(PdfResources, OptionalContentPolicies) {
  TPDFWriter doc;
  const int32_t on1 = doc.AddObject(Parse("<</Type/OCG/Name(on 1)>>"));
  const int32_t on2 = doc.AddObject(Parse("<</Type/OCG/Name(on 2)>>"));
  const int32_t off1 = doc.AddObject(Parse("<</Type/OCG/Name(off 1)>>"));
  const int32_t off2 = doc.AddObject(Parse("<</Type/OCG/Name(off 2)>>"));
  // The renderer's table: groups named "off ..." are off.
  TPDFVisibilityCallback callback = [](void*, TPDFDictionary* dictionary, bool& visible) {
    if (auto* name = dynamic_cast<TPDFString*>(dictionary->Find("Name")); name && name->Data.rfind("off", 0) == 0)
      visible = false;
  };
  auto groups = [&](std::initializer_list<int32_t> numbers) {
    std::string text = "[";
    for (int32_t n : numbers) text += n ? std::to_string(n) + " 0 R " : std::string("null ");
    return text + "]";
  };
  struct Case {
    std::string ocgs, policy;
    bool visible;
  };
  const Case cases[] = {
      {groups({off1, off2}), "/AllOff", true},
      {groups({off1, on1}), "/AllOff", false},
      {groups({on1, 0, on2}), "/AllOn", true},
      {groups({on1, 0, off1}), "/AllOn", false},
      {groups({off1, 0, on1}), "/AnyOn", true},
      {groups({off1, off2}), "/Nonsense", false},  // counts as AnyOn
      {groups({on1, off1}), "/AnyOff", true},
      {groups({on1, on2}), "/AnyOff", false},
      {std::to_string(off1) + " 0 R", "/AllOff", true},
      {"[]", "/AllOn", true},
      {"[]", "/AllOff", true},
      {"[]", "/AnyOn", false},
      {"[]", "/AnyOff", false},
      {"null", "/AnyOn", true},
      {"[(not a group) 5]", "/AnyOn", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ocgs + " " + c.policy);
    auto dictionary = Parse("<</Type/OCMD/OCGs " + c.ocgs + "/P" + c.policy + ">>");
    auto properties = CreateResource("Properties", &doc, 0, dictionary.get());
    auto* membership = dynamic_cast<TPDFResOptionalContentMembership*>(properties.get());
    ASSERT_NE(membership, nullptr);
    EXPECT_EQ(membership->IsVisible(0, callback, nullptr), c.visible);
  }
  auto wrong = Parse("<</Type/OCMD/OCGs 5>>");
  EXPECT_THROW(CreateProperties(&doc, 0, static_cast<TPDFDictionary*>(wrong.get()))->IsVisible(0, nullptr, nullptr), EPDFException);
  // A membership among its own groups ends.
  const int32_t loop = doc.GetObjectCount() + 1;
  doc.AddObject(Parse("<</Type/OCMD/OCGs[" + std::to_string(loop) + " 0 R]/P/AllOn>>"));
  EXPECT_TRUE(CreateProperties(&doc, 0, static_cast<TPDFDictionary*>(Object(doc, loop)))->IsVisible(0, nullptr, nullptr));
  // Plain property lists and groups start visible; the callback decides.
  auto plain = Parse("<</MCID 1>>");
  EXPECT_TRUE(CreateProperties(&doc, 0, static_cast<TPDFDictionary*>(plain.get()))->IsVisible(0, nullptr, nullptr));
  EXPECT_FALSE(CreateProperties(&doc, 0, static_cast<TPDFDictionary*>(Object(doc, off1)))->IsVisible(0, callback, nullptr));
}

TEST(PdfResources, ShadingWarnings) {
  TPDFWriter doc;
  const std::string f = "/Function<</FunctionType 2/Domain[0 1]/C0[0 0 0]/C1[1 1 1]/N 1>>";
  struct Case {
    std::string dictionary;
    int32_t type;
    const char* warning;  // nil: none
  };
  const Case cases[] = {
      {"<</ShadingType 2/ColorSpace/DeviceRGB/Coords[0 0 1 0]" + f + ">>", 2, nullptr},
      {"<</ShadingType 2/ColorSpace/DeviceRGB/Coords[0 0 0 0]" + f + ">>", 0,
       "Type 2 Shading has incorrect Coords (singular)."},
      {"<</ShadingType 2/ColorSpace/DeviceRGB/Coords[0 0 1]" + f + ">>", 0, "Type 2 Shading has incorrect Coords."},
      {"<</ShadingType 2/ColorSpace/DeviceRGB/Coords[0 0 1 0]/Domain[0]" + f + ">>", 0,
       "Type 2 Shading has incorrect Domain."},
      {"<</ShadingType 2/ColorSpace/DeviceRGB/Coords[0 0 1 0]/Domain[1 1]" + f + ">>", 0,
       "Type 2 Shading has incorrect Domain (singular)."},
      {"<</ShadingType 2/ColorSpace/DeviceGray/Coords[0 0 1 0]" + f + ">>", 0,
       "Function in Type 2 Shading has wrong input count."},
      {"<</ShadingType 1/ColorSpace/DeviceRGB/Domain[0 1 0 1]" + f + ">>", 1, nullptr},
      {"<</ShadingType 1/ColorSpace/DeviceRGB/Domain[0 1 0]" + f + ">>", 0, "Type 1 Shading has incorrect Domain."},
      {"<</ShadingType 1/ColorSpace/DeviceRGB/Domain[0 0 0 1]" + f + ">>", 0,
       "Type 1 Shading has incorrect Domain (singular)."},
      {"<</ShadingType 4/ColorSpace/DeviceRGB>>", 0, "Shading Type is unsupported (yet): 4"},
      {"<</ShadingType 9/ColorSpace/DeviceRGB>>", 0, "Shading Type is incorrect type."},
      {"<</ColorSpace/DeviceRGB>>", 0, "Shading Type is incorrect type."},
      {"<</ShadingType 2/Coords[0 0 1 0]>>", 0, "No or invalid Colorspace in Shading"},
      {"<</ShadingType 2/ColorSpace/DeviceRGB/BBox[0 0 0 5]/Coords[0 0 1 0]" + f + ">>", 2,
       "Shading has incorrect Coords (singular)."},
      {"<</ShadingType 2/ColorSpace/DeviceRGB/BBox[0 0 5]/Coords[0 0 1 0]" + f + ">>", 2,
       "Shading has incorrect Coords."},
      // A function that cannot be built leaves a shading of type 0.
      {"<</ShadingType 2/ColorSpace/DeviceRGB/Coords[0 0 1 0]/Function<</FunctionType 3/Domain[0 1]>>>>", 0,
       "Function in Shading cannot be used: Unsupported function type"},
      {"<</ShadingType 2/ColorSpace/DeviceRGB/Coords[0 0 1 0]>>", 0, "Function in Shading cannot be used:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dictionary);
    TDebugCapture capture;
    auto dictionary = Parse(c.dictionary);
    auto resource = CreateResource("Shading", &doc, 0, dictionary.get());
    auto& shading = static_cast<TPDFResShading&>(*resource);
    EXPECT_EQ(shading.ShadingType, c.type);
    if (c.warning)
      EXPECT_TRUE(Contains(capture.Lines(), c.warning));
    else
      EXPECT_TRUE(capture.Lines().empty());
    EXPECT_EQ(shading.ColorTable.size(), c.type == 2 ? 256u : 0u);
  }
  auto pattern = Parse("<</PatternType 1>>");
  EXPECT_NE(dynamic_cast<TPDFResPattern*>(CreateResource("Pattern", &doc, 0, pattern.get()).get()), nullptr);
}

}  // namespace
}  // namespace px
