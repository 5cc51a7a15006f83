#pragma once
// TPDFFunction: the function dictionaries and streams of a document (tint
// transforms of colour spaces, the functions of shadings). Sampled (type 0),
// exponential (type 2) and calculator (type 4) functions are evaluated;
// stitching functions (type 3) are refused.
#include <cstdint>
#include <memory>
#include <vector>

#include "pdf/UnitPDFParser.h"

namespace px {

class TPDFCalculatorProgram;

class TPDFFunction : public TPDFAttachedObject {
 public:
  // Reads the dictionary; malformed entries fail assertions, missing required
  // entries raise the object model's read error.
  TPDFFunction(TPDFCollection* collection, TPDFDictionary* dictionary);
  ~TPDFFunction() override;

  // values holds InputCount() inputs on entry and OutputCount() outputs on
  // return.
  void Evaluate(std::vector<float>& values) const;
  int32_t InputCount() const { return static_cast<int32_t>(DomainMin.size()); }
  int32_t OutputCount() const { return outputCount_; }

  std::vector<float> DomainMin, DomainMax;
  std::vector<float> RangeMin, RangeMax;
  bool HasRange = false;
  int32_t FunctionType = -1;
  // Type 0.
  int32_t BitsPerSample = 8;
  std::vector<int32_t> Size;
  std::vector<int64_t> Strides;
  std::vector<float> EncodeMin, EncodeMax;
  std::vector<float> DecodeMin, DecodeMax;
  std::vector<uint8_t> Samples;
  // Type 2.
  std::vector<float> C0, C1MinusC0;
  float N = 1;

 private:
  void readSampled(TPDFCollection* collection, TPDFDictionary* dictionary);
  void readExponential(TPDFCollection* collection, TPDFDictionary* dictionary);
  void evaluateSampled(std::vector<float>& values) const;

  int32_t outputCount_ = 0;
  // Type 4: nil when the program does not parse (the function then passes its
  // first input to every output).
  std::unique_ptr<TPDFCalculatorProgram> program_;
};

// The function of a dictionary: the one attached to it, or a new one that is
// attached to it and owned by it from then on.
TPDFFunction* PDFFunctionFactory(TPDFCollection* collection, TPDFDictionary* dictionary);

// The bounds that keep a hostile sampled function small.
constexpr int64_t MaxFunctionSamples = int64_t(1) << 26;
constexpr int32_t MaxFunctionValues = 32;

}  // namespace px
