#include "pdf/UnitPDFFunctions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <string_view>

#include "pdf/UnitPDFUtilities.h"
#include "platform/core/NumberConversion.h"

namespace px {

// ---------------------------------------------------------------------------
// Calculator programs (type 4)

namespace {

enum class CalcOp : uint8_t {
  Number, Boolean, If, IfElse,
  Abs, Add, Atan, Ceiling, Cos, Cvi, Cvr, Div, Exp, Floor, Idiv, Ln, Log, Mod, Mul, Neg, Round, Sin, Sqrt, Sub,
  Truncate, And, Bitshift, Eq, Ge, Gt, Le, Lt, Ne, Not, Or, Xor, Copy, Dup, Exch, Index, Pop, Roll,
};

struct CalcOperatorName {
  std::string_view name;
  CalcOp op;
};

constexpr CalcOperatorName CalcOperators[] = {
    {"abs", CalcOp::Abs},         {"add", CalcOp::Add},       {"atan", CalcOp::Atan},   {"ceiling", CalcOp::Ceiling},
    {"cos", CalcOp::Cos},         {"cvi", CalcOp::Cvi},       {"cvr", CalcOp::Cvr},     {"div", CalcOp::Div},
    {"exp", CalcOp::Exp},         {"floor", CalcOp::Floor},   {"idiv", CalcOp::Idiv},   {"ln", CalcOp::Ln},
    {"log", CalcOp::Log},         {"mod", CalcOp::Mod},       {"mul", CalcOp::Mul},     {"neg", CalcOp::Neg},
    {"round", CalcOp::Round},     {"sin", CalcOp::Sin},       {"sqrt", CalcOp::Sqrt},   {"sub", CalcOp::Sub},
    {"truncate", CalcOp::Truncate}, {"and", CalcOp::And},     {"bitshift", CalcOp::Bitshift}, {"eq", CalcOp::Eq},
    {"ge", CalcOp::Ge},           {"gt", CalcOp::Gt},         {"le", CalcOp::Le},       {"lt", CalcOp::Lt},
    {"ne", CalcOp::Ne},           {"not", CalcOp::Not},       {"or", CalcOp::Or},       {"xor", CalcOp::Xor},
    {"copy", CalcOp::Copy},       {"dup", CalcOp::Dup},       {"exch", CalcOp::Exch},   {"index", CalcOp::Index},
    {"pop", CalcOp::Pop},         {"roll", CalcOp::Roll},
};

struct CalcInstruction {
  CalcOp op;
  bool integer = false;  // a Number that was written without a fraction
  double value = 0;      // Number and Boolean
  int32_t block1 = -1, block2 = -1;  // If, IfElse
};

// Deeper blocks than this make the program fail to parse; execution follows
// the blocks, so it is bounded the same way.
constexpr int MaxCalcNesting = 64;
// The operand stack of the calculator language holds at most 100 entries.
constexpr size_t MaxCalcStack = 100;

struct CalcFailure {};

struct CalcValue {
  double value;
  uint8_t kind;  // 0 real, 1 integer, 2 Boolean
};

}  // namespace

class TPDFCalculatorProgram {
 public:
  // Nil when the text is not a well-formed program.
  static std::unique_ptr<TPDFCalculatorProgram> Parse(const TPDFBuffer& text);
  // False when the program fails at run time (a wrong operand, too few or too
  // many values on the stack).
  bool Run(const std::vector<float>& inputs, std::vector<float>& outputs, int32_t outputCount) const;

 private:
  bool parseBlock(const TPDFBuffer& text, size_t& pos, int depth, int32_t& block);
  void execute(int32_t block, std::vector<CalcValue>& stack) const;

  std::vector<std::vector<CalcInstruction>> blocks_;
};

namespace {

bool isCalcDelimiter(uint8_t c) { return IsPDFWhiteSpace(c) || c == '{' || c == '}' || c == '%'; }

void skipCalcSpace(const TPDFBuffer& text, size_t& pos) {
  while (pos < text.size()) {
    if (IsPDFWhiteSpace(text[pos])) {
      ++pos;
    } else if (text[pos] == '%') {
      while (pos < text.size() && text[pos] != '\n' && text[pos] != '\r') ++pos;
    } else {
      break;
    }
  }
}

// A number token: optional sign, digits, optional fraction and exponent.
bool parseCalcNumber(std::string_view token, double& value, bool& integer) {
  size_t k = 0;
  if (k < token.size() && (token[k] == '+' || token[k] == '-')) ++k;
  size_t digits = 0;
  integer = true;
  while (k < token.size() && token[k] >= '0' && token[k] <= '9') ++k, ++digits;
  if (k < token.size() && token[k] == '.') {
    integer = false;
    ++k;
    while (k < token.size() && token[k] >= '0' && token[k] <= '9') ++k, ++digits;
  }
  if (digits == 0) return false;
  if (k < token.size() && (token[k] == 'e' || token[k] == 'E')) {
    integer = false;
    ++k;
    if (k < token.size() && (token[k] == '+' || token[k] == '-')) ++k;
    size_t exponent = 0;
    while (k < token.size() && token[k] >= '0' && token[k] <= '9') ++k, ++exponent;
    if (exponent == 0) return false;
  }
  if (k != token.size()) return false;
  if (!TryInvariantStrToFloat(token, value)) return false;
  if (integer && (value < INT32_MIN || value > INT32_MAX)) integer = false;
  return true;
}

}  // namespace

std::unique_ptr<TPDFCalculatorProgram> TPDFCalculatorProgram::Parse(const TPDFBuffer& text) {
  auto program = std::make_unique<TPDFCalculatorProgram>();
  size_t pos = 0;
  skipCalcSpace(text, pos);
  if (pos >= text.size() || text[pos] != '{') return nullptr;
  ++pos;
  int32_t main = -1;
  if (!program->parseBlock(text, pos, 0, main)) return nullptr;
  skipCalcSpace(text, pos);
  if (pos != text.size()) return nullptr;
  return program;
}

// Reads the instructions after a "{" up to its "}"; sub-blocks must be
// followed by "if" (one) or "ifelse" (two).
bool TPDFCalculatorProgram::parseBlock(const TPDFBuffer& text, size_t& pos, int depth, int32_t& block) {
  if (depth >= MaxCalcNesting) return false;
  block = static_cast<int32_t>(blocks_.size());
  blocks_.emplace_back();
  std::vector<int32_t> pending;
  for (;;) {
    skipCalcSpace(text, pos);
    if (pos >= text.size()) return false;
    const uint8_t c = text[pos];
    if (c == '}') {
      ++pos;
      return pending.empty();
    }
    if (c == '{') {
      ++pos;
      if (pending.size() >= 2) return false;
      int32_t sub = -1;
      if (!parseBlock(text, pos, depth + 1, sub)) return false;
      pending.push_back(sub);
      continue;
    }
    const size_t start = pos;
    while (pos < text.size() && !isCalcDelimiter(text[pos])) ++pos;
    const std::string_view token(reinterpret_cast<const char*>(text.data()) + start, pos - start);
    CalcInstruction instruction{CalcOp::Number};
    if (token == "if" || token == "ifelse") {
      const size_t needed = token == "if" ? 1 : 2;
      if (pending.size() != needed) return false;
      instruction.op = token == "if" ? CalcOp::If : CalcOp::IfElse;
      instruction.block1 = pending[0];
      if (needed == 2) instruction.block2 = pending[1];
      pending.clear();
    } else if (!pending.empty()) {
      return false;
    } else if (token == "true" || token == "false") {
      instruction.op = CalcOp::Boolean;
      instruction.value = token == "true" ? 1 : 0;
    } else if (!parseCalcNumber(token, instruction.value, instruction.integer)) {
      auto found = std::find_if(std::begin(CalcOperators), std::end(CalcOperators),
                                [&](const CalcOperatorName& entry) { return entry.name == token; });
      if (found == std::end(CalcOperators)) return false;
      instruction.op = found->op;
    }
    blocks_[block].push_back(instruction);
  }
}

namespace {

CalcValue pop(std::vector<CalcValue>& stack) {
  if (stack.empty()) throw CalcFailure{};
  CalcValue value = stack.back();
  stack.pop_back();
  return value;
}

double popNumber(std::vector<CalcValue>& stack) {
  CalcValue value = pop(stack);
  if (value.kind == 2) throw CalcFailure{};
  return value.value;
}

int64_t popInteger(std::vector<CalcValue>& stack) {
  CalcValue value = pop(stack);
  if (value.kind != 1) throw CalcFailure{};
  return static_cast<int64_t>(value.value);
}

void push(std::vector<CalcValue>& stack, CalcValue value) {
  if (stack.size() >= MaxCalcStack || !std::isfinite(value.value)) throw CalcFailure{};
  stack.push_back(value);
}

void pushReal(std::vector<CalcValue>& stack, double value) { push(stack, {value, 0}); }

// An integer result stays an integer while it fits in 32 bits.
void pushArithmetic(std::vector<CalcValue>& stack, double value, bool integers) {
  const bool fits = integers && value >= INT32_MIN && value <= INT32_MAX;
  push(stack, {value, static_cast<uint8_t>(fits ? 1 : 0)});
}

double degrees(double radians) {
  double angle = radians * 180.0 / std::numbers::pi;
  return angle < 0 ? angle + 360.0 : angle;
}

}  // namespace

void TPDFCalculatorProgram::execute(int32_t block, std::vector<CalcValue>& stack) const {
  for (const CalcInstruction& in : blocks_[block]) {
    switch (in.op) {
      case CalcOp::Number: push(stack, {in.value, static_cast<uint8_t>(in.integer ? 1 : 0)}); break;
      case CalcOp::Boolean: push(stack, {in.value, 2}); break;
      case CalcOp::If: {
        CalcValue condition = pop(stack);
        if (condition.kind != 2) throw CalcFailure{};
        if (condition.value != 0) execute(in.block1, stack);
        break;
      }
      case CalcOp::IfElse: {
        CalcValue condition = pop(stack);
        if (condition.kind != 2) throw CalcFailure{};
        execute(condition.value != 0 ? in.block1 : in.block2, stack);
        break;
      }
      case CalcOp::Abs:
      case CalcOp::Neg: {
        CalcValue a = pop(stack);
        if (a.kind == 2) throw CalcFailure{};
        pushArithmetic(stack, in.op == CalcOp::Abs ? std::fabs(a.value) : -a.value, a.kind == 1);
        break;
      }
      case CalcOp::Add:
      case CalcOp::Sub:
      case CalcOp::Mul: {
        CalcValue b = pop(stack), a = pop(stack);
        if (a.kind == 2 || b.kind == 2) throw CalcFailure{};
        const double r = in.op == CalcOp::Add ? a.value + b.value
                         : in.op == CalcOp::Sub ? a.value - b.value
                                                : a.value * b.value;
        pushArithmetic(stack, r, a.kind == 1 && b.kind == 1);
        break;
      }
      case CalcOp::Div: {
        double b = popNumber(stack), a = popNumber(stack);
        if (b == 0) throw CalcFailure{};
        pushReal(stack, a / b);
        break;
      }
      case CalcOp::Idiv:
      case CalcOp::Mod: {
        int64_t b = popInteger(stack), a = popInteger(stack);
        if (b == 0) throw CalcFailure{};
        pushArithmetic(stack, static_cast<double>(in.op == CalcOp::Idiv ? a / b : a % b), true);
        break;
      }
      case CalcOp::Atan: {
        double den = popNumber(stack), num = popNumber(stack);
        if (num == 0 && den == 0) throw CalcFailure{};
        pushReal(stack, degrees(std::atan2(num, den)));
        break;
      }
      case CalcOp::Cos: pushReal(stack, std::cos(popNumber(stack) * std::numbers::pi / 180.0)); break;
      case CalcOp::Sin: pushReal(stack, std::sin(popNumber(stack) * std::numbers::pi / 180.0)); break;
      case CalcOp::Exp: {
        double exponent = popNumber(stack), base = popNumber(stack);
        pushReal(stack, std::pow(base, exponent));
        break;
      }
      case CalcOp::Ln:
      case CalcOp::Log: {
        double a = popNumber(stack);
        if (a <= 0) throw CalcFailure{};
        pushReal(stack, in.op == CalcOp::Ln ? std::log(a) : std::log10(a));
        break;
      }
      case CalcOp::Sqrt: {
        double a = popNumber(stack);
        if (a < 0) throw CalcFailure{};
        pushReal(stack, std::sqrt(a));
        break;
      }
      case CalcOp::Ceiling:
      case CalcOp::Floor:
      case CalcOp::Round:
      case CalcOp::Truncate: {
        CalcValue a = pop(stack);
        if (a.kind == 2) throw CalcFailure{};
        double r = in.op == CalcOp::Ceiling ? std::ceil(a.value)
                   : in.op == CalcOp::Floor ? std::floor(a.value)
                   : in.op == CalcOp::Round ? std::floor(a.value + 0.5)
                                            : std::trunc(a.value);
        push(stack, {r, a.kind});
        break;
      }
      case CalcOp::Cvi: {
        double r = std::trunc(popNumber(stack));
        if (r < INT32_MIN || r > INT32_MAX) throw CalcFailure{};
        push(stack, {r, 1});
        break;
      }
      case CalcOp::Cvr: pushReal(stack, popNumber(stack)); break;
      case CalcOp::Eq:
      case CalcOp::Ne: {
        CalcValue b = pop(stack), a = pop(stack);
        if ((a.kind == 2) != (b.kind == 2)) throw CalcFailure{};
        const bool equal = a.value == b.value;
        push(stack, {(in.op == CalcOp::Eq) == equal ? 1.0 : 0.0, 2});
        break;
      }
      case CalcOp::Ge:
      case CalcOp::Gt:
      case CalcOp::Le:
      case CalcOp::Lt: {
        double b = popNumber(stack), a = popNumber(stack);
        bool r = in.op == CalcOp::Ge ? a >= b : in.op == CalcOp::Gt ? a > b : in.op == CalcOp::Le ? a <= b : a < b;
        push(stack, {r ? 1.0 : 0.0, 2});
        break;
      }
      case CalcOp::And:
      case CalcOp::Or:
      case CalcOp::Xor: {
        CalcValue b = pop(stack), a = pop(stack);
        if (a.kind != b.kind || a.kind == 0) throw CalcFailure{};
        const auto x = static_cast<int32_t>(a.value), y = static_cast<int32_t>(b.value);
        const int32_t r = in.op == CalcOp::And ? (x & y) : in.op == CalcOp::Or ? (x | y) : (x ^ y);
        push(stack, {static_cast<double>(r), a.kind});
        break;
      }
      case CalcOp::Not: {
        CalcValue a = pop(stack);
        if (a.kind == 0) throw CalcFailure{};
        if (a.kind == 2)
          push(stack, {a.value != 0 ? 0.0 : 1.0, 2});
        else
          push(stack, {static_cast<double>(~static_cast<int32_t>(a.value)), 1});
        break;
      }
      case CalcOp::Bitshift: {
        int64_t shift = popInteger(stack);
        auto a = static_cast<uint32_t>(static_cast<int32_t>(popInteger(stack)));
        uint32_t r = shift >= 32 || shift <= -32 ? 0 : shift >= 0 ? a << shift : a >> -shift;
        push(stack, {static_cast<double>(static_cast<int32_t>(r)), 1});
        break;
      }
      case CalcOp::Copy: {
        int64_t n = popInteger(stack);
        if (n < 0 || n > static_cast<int64_t>(stack.size())) throw CalcFailure{};
        const size_t from = stack.size() - static_cast<size_t>(n);
        for (size_t k = 0; k < static_cast<size_t>(n); ++k) push(stack, stack[from + k]);
        break;
      }
      case CalcOp::Dup: {
        CalcValue a = pop(stack);
        push(stack, a);
        push(stack, a);
        break;
      }
      case CalcOp::Exch: {
        CalcValue b = pop(stack), a = pop(stack);
        push(stack, b);
        push(stack, a);
        break;
      }
      case CalcOp::Index: {
        int64_t n = popInteger(stack);
        if (n < 0 || n >= static_cast<int64_t>(stack.size())) throw CalcFailure{};
        push(stack, stack[stack.size() - 1 - static_cast<size_t>(n)]);
        break;
      }
      case CalcOp::Pop: pop(stack); break;
      case CalcOp::Roll: {
        int64_t j = popInteger(stack), n = popInteger(stack);
        if (n < 0 || n > static_cast<int64_t>(stack.size())) throw CalcFailure{};
        if (n == 0) break;
        // Positive j moves the top values down ("upward" in the language's
        // terms: toward the top of the stack), negative j the other way.
        j %= n;
        if (j < 0) j += n;
        std::rotate(stack.end() - n, stack.end() - j, stack.end());
        break;
      }
    }
  }
}

bool TPDFCalculatorProgram::Run(const std::vector<float>& inputs, std::vector<float>& outputs,
                                int32_t outputCount) const {
  std::vector<CalcValue> stack;
  stack.reserve(MaxCalcStack);
  try {
    for (float input : inputs) pushReal(stack, input);
    execute(0, stack);
  } catch (const CalcFailure&) {
    return false;
  }
  if (stack.size() < static_cast<size_t>(outputCount)) return false;
  outputs.resize(outputCount);
  const size_t first = stack.size() - static_cast<size_t>(outputCount);
  for (int32_t k = 0; k < outputCount; ++k) {
    if (stack[first + k].kind == 2) return false;
    outputs[k] = static_cast<float>(stack[first + k].value);
  }
  return true;
}

// ---------------------------------------------------------------------------
// Functions

namespace {

// The numbers of an array entry, references resolved; nil when the key is
// missing. An element that is no number fails the assertion.
bool readNumbers(TPDFCollection* collection, TPDFDictionary* dictionary, std::string_view key,
                 std::vector<float>& values, bool required = false) {
  TPDFArray* array = required ? dictionary->GetRequiredObject<TPDFArray>(collection, key)
                              : dictionary->GetObject<TPDFArray>(collection, key);
  if (!array) return false;
  Assert(array->Count() <= 2 * MaxFunctionValues, "Function array too long");
  values.clear();
  for (int32_t k = 0; k < array->Count(); ++k) {
    auto* number = dynamic_cast<TPDFNumeric*>(array->GetObject(collection, k));
    Assert(number != nullptr, "Function array holds a value that is not a number");
    values.push_back(static_cast<float>(number->AsFloat()));
  }
  return true;
}

void splitPairs(const std::vector<float>& values, std::vector<float>& minima, std::vector<float>& maxima) {
  minima.clear();
  maxima.clear();
  for (size_t k = 0; k + 1 < values.size(); k += 2) {
    minima.push_back(values[k]);
    maxima.push_back(values[k + 1]);
  }
}

float clampTo(float value, float low, float high) {
  if (std::isnan(value)) return low;
  return value < low ? low : value > high ? high : value;
}

}  // namespace

TPDFFunction::TPDFFunction(TPDFCollection* collection, TPDFDictionary* dictionary) {
  Assert(collection != nullptr && dictionary != nullptr, "TPDFFunction needs a collection and a dictionary");
  FunctionType = dictionary->GetInteger(collection, "FunctionType", -1);
  Assert(FunctionType == -1 || FunctionType == 0 || FunctionType == 2 || FunctionType == 3 || FunctionType == 4,
         "Invalid function type");
  Assert(FunctionType != 3 && FunctionType != -1, "Unsupported function type");

  std::vector<float> values;
  readNumbers(collection, dictionary, "Domain", values, true);
  Assert(values.size() % 2 == 0, "Function Domain has an odd count");
  splitPairs(values, DomainMin, DomainMax);

  if (readNumbers(collection, dictionary, "Range", values)) {
    Assert(values.size() % 2 == 0, "Function Range has an odd count");
    splitPairs(values, RangeMin, RangeMax);
    HasRange = true;
    outputCount_ = static_cast<int32_t>(RangeMin.size());
  }
  Assert(HasRange || FunctionType == 2, "Function Range required");

  switch (FunctionType) {
    case 0: readSampled(collection, dictionary); break;
    case 2: readExponential(collection, dictionary); break;
    case 4:
      if (dictionary->StreamState() != 0) {
        dictionary->SetStreamState(2, collection);
        program_ = TPDFCalculatorProgram::Parse(dictionary->StreamData());
      }
      break;
  }
}

TPDFFunction::~TPDFFunction() = default;

void TPDFFunction::readExponential(TPDFCollection* collection, TPDFDictionary* dictionary) {
  Assert(InputCount() == 1, "Exponential function needs one input");
  if (readNumbers(collection, dictionary, "C0", C0)) {
    if (!HasRange) outputCount_ = static_cast<int32_t>(C0.size());
    Assert(static_cast<int32_t>(C0.size()) == outputCount_, "Function C0 does not match the outputs");
  } else {
    Assert(outputCount_ == 1, "Function C0 required for more than one output");
    C0 = {0};
  }
  std::vector<float> c1;
  if (readNumbers(collection, dictionary, "C1", c1)) {
    Assert(static_cast<int32_t>(c1.size()) == outputCount_, "Function C1 does not match the outputs");
  } else {
    Assert(outputCount_ == 1, "Function C1 required for more than one output");
    c1 = {1};
  }
  C1MinusC0.resize(c1.size());
  for (size_t k = 0; k < c1.size(); ++k) C1MinusC0[k] = c1[k] - C0[k];
  N = static_cast<float>(dictionary->GetRequiredObject<TPDFNumeric>(collection, "N")->AsFloat());
}

void TPDFFunction::readSampled(TPDFCollection* collection, TPDFDictionary* dictionary) {
  TPDFArray* size = dictionary->GetRequiredObject<TPDFArray>(collection, "Size");
  Assert(size->Count() == InputCount(), "Function Size does not match the inputs");
  Assert(InputCount() >= 1 && outputCount_ >= 1, "Sampled function without inputs or outputs");
  // The sample count in 64 bits, capped, so that a hostile Size can neither
  // overflow nor ask for more data than any real function has.
  int64_t samples = outputCount_;
  for (int32_t k = 0; k < size->Count(); ++k) {
    auto* value = dynamic_cast<TPDFInteger*>(size->GetObject(collection, k));
    Assert(value != nullptr && value->Value >= 1, "Function Size must hold positive integers");
    Size.push_back(value->Value);
    samples *= value->Value;
    Assert(samples <= MaxFunctionSamples, "Function Size too large");
  }
  std::vector<float> values;
  if (readNumbers(collection, dictionary, "Encode", values)) {
    Assert(static_cast<int32_t>(values.size()) == 2 * InputCount(), "Function Encode does not match the inputs");
    splitPairs(values, EncodeMin, EncodeMax);
  } else {
    for (int32_t s : Size) {
      EncodeMin.push_back(0);
      EncodeMax.push_back(static_cast<float>(s - 1));
    }
  }
  if (readNumbers(collection, dictionary, "Decode", values)) {
    Assert(static_cast<int32_t>(values.size()) == 2 * outputCount_, "Function Decode does not match the outputs");
    splitPairs(values, DecodeMin, DecodeMax);
  } else {
    DecodeMin = RangeMin;
    DecodeMax = RangeMax;
  }

  dictionary->SetStreamState(2, collection);
  const TPDFBuffer& data = dictionary->StreamData();
  BitsPerSample = dictionary->GetInteger(collection, "BitsPerSample", 8);
  if (BitsPerSample == 8) {
    Samples.assign(data.begin(), data.end());
  } else if (BitsPerSample == 16) {
    Samples.reserve(data.size() / 2);
    for (size_t k = 0; k + 1 < data.size(); k += 2) Samples.push_back(data[k]);
    BitsPerSample = 8;
  } else {
    Assert(false, "Type0 Function bitcount not supported (yet)");
  }
  Assert(static_cast<int64_t>(Samples.size()) >= samples, "Function sample data too short");

  Strides.push_back(outputCount_);
  for (size_t k = 1; k < Size.size(); ++k) Strides.push_back(Strides[k - 1] * Size[k - 1]);
}

void TPDFFunction::evaluateSampled(std::vector<float>& values) const {
  const int32_t inputs = InputCount();
  std::vector<float> outputs(outputCount_);
  std::vector<double> e(inputs);
  for (int32_t k = 0; k < inputs; ++k) {
    const double width = static_cast<double>(DomainMax[k]) - DomainMin[k];
    double value = EncodeMin[k];
    if (width != 0)
      value = EncodeMin[k] + (static_cast<double>(values[k]) - DomainMin[k]) *
                                 (static_cast<double>(EncodeMax[k]) - EncodeMin[k]) / width;
    if (!(value >= 0)) value = 0;
    e[k] = std::min(value, static_cast<double>(Size[k] - 1));
  }
  if (inputs == 1) {
    const double whole = std::floor(e[0]);
    const double fraction = e[0] - whole;
    const int64_t index = outputCount_ * static_cast<int64_t>(whole);
    for (int32_t j = 0; j < outputCount_; ++j) {
      double s = Samples[index + j];
      if (fraction > 0.001) s += fraction * (Samples[index + j + outputCount_] - s);
      outputs[j] = static_cast<float>(DecodeMin[j] + s * (static_cast<double>(DecodeMax[j]) - DecodeMin[j]) / 255);
    }
  } else {
    int64_t index = 0;
    for (int32_t k = 0; k < inputs; ++k) index += static_cast<int64_t>(std::floor(e[k])) * Strides[k];
    for (int32_t j = 0; j < outputCount_; ++j)
      outputs[j] = static_cast<float>(DecodeMin[j] + Samples[index + j] *
                                                         (static_cast<double>(DecodeMax[j]) - DecodeMin[j]) / 255);
  }
  values = std::move(outputs);
}

void TPDFFunction::Evaluate(std::vector<float>& values) const {
  Assert(static_cast<int32_t>(values.size()) == InputCount(), "Function called with the wrong input count");
  for (int32_t k = 0; k < InputCount(); ++k) values[k] = clampTo(values[k], DomainMin[k], DomainMax[k]);
  switch (FunctionType) {
    case 0: evaluateSampled(values); break;
    case 2: {
      const float x = values.empty() ? 0 : values[0];
      const double power = N == 1 ? x : std::pow(static_cast<double>(x), static_cast<double>(N));
      values.resize(outputCount_);
      for (int32_t j = 0; j < outputCount_; ++j) values[j] = static_cast<float>(C0[j] + power * C1MinusC0[j]);
      break;
    }
    case 4: {
      std::vector<float> outputs;
      if (program_ && program_->Run(values, outputs, outputCount_)) {
        values = std::move(outputs);
      } else {
        // A program that does not parse or fails passes its first input on.
        const float first = values.empty() ? 0 : values[0];
        values.assign(outputCount_, first);
      }
      break;
    }
    default: Assert(false, "Invalid function type");
  }
  if (HasRange)
    for (int32_t j = 0; j < outputCount_; ++j) values[j] = clampTo(values[j], RangeMin[j], RangeMax[j]);
  for (float& value : values)
    if (!std::isfinite(value)) value = 0;
}

TPDFFunction* PDFFunctionFactory(TPDFCollection* collection, TPDFDictionary* dictionary) {
  Assert(collection != nullptr && dictionary != nullptr, "PDFFunctionFactory needs a collection and a dictionary");
  if (auto* function = dynamic_cast<TPDFFunction*>(dictionary->AttachedObject.get())) return function;
  auto function = std::make_unique<TPDFFunction>(collection, dictionary);
  TPDFFunction* result = function.get();
  dictionary->AttachedObject = std::move(function);
  return result;
}

}  // namespace px
