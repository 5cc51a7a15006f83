#include "app/UnitScreenSupport.h"

#include <algorithm>

#include "app/UnitSettings.h"
#include "platform/core/CodePages.h"
#include "platform/core/Debug.h"
#include "platform/gui/Forms.h"
#include "ui/framework/UnitTranslation.h"

#include "platform/gui/Graphics.h"

namespace px {

namespace {
constexpr TColor kKey = clFuchsia;
}  // namespace

void DrawScreenImages(TImageList& list) {
  constexpr int32_t count = imgSaveCSV + 1;
  TBitmap strip(16 * count, 16, pf24bit);
  TCanvas& c = strip.Canvas();
  c.Pen().SetStyle(psClear);
  // Straight edges only, so that no smoothing mixes the key colour in.
  auto box = [&](Integer image, int32_t l, int32_t t, int32_t r, int32_t b, TColor color) {
    c.Brush().SetColor(color);
    c.FillRect(Rect(image * 16 + l, t, image * 16 + r, b));
  };
  c.Brush().SetColor(kKey);
  c.FillRect(Rect(0, 0, 16 * count, 16));
  // Edit: a yellow pencil lying from bottom left to top right.
  for (int32_t i = 0; i < 10; ++i) {
    box(imgEdit, 3 + i, 11 - i, 6 + i, 14 - i, clBlack);
    box(imgEdit, 4 + i, 12 - i, 5 + i, 13 - i, clYellow);
  }
  box(imgEdit, 1, 14, 3, 16, clBlack);
  // Add: a green plus.
  box(imgAdd, 6, 1, 10, 15, clGreen);
  box(imgAdd, 1, 6, 15, 10, clGreen);
  box(imgAdd, 7, 2, 9, 14, clLime);
  box(imgAdd, 2, 7, 14, 9, clLime);
  // Delete: a red cross.
  for (int32_t i = 0; i < 12; ++i) {
    box(imgDelete, 2 + i, 2 + i, 4 + i, 4 + i, clRed);
    box(imgDelete, 12 - i, 2 + i, 14 - i, 4 + i, clRed);
  }
  // Save as CSV: a sheet with rows and a column line.
  box(imgSaveCSV, 2, 1, 14, 15, clBlack);
  box(imgSaveCSV, 3, 2, 13, 14, clWhite);
  for (int32_t row = 4; row < 14; row += 3) box(imgSaveCSV, 3, row, 13, row + 1, clGreen);
  box(imgSaveCSV, 7, 2, 8, 14, clGreen);
  list.AddMasked(strip, kKey);
}

void OpenGuardedScreen(TControl* screen, TDataSetList* grid, Integer layoutList) {
  if (!Settings) return;
  grid->SetColumnLayout(Settings->ReadList(layoutList));
  if (!Settings->CheckPassword()) {
    Beep(1000, 100);
    screen->SetVisible(false);
  }
}

void KeepGridLayout(TDataSetList* grid, Integer layoutList) {
  if (Settings) Settings->WriteList(layoutList, grid->GetColumnLayout());
}

void FitDropDownToItems(TQVRComboBox* combo, Integer rows) {
  combo->DropDownCount = rows;
  combo->BeforeExpanding = [combo](TObject*, TComboSizeInformation& size) {
    TBitmap scratch(1, 1);
    scratch.Canvas().Font().Assign(combo->Font());
    int32_t widest = 0;
    for (Integer i = 0; i < combo->Items().Count(); ++i)
      widest = std::max(widest, scratch.Canvas().TextWidth(combo->Items().Strings(i)));
    // The list's own scroll bar and the margins around its texts.
    constexpr int32_t scrollBarAndMargins = 28;
    int32_t wanted = widest + scrollBarAndMargins;
    if (size.MaxWidth > 0) wanted = std::min(wanted, size.MaxWidth);
    size.Width = std::max(size.Width, wanted);
  };
}

std::string FileNameSafe(std::string text) {
  std::replace(text.begin(), text.end(), '/', '_');
  std::replace(text.begin(), text.end(), '\\', '_');
  return text;
}

std::string CharactersNotStored(const std::string& text) {
  const UnicodeString wide = Utf8ToUnicode(text);
  std::string found;
  for (size_t i = 0; i < wide.size();) {
    const bool pair = wide[i] >= 0xD800 && wide[i] < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
                      wide[i + 1] < 0xE000;
    const std::u16string_view c(wide.data() + i, pair ? 2 : 1);
    i += c.size();
    if (c.size() == 1 && AnsiToUnicode(UnicodeToAnsi(c)) == c) continue;
    const std::string shown = UnicodeToUtf8(c);
    if ((" " + found + " ").find(" " + shown + " ") != std::string::npos) continue;
    found += (found.empty() ? "" : " ") + shown;
  }
  return found;
}

bool RefuseCharactersNotStored(const std::string& text) {
  const std::string characters = CharactersNotStored(text);
  if (characters.empty()) return false;
  MessageDlg(Translate("CharactersNotStored") + " " + characters, mtError, {mbOK});
  return true;
}

}  // namespace px
