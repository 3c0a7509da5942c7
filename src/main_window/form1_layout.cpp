#include "main_window/form1_layout.hpp"

#include <cmath>

#include "main_window/combo_sizing.hpp"

namespace parone {

double LayoutTwipsPerPixel(double twipsPerPixel, int workWidth, int workHeight, int frameWidth,
                           int frameHeight) {
  constexpr double kSmallest = 30;  // 48 DPI
  const auto fits = [&](double tpp) {
    return TwipsToPixels(kForm1WidthTwips, tpp) + frameWidth <= workWidth &&
           TwipsToPixels(kForm1HeightTwips, tpp) + frameHeight <= workHeight;
  };
  if (fits(twipsPerPixel)) return twipsPerPixel;
  // The layout counts in whole twips per pixel (TwipsToPixels rounds them),
  // so the scales to try are those.
  for (double tpp = std::floor(twipsPerPixel) + 1; tpp < kSmallest; ++tpp) {
    if (fits(tpp)) return tpp;
  }
  return kSmallest;
}

}  // namespace parone
