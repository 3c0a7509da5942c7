#include "main_window/combo_sizing.hpp"

#include <QAbstractItemView>
#include <QComboBox>

#include "common/numeric_text.hpp"

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

void CmbSetSize(QComboBox& combo, long droppedWidthTwips, long droppedHeightTwips,
                double twipsPerPixelX, double twipsPerPixelY) {
  const double tppX = twipsPerPixelX;
  const double tppY = twipsPerPixelY;
  const ComboPixels p = ComboSizeInPixels(combo.x() * tppX, combo.y() * tppY, combo.width() * tppX,
                                          droppedWidthTwips, droppedHeightTwips, tppX, tppY);
  // Position and width stay as they are, up to whole pixels.
  combo.setGeometry(p.left, p.top, p.width, combo.height());
  combo.setProperty("droppedHeightPx", p.droppedHeight);
  combo.setProperty("droppedWidthPx", p.droppedWidth);
  combo.view()->setMinimumWidth(p.droppedWidth);
  // Qt sizes the popup by rows: as many as fit below the box.
  const int row = combo.view()->sizeHintForRow(0) > 0 ? combo.view()->sizeHintForRow(0)
                                                      : combo.fontMetrics().height() + 4;
  const int rows = (p.droppedHeight - combo.height()) / row;
  combo.setMaxVisibleItems(rows > 1 ? rows : 1);
}

}  // namespace parone
