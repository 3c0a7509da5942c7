#pragma once
// Drop-down sizing of the window's combo boxes (the module modComboBox), and
// the twips-to-pixels conversion the window's layout uses. The arithmetic is
// shared; each window applies the resulting pixels its own way (Win32 with
// MoveWindow and CB_SETDROPPEDWIDTH, Qt with the popup's height and width).
// Called on the GUI thread during the window's load.

namespace parone {

class Form1Controls;
enum class Form1Control : int;

// Twips (1/1440 inch) to pixels: both numbers rounded half to even, then
// integer division dropping the remainder. 0 when the twips per pixel round
// to 0.
int TwipsToPixels(double twips, double twipsPerPixel);

struct ComboPixels {
  int left = 0;
  int top = 0;
  int width = 0;
  int droppedHeight = 0;  // the box with its list dropped down
  int droppedWidth = 0;   // minimum width of the dropped list
  bool operator==(const ComboPixels&) const = default;
};

ComboPixels ComboSizeInPixels(double leftTwips, double topTwips, double widthTwips,
                              long droppedWidthTwips, long droppedHeightTwips,
                              double twipsPerPixelX, double twipsPerPixelY);

// The screen's twips per pixel for a logical DPI (15 at 96 DPI, and for a
// DPI the screen did not report).
double TwipsPerPixel(double dpi);

inline constexpr const char* kCmbSetSizeClosing = ") in procedure CmbSetSize of Module modComboBox";

// Gives `combo` a dropped-down list `droppedHeightTwips` high (box included)
// and at least `droppedWidthTwips` wide; its position and width stay as they
// are, up to whole pixels. Reads the combo's bounds and the twips per pixel
// from `controls` and hands it the pixels.
void CmbSetSize(Form1Controls& controls, Form1Control combo, long droppedWidthTwips,
                long droppedHeightTwips);

}  // namespace parone
