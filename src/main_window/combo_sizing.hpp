#pragma once
// Drop-down sizing of the window's combo boxes, and the twips-to-pixels
// conversion the window's layout uses. The arithmetic is platform free;
// CmbSetSize applies it to a Qt combo box (its popup's height and minimum
// width). Called on the GUI thread during the window's load.

class QComboBox;

namespace parone {

// Twips (1/1440 inch) to pixels: both numbers rounded half to even, then
// integer division dropping the remainder.
int TwipsToPixels(double twips, double twipsPerPixel);

struct ComboPixels {
  int left = 0;
  int top = 0;
  int width = 0;
  int droppedHeight = 0;  // the box with its list dropped down
  int droppedWidth = 0;   // minimum width of the dropped list
};

ComboPixels ComboSizeInPixels(double leftTwips, double topTwips, double widthTwips,
                              long droppedWidthTwips, long droppedHeightTwips,
                              double twipsPerPixelX, double twipsPerPixelY);

// The screen's twips per pixel for a logical DPI (15 at 96 DPI).
double TwipsPerPixel(double dpi);

inline constexpr const char* kCmbSetSizeClosing = ") in procedure CmbSetSize of Module modComboBox";

// Gives `combo` a popup `droppedHeightTwips` high (box included) and at least
// `droppedWidthTwips` wide. The pixel values are kept as the properties
// "droppedHeightPx" and "droppedWidthPx" for whoever lays out the popup.
void CmbSetSize(QComboBox& combo, long droppedWidthTwips, long droppedHeightTwips,
                double twipsPerPixelX, double twipsPerPixelY);

}  // namespace parone
