#include <gtest/gtest.h>


#include "PdfTestSupport.h"
#include "pdf/UnitPDFFunctions.h"
#include "pdf/UnitPDFParserWriter.h"
#include "support/Numbers.h"

namespace px {
namespace {

// A function dictionary in PDF syntax; with samples or a program, a stream
// whose decoded data they are.
std::unique_ptr<TPDFDictionary> FunctionDictionary(std::string_view text, std::string_view data = {},
                                                   bool stream = false) {
  if (stream || !data.empty()) return test::Stream(text, data);
  return std::unique_ptr<TPDFDictionary>(dynamic_cast<TPDFDictionary*>(test::Parse(text).release()));
}

std::vector<float> Evaluate(const TPDFFunction& function, std::vector<float> inputs) {
  function.Evaluate(inputs);
  return inputs;
}

std::string AssertionOf(TPDFCollection& doc, TPDFDictionary& dictionary) {
  try {
    TPDFFunction function(&doc, &dictionary);
  } catch (const EAssertionFailed& e) {
    return e.AssertMessage();
  } catch (const Exception& e) {
    return test::Technical(e);
  }
  return "no error";
}

TEST(PdfFunctions, Evaluation) {
  struct Case {
    const char* dictionary;
    std::string data;
    std::vector<float> inputs, outputs;
  };
  const std::string ramp("\x00\xff", 2);
  const Case cases[] = {
      {"<</FunctionType 2/Domain[0 1]/C0[0]/C1[1]/N 2>>", "", {0.5f}, {0.25f}},
      {"<</FunctionType 2/Domain[0 1]/C0[0]/C1[1]/N 1>>", "", {0.5f}, {0.5f}},
      // Identity on the clamped input without C0 and C1.
      {"<</FunctionType 2/Domain[0 1]/Range[0 1]/N 1>>", "", {1.5f}, {1}},
      {"<</FunctionType 2/Domain[0 1]/C0[1 0 0]/C1[0 0 1]/N 1>>", "", {0.25f}, {0.75f, 0, 0.25f}},
      // Sampled: interpolated between 0 and 255; not for a fraction of 0.001 or less.
      {"<</FunctionType 0/Domain[0 1]/Range[0 1]/Size[2]/BitsPerSample 8>>", ramp, {0.5f}, {0.5f}},
      {"<</FunctionType 0/Domain[0 1]/Range[0 1]/Size[2]/BitsPerSample 8>>", ramp, {0.0004f}, {0}},
      // 16-bit samples keep their high bytes: 0x80 of 0x80FF.
      {"<</FunctionType 0/Domain[0 1]/Range[0 1]/Size[2]/BitsPerSample 16>>", std::string("\x80\xff\x80\x00", 4),
       {1}, {128.0f / 255}},
      // Two inputs take the sample without interpolation: (1, 1) is the fourth.
      {"<</FunctionType 0/Domain[0 1 0 1]/Range[0 1]/Size[2 2]>>", std::string("\x00\x40\x80\xff", 4), {1, 1}, {1}},
      {"<</FunctionType 0/Domain[0 1 0 1]/Range[0 1]/Size[2 2]>>", std::string("\x00\x40\x80\xff", 4), {1, 0},
       {0x40 / 255.0f}},
      // A zero-width Domain maps to Encode min.
      {"<</FunctionType 0/Domain[1 1]/Range[0 1]/Size[2]>>", ramp, {1}, {0}},
      {"<</FunctionType 0/Domain[0 1]/Range[0 1]/Size[2]/Decode[1 0]>>", ramp, {1}, {0}},
  };
  TPDFWriter doc;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dictionary);
    auto dictionary = FunctionDictionary(c.dictionary, c.data);
    TPDFFunction function(&doc, dictionary.get());
    std::vector<float> result = Evaluate(function, c.inputs);
    ASSERT_EQ(result.size(), c.outputs.size());
    for (size_t k = 0; k < result.size(); ++k) EXPECT_NEAR(result[k], c.outputs[k], 1e-5) << k;
  }
}

TEST(PdfFunctions, CalculatorPrograms) {
  // The programs' reals have a point whatever the user's locale.
  test::CommaLocale comma;
  struct Case {
    const char* program;
    std::vector<float> inputs, outputs;
  };
  const Case cases[] = {
      // A tint transform of the kind other producers write: tint to CMYK.
      {"{dup 0.5 mul exch 0 exch 1 exch sub 0}", {0.4f}, {0.2f, 0, 0.6f, 0}},
      {"{ dup 0.5 gt { pop 1 } if 0 0 }", {0.3f}, {0.3f, 0, 0}},
      {"{ dup 0.5 gt { pop 1 } if 0 0 }", {0.7f}, {1, 0, 0}},
      {"{ 0.5 gt { 1 0 0 } { 0 1 0 } ifelse }", {0.7f}, {1, 0, 0}},
      {"{ 0.5 gt { 1 0 0 } { 0 1 0 } ifelse }", {0.2f}, {0, 1, 0}},
      // Integer and real operators, angles in degrees, roll and index.
      {"{ pop 7 2 idiv 7 2 mod 90 sin }", {0}, {3, 1, 1}},
      {"{ pop 1 2 3 3 1 roll }", {0}, {3, 1, 2}},
      {"{ pop 1 2 3 2 index }", {0}, {2, 3, 1}},
      {"{ pop 2 sqrt dup mul 1 1 atan 45 div 5 3 bitshift 256 div }", {0}, {2, 1, 0.15625f}},
      {"{ pop 2.5 round -2.5 truncate 3 4 exp 100 div }", {0}, {3, -2, 0.81f}},
      // Comments and a value beyond the Range (clamped).
      {"{ % comment\n 3 mul 0 0 }", {0.5f}, {1, 0, 0}},
      // Failures at run time and programs that do not parse pass the input on.
      {"{ 0 div 0 0 }", {0.25f}, {0.25f, 0.25f, 0.25f}},
      {"{ pop pop }", {0.25f}, {0.25f, 0.25f, 0.25f}},
      {"{ true 0 0 }", {0.25f}, {0.25f, 0.25f, 0.25f}},
      {"{ 1 2 unknown }", {0.25f}, {0.25f, 0.25f, 0.25f}},
      {"{ { 1 } }", {0.25f}, {0.25f, 0.25f, 0.25f}},
      {"{ 1 2 3", {0.25f}, {0.25f, 0.25f, 0.25f}},
      {"", {0.25f}, {0.25f, 0.25f, 0.25f}},
  };
  TPDFWriter doc;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    // A wide Range, but for the case that shows the clamping.
    const bool clamp = std::string(c.program).find("3 mul") != std::string::npos;
    std::string range;
    for (size_t k = 0; k < c.outputs.size(); ++k) range += clamp ? " 0 1" : " -10 10";
    auto dictionary = FunctionDictionary("<</FunctionType 4/Domain[0 1]/Range[" + range + "]>>", c.program, true);
    TPDFFunction function(&doc, dictionary.get());
    std::vector<float> result = Evaluate(function, c.inputs);
    ASSERT_EQ(result.size(), c.outputs.size());
    for (size_t k = 0; k < result.size(); ++k) EXPECT_NEAR(result[k], c.outputs[k], 1e-5) << k;
  }
}

TEST(PdfFunctions, CalculatorBounds) {
  TPDFWriter doc;
  // More than 100 values on the stack fail at run time; nesting beyond the
  // bound does not parse. Both pass the input on, in bounded time.
  std::string deep;
  for (int k = 0; k < 10000; ++k) deep += "{ true ";
  deep += "1";
  for (int k = 0; k < 10000; ++k) deep += " } if";
  std::string many = "{";
  for (int k = 0; k < 150; ++k) many += " 1";
  many += " }";
  for (const std::string& program :
       {many, deep, std::string("{ 0 1 2 3 4 5 6 7 8 9 10 copy 10 copy 10 copy 10 copy 10 copy 10 copy 10 copy "
                                "10 copy 10 copy 10 copy pop }")}) {
    auto dictionary = FunctionDictionary("<</FunctionType 4/Domain[0 1]/Range[0 1]>>", program, true);
    TPDFFunction function(&doc, dictionary.get());
    EXPECT_NEAR(Evaluate(function, {0.75f})[0], 0.75f, 1e-6);
  }
}

TEST(PdfFunctions, ConstructionFailures) {
  struct Case {
    const char* dictionary;
    std::string data;
    const char* message;
  };
  const Case cases[] = {
      {"<</FunctionType 3/Domain[0 1]>>", "", "Unsupported function type"},
      {"<</Domain[0 1]>>", "", "Unsupported function type"},
      {"<</FunctionType 5/Domain[0 1]>>", "", "Invalid function type"},
      {"<</FunctionType 2/Domain[0 1]/N 1>>", "", "Function C0 required for more than one output"},
      {"<</FunctionType 2/Domain[0 1 2]/Range[0 1]/N 1>>", "", "Function Domain has an odd count"},
      {"<</FunctionType 2/Range[0 1]/N 1>>", "", "Object does not exist Domain"},
      {"<</FunctionType 2/Domain[0 1]/Range[0 1]>>", "", "Object does not exist N"},
      {"<</FunctionType 0/Domain[0 1]/Range[0 1]/Size[2]/BitsPerSample 4>>", "ab",
       "Type0 Function bitcount not supported (yet)"},
      {"<</FunctionType 0/Domain[0 1]/Size[2]>>", "ab", "Function Range required"},
      {"<</FunctionType 0/Domain[0 1]/Range[0 1]/Size[2 2]>>", "ab", "Function Size does not match the inputs"},
      // Sample data shorter than Size x outputs is refused, and so is a Size
      // whose product is huge, before anything is allocated for it.
      {"<</FunctionType 0/Domain[0 1]/Range[0 1 0 1]/Size[2]>>", "abc", "Function sample data too short"},
      {"<</FunctionType 0/Domain[0 1 0 1]/Range[0 1]/Size[65535 65535]>>", "0123456789", "Function Size too large"},
      {"<</FunctionType 0/Domain[0 1]/Range[0 1]/Size[0]>>", "ab", "Function Size must hold positive integers"},
  };
  TPDFWriter doc;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dictionary);
    auto dictionary = FunctionDictionary(c.dictionary, c.data, !c.data.empty());
    EXPECT_EQ(AssertionOf(doc, *dictionary), c.message);
  }
}

TEST(PdfFunctions, FactoryAttachesToTheDictionary) {
  TPDFWriter doc;
  auto dictionary = FunctionDictionary("<</FunctionType 2/Domain[0 1]/C0[0]/C1[1]/N 1>>");
  TPDFFunction* first = PDFFunctionFactory(&doc, dictionary.get());
  EXPECT_EQ(PDFFunctionFactory(&doc, dictionary.get()), first);
  EXPECT_EQ(dictionary->AttachedObject.get(), first);
  EXPECT_EQ(first->InputCount(), 1);
  EXPECT_EQ(first->OutputCount(), 1);
  // A failed construction attaches nothing.
  auto bad = FunctionDictionary("<</FunctionType 3/Domain[0 1]>>");
  EXPECT_THROW(PDFFunctionFactory(&doc, bad.get()), EAssertionFailed);
  EXPECT_EQ(bad->AttachedObject, nullptr);
}

}  // namespace
}  // namespace px
