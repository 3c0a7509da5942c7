#include "main_window/combo_sizing.hpp"

#include "common/numeric_text.hpp"
#include "main_window/form1_controls.hpp"

namespace parone {

int TwipsToPixels(double twips, double twipsPerPixel) {
  const long long t = RoundHalfEven(twips);
  const long long perPixel = RoundHalfEven(twipsPerPixel);
  if (perPixel == 0) return 0;
  return static_cast<int>(t / perPixel);
}

double TwipsPerPixel(double dpi) { return dpi > 0 ? 1440.0 / dpi : 15.0; }

ComboPixels ComboSizeInPixels(double leftTwips, double topTwips, double widthTwips,
                              long droppedWidthTwips, long droppedHeightTwips,
                              double twipsPerPixelX, double twipsPerPixelY) {
  ComboPixels p;
  p.left = TwipsToPixels(leftTwips, twipsPerPixelX);
  p.top = TwipsToPixels(topTwips, twipsPerPixelY);
  p.width = TwipsToPixels(widthTwips, twipsPerPixelX);
  p.droppedHeight = TwipsToPixels(static_cast<double>(droppedHeightTwips), twipsPerPixelY);
  p.droppedWidth = TwipsToPixels(static_cast<double>(droppedWidthTwips), twipsPerPixelX);
  return p;
}

void CmbSetSize(Form1Controls& controls, Form1Control combo, long droppedWidthTwips,
                long droppedHeightTwips) {
  const double tppX = controls.TwipsPerPixelX();
  const double tppY = controls.TwipsPerPixelY();
  const PixelRect bounds = controls.Bounds(combo);
  const ComboPixels p = ComboSizeInPixels(bounds.left * tppX, bounds.top * tppY, bounds.width * tppX,
                                          droppedWidthTwips, droppedHeightTwips, tppX, tppY);
  controls.ApplyComboSize(combo, p);
}

}  // namespace parone
