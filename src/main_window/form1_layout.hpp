#pragma once
// The controls of the window Form1 and where they stand: one table that the
// Qt window and the Win32 window both build from, so that the two show the
// same captions at the same places in the same focus order.

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace parone {

// Every control of Form1, by the name the workflow knows it by.
enum class Form1Control : int {
  Label1,
  cmbLocalFullPath,  // drop-down combo box with an editable text field
  cmbLocalFileOnly,  // drop-down list without a text field, kept sorted
  cmdFindFile,
  ProgressBar1,
  chkSuccUnload,
  cmdDistribute,  // the default button (Enter)
  cmdClose,       // the cancel button (Esc)
  lblVer,
  Label2,
  Text1,  // one-line text box
  ChkPassive,
  chkCodeSigning,
  lblWaiting,  // blue text, hidden until the signing hand-off waits
};

inline constexpr const char* kForm1Caption = "파로네 자동배포2(ftp)";

// The client area, in twips.
inline constexpr int kForm1WidthTwips = 13140;
inline constexpr int kForm1HeightTwips = 2055;

// The height CmbSetSize gives both combo boxes with their list dropped down.
inline constexpr long kDroppedHeightTwips = 5000;

// Blue as the platform's 0x00BBGGRR colour value.
inline constexpr unsigned long kLblWaitingColour = 0x00FF0000;

struct ControlLayout {
  Form1Control id;
  const char* name;     // the control's name, also its object name in Qt
  const char* caption;  // caption, or the initial text of Text1; "" for none
  int left;             // twips within the client area
  int top;
  int width;
  int height;
  int tabIndex;  // position in the focus order; labels take no focus
};

// At start every check box is ticked, ProgressBar1 runs from 0 to 100 at 0,
// and lblWaiting is hidden.
inline constexpr std::array<ControlLayout, 14> kForm1Layout{{
    {Form1Control::Label1, "Label1", "로컬파일:", 225, 315, 825, 195, 2},
    {Form1Control::cmbLocalFullPath, "cmbLocalFullPath", "", 1125, 270, 8130, 300, 0},
    {Form1Control::cmbLocalFileOnly, "cmbLocalFileOnly", "", 9300, 270, 2310, 300, 11},
    {Form1Control::cmdFindFile, "cmdFindFile", "파일찾기", 11655, 255, 1140, 330, 4},
    {Form1Control::ProgressBar1, "ProgressBar1", "", 1125, 810, 7485, 285, 5},
    {Form1Control::chkSuccUnload, "chkSuccUnload", "전송후 닫기", 8820, 855, 1410, 240, 9},
    {Form1Control::cmdDistribute, "cmdDistribute", "배포", 10395, 720, 1185, 510, 1},
    {Form1Control::cmdClose, "cmdClose", "닫기", 11655, 720, 1185, 510, 3},
    {Form1Control::lblVer, "lblVer", "버전:", 270, 1170, 420, 180, 6},
    {Form1Control::Label2, "Label2", "UPX경로:", 270, 1530, 780, 180, 8},
    {Form1Control::Text1, "Text1", "D:\\upx.exe", 1125, 1485, 3705, 285, 7},
    {Form1Control::ChkPassive, "ChkPassive", "Passive Mode", 5040, 1500, 1545, 270, 10},
    {Form1Control::chkCodeSigning, "chkCodeSigning", "전자서명 추가", 7080, 1500, 1485, 270, 12},
    {Form1Control::lblWaiting, "lblWaiting", "전자서명 대기중...", 8760, 1530, 1500, 180, 13},
}};

constexpr const ControlLayout& LayoutOf(Form1Control id) {
  return kForm1Layout[static_cast<std::size_t>(id)];
}

// The table is indexed by the enumeration's values.
static_assert([] {
  for (std::size_t i = 0; i < kForm1Layout.size(); ++i) {
    if (static_cast<std::size_t>(kForm1Layout[i].id) != i) return false;
  }
  return true;
}());

constexpr std::string_view NameOf(Form1Control id) { return LayoutOf(id).name; }

// The twips per pixel to lay the window out at on a screen of
// `twipsPerPixel` whose work area (the screen less the taskbar) is
// `workWidth` by `workHeight` pixels, when the window's frame adds
// `frameWidth` by `frameHeight` pixels to the client area: the screen's own
// where the whole window fits at it, else the largest scale (the fewest
// whole twips per pixel) at which it fits, so that every control stays on
// the screen at a large scaling of a small screen. At most 30 (48 DPI): on
// a work area smaller than that the window stays that large.
double LayoutTwipsPerPixel(double twipsPerPixel, int workWidth, int workHeight, int frameWidth,
                           int frameHeight);

// The table in keyboard focus order; labels keep their places in it,
// though they take no focus.
constexpr std::array<ControlLayout, kForm1Layout.size()> LayoutInFocusOrder() {
  std::array<ControlLayout, kForm1Layout.size()> order = kForm1Layout;
  std::sort(order.begin(), order.end(),
            [](const ControlLayout& a, const ControlLayout& b) { return a.tabIndex < b.tabIndex; });
  return order;
}

}  // namespace parone
