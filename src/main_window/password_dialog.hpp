#pragma once
// The small dialog both windows show when a run finds no FTP password: its
// captions and where its controls stand, one table as Form1's is one, so
// that the Qt dialog and the Win32 dialog show the same. What becomes of
// the answer is Form1Logic's.

#include <array>
#include <string>

namespace parone {

enum class PasswordDialogControl : int {
  lblPrompt,    // what is asked: PasswordPromptText
  txtPassword,  // one-line, masked
  chkSave,      // "저장": keep the password in the user's store
  cmdOk,        // the default button (Enter); disabled while the field is empty
  cmdCancel,    // the cancel button (Esc): the run ends before anything is sent
};

inline constexpr const char* kPasswordDialogCaption = "FTP 비밀번호";

// The client area, in twips.
inline constexpr int kPasswordDialogWidthTwips = 5400;
inline constexpr int kPasswordDialogHeightTwips = 1935;

struct PasswordDialogItem {
  PasswordDialogControl id;
  const char* name;     // also the object name in Qt
  const char* caption;  // "" for none
  int left;             // twips within the client area
  int top;
  int width;
  int height;
};

// In the keyboard focus order: the field first, so typing starts at once.
inline constexpr std::array<PasswordDialogItem, 5> kPasswordDialogLayout{{
    {PasswordDialogControl::lblPrompt, "lblPrompt", "", 180, 150, 5040, 420},
    {PasswordDialogControl::txtPassword, "txtPassword", "", 180, 630, 5040, 300},
    {PasswordDialogControl::chkSave, "chkSave", "저장", 180, 1050, 2400, 270},
    {PasswordDialogControl::cmdOk, "cmdOk", "확인", 2880, 1380, 1125, 375},
    {PasswordDialogControl::cmdCancel, "cmdCancel", "취소", 4095, 1380, 1125, 375},
}};

constexpr const PasswordDialogItem& PasswordDialogItemOf(PasswordDialogControl id) {
  return kPasswordDialogLayout[static_cast<std::size_t>(id)];
}

// The table is indexed by the enumeration's values.
static_assert([] {
  for (std::size_t i = 0; i < kPasswordDialogLayout.size(); ++i) {
    if (static_cast<std::size_t>(kPasswordDialogLayout[i].id) != i) return false;
  }
  return true;
}());

// "HOST 서버에 USER 계정으로 로그인할 FTP 비밀번호를 입력하세요."
inline std::string PasswordPromptText(const std::string& host, const std::string& user) {
  return host + " 서버에 " + user + " 계정으로 로그인할 FTP 비밀번호를 입력하세요.";
}

}  // namespace parone
