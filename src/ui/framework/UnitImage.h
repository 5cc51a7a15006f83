#pragma once
// Two small services of the framework registry: the image lists, which draw
// icons out of PNG image strips among the program's resources, and the panel
// adjust, which gives a framework panel the program's house style.
#include <map>
#include <memory>
#include <string>

#include "ui/framework/UnitQVRSystem.h"

namespace px {

// Each strip is a PNG resource of type "PNG": a vertical strip of square
// images as wide as the strip; image i starts at y = i * width. Strips load
// on first use and stay for the rest of the run.
class TImageLists : public IImageLists {
 public:
  TImageLists();
  ~TImageLists() override;
  // Draws image Index of the strip at (X, Y), composited over the canvas
  // with the strip's own (straight) alpha. A negative index, or one beyond
  // the strip's whole squares, draws nothing.
  void Draw(TCanvas* canvas, Integer x, Integer y, Integer index, const std::string& imageName) override;
  // Both members are the strip's width.
  TSize GetImageSize(const std::string& imageName) override;
  // The loaded strip; a missing or damaged resource raises and is not kept.
  const TBitmap& Strip(const std::string& imageName);
  // How many strips were loaded so far.
  Integer LoadCount() const { return loads_; }

 private:
  std::map<std::string, std::unique_ptr<TBitmap>> strips_;  // by upper-case name
  Integer loads_ = 0;
};

class TQVRPanelAdjust : public IPanelAdjust {
 public:
  // Raises EInvalidCast when Panel is no TQVRPanel.
  void Adjust(TObject* panel) override;
};

// Registers both services in the registry's empty namespace (after
// InitializeQVRSystem); FinalizeImages takes them out again.
void InitializeImages();
void FinalizeImages();

}  // namespace px
