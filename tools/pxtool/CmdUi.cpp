// pxtool ui scalecolor COLOR EXPONENT
//   The framework's edge colour rule; COLOR is a number (0x00808080, 255) or
//   a colour name (clBtnFace); prints the result as 0x%08X.
// pxtool ui strip IN.png INDEX OUT.pam [--bg RRGGBB]
//   Uses IN.png as an image strip: prints its image size and count, draws
//   image INDEX with the image-list service onto a square background (white
//   unless --bg) and writes it as an 8-bit RGBA PAM file.
// pxtool ui dropdown --area X,Y,W,H --edit X,Y,W,H [--rtl] [--resizable]
//                    [--size MINW,MINH,W,H,MAXW,MAXH]
//   Where the framework edit's drop-down goes on a monitor area; --size is
//   what the owner settles on before expanding (default: the starting values).
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "PxTool.h"
#include "platform/core/NumberConversion.h"
#include "platform/core/Resources.h"
#include "platform/core/Streams.h"
#include "platform/gui/Graphics.h"
#include "ui/framework/QVRControls.h"
#include "ui/framework/UnitImage.h"
#include "ui/framework/UnitQVREdit.h"

namespace px::pxtool {
namespace {

bool parseColor(const std::string& text, TColor& color) {
  static const std::pair<const char*, TColor> names[] = {
      {"clBlack", clBlack}, {"clMaroon", clMaroon}, {"clGreen", clGreen}, {"clOlive", clOlive},
      {"clNavy", clNavy}, {"clPurple", clPurple}, {"clTeal", clTeal}, {"clGray", clGray},
      {"clSilver", clSilver}, {"clRed", clRed}, {"clLime", clLime}, {"clYellow", clYellow},
      {"clBlue", clBlue}, {"clFuchsia", clFuchsia}, {"clAqua", clAqua}, {"clWhite", clWhite},
      {"clScrollBar", clScrollBar}, {"clBackground", clBackground}, {"clActiveCaption", clActiveCaption},
      {"clInactiveCaption", clInactiveCaption}, {"clMenu", clMenu}, {"clWindow", clWindow},
      {"clWindowFrame", clWindowFrame}, {"clMenuText", clMenuText}, {"clWindowText", clWindowText},
      {"clCaptionText", clCaptionText}, {"clActiveBorder", clActiveBorder}, {"clInactiveBorder", clInactiveBorder},
      {"clAppWorkSpace", clAppWorkSpace}, {"clHighlight", clHighlight}, {"clHighlightText", clHighlightText},
      {"clBtnFace", clBtnFace}, {"clBtnShadow", clBtnShadow}, {"clGrayText", clGrayText},
      {"clBtnText", clBtnText}, {"clInactiveCaptionText", clInactiveCaptionText},
      {"clBtnHighlight", clBtnHighlight}, {"clInfoText", clInfoText}, {"clInfoBk", clInfoBk},
      {"clHotLight", clHotLight}, {"clGradientActiveCaption", clGradientActiveCaption},
      {"clGradientInactiveCaption", clGradientInactiveCaption}, {"clMenuHighlight", clMenuHighlight},
      {"clMenuBar", clMenuBar},
  };
  for (const auto& [name, value] : names)
    if (text == name) {
      color = value;
      return true;
    }
  if (text.empty()) return false;
  char* end = nullptr;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  unsigned long long v = std::strtoull(text.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
  if (*end != '\0' || end == text.c_str() + (hex ? 2 : 0) || v > 0xFFFFFFFFull) return false;
  color = static_cast<TColor>(v);
  return true;
}

bool parseInt(const std::string& text, int32_t& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || v < INT32_MIN || v > INT32_MAX) return false;
  value = static_cast<int32_t>(v);
  return true;
}

// Colours of system colour names come from the application's palette.
std::unique_ptr<QGuiApplication> guiApplication() {
  if (QCoreApplication::instance()) return nullptr;
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "pxtool";
  static char* argv[] = {name, nullptr};
  return std::make_unique<QGuiApplication>(argc, argv);
}

int scaleColor(const Args& args, std::ostream& out, std::ostream& err) {
  TColor color = 0;
  if (args.size() != 3 || !parseColor(args[1], color)) return usageError(err);
  double exponent = 0;
  if (!TryInvariantStrToFloat(args[2], exponent)) return usageError(err);
  auto app = (color & clSystemColor) == clSystemColor ? guiApplication() : nullptr;
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(ScaleColor(color, exponent)));
  out << text << "\n";
  return 0;
}

int strip(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 4 && args.size() != 6) return usageError(err);
  int32_t index = 0;
  if (!parseInt(args[2], index)) return usageError(err);
  TColor bg = clWhite;
  if (args.size() == 6) {
    TColor rgb = 0;
    if (args[4] != "--bg" || args[5].size() != 6 || !parseColor("0x" + args[5], rgb)) return usageError(err);
    bg = ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
  }
  const char* const name = "PXTOOL_STRIP";
  TMemoryStream in;
  in.LoadFromFile(args[1]);
  RegisterResource(name, "PNG", TBytes(in.Memory(), in.Memory() + in.Size()));
  TImageLists lists;
  const int32_t w = lists.GetImageSize(name).cx;
  out << "size=" << w << " count=" << lists.Strip(name).Height() / w << "\n";
  TBitmap target(w, w, pf32bit);
  target.Canvas().Brush().SetColor(bg);
  target.Canvas().FillRect(Rect(0, 0, w, w));
  lists.Draw(&target.Canvas(), 0, 0, index, name);
  std::string pam = "P7\nWIDTH " + std::to_string(w) + "\nHEIGHT " + std::to_string(w) +
                    "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  for (int32_t y = 0; y < w; ++y)
    for (int32_t x = 0; x < w; ++x) {
      TColor c = target.GetPixel(x, y);
      const char rgba[4] = {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF),
                            static_cast<char>((c >> 16) & 0xFF), static_cast<char>(0xFF)};
      pam.append(rgba, 4);
    }
  SaveFileAtomically(args[3], [&](TStream& stream) { stream.WriteBuffer(pam); });
  return 0;
}

bool parseInts(const std::string& text, size_t count, std::vector<int32_t>& values) {
  values.clear();
  size_t start = 0;
  while (true) {
    size_t comma = text.find(',', start);
    int32_t v = 0;
    if (!parseInt(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start), v)) return false;
    values.push_back(v);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return values.size() == count;
}

int dropdown(const Args& args, std::ostream& out, std::ostream& err) {
  std::vector<int32_t> area, edit, size;
  bool rtl = false, resizable = false, haveSize = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--rtl") rtl = true;
    else if (a == "--resizable") resizable = true;
    else if (i + 1 < args.size() && a == "--area") {
      if (!parseInts(args[++i], 4, area)) return usageError(err);
    } else if (i + 1 < args.size() && a == "--edit") {
      if (!parseInts(args[++i], 4, edit)) return usageError(err);
    } else if (i + 1 < args.size() && a == "--size") {
      if (!parseInts(args[++i], 6, size)) return usageError(err);
      haveSize = true;
    } else {
      return usageError(err);
    }
  }
  if (area.size() != 4 || edit.size() != 4 || area[2] < 0 || area[3] < 0 || edit[2] < 0 || edit[3] < 0)
    return usageError(err);
  const TRect a = Bounds(area[0], area[1], area[2], area[3]), e = Bounds(edit[0], edit[1], edit[2], edit[3]);
  TComboSizeInformation info = InitialComboSizeInformation(a, e, rtl ? bdRightToLeft : bdLeftToRight, resizable);
  if (haveSize) {
    info.MinWidth = size[0];
    info.MinHeight = size[1];
    info.Width = size[2];
    info.Height = size[3];
    info.MaxWidth = size[4];
    info.MaxHeight = size[5];
  }
  TDropDownPlacement p = PlaceDropDown(a, e, resizable, info);
  if (p.Failed) {
    out << "failure\n";
    return 0;
  }
  out << "direction=" << int(p.Direction) << " left=" << p.Bounds.Left << " top=" << p.Bounds.Top
      << " width=" << p.Bounds.Width() << " height=" << p.Bounds.Height() << " minw=" << p.MinWidth
      << " minh=" << p.MinHeight << " maxw=" << p.MaxWidth << " maxh=" << p.MaxHeight << " grip=" << int(p.Grip)
      << "\n";
  return 0;
}

int runUi(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return usageError(err);
  if (args[0] == "scalecolor") return scaleColor(args, out, err);
  if (args[0] == "strip") return strip(args, out, err);
  if (args[0] == "dropdown") return dropdown(args, out, err);
  return usageError(err);
}

const PxCommand uiCommand("ui",
                          "ui scalecolor COLOR EXPONENT\n"
                          "  pxtool ui strip IN.png INDEX OUT.pam [--bg RRGGBB]\n"
                          "  pxtool ui dropdown --area X,Y,W,H --edit X,Y,W,H [--rtl] [--resizable] "
                          "[--size MINW,MINH,W,H,MAXW,MAXH]",
                          runUi);

}  // namespace
}  // namespace px::pxtool
