#pragma once
// The window's controls for tests of the shared window logic: state kept in
// plain members, every call that changes something logged in order. It
// never draws, never blocks and sorts no list (items stay in the order they
// were added, so the order a test sees is the order the logic chose). It
// starts as a freshly created window does: the captions of the layout table,
// every check box ticked, lblWaiting hidden, the window invisible. Setting
// Text1 raises its change event through `onText1Change`, as a real edit
// control does. WakeForRun, called on the run's thread, is counted and lets
// a test thread waiting in WaitForWake go on.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "main_window/form1_controls.hpp"

namespace parone {

class RecordingForm1Controls final : public Form1Controls {
 public:
  struct Item {
    std::string text;
    int data = 0;
  };

  explicit RecordingForm1Controls(double tpp = 15) : twipsPerPixel(tpp) {
    for (const ControlLayout& l : kForm1Layout) {
      texts[l.id] = l.caption;
      visible[l.id] = l.id != Form1Control::lblWaiting;
      bounds[l.id] = PixelsOf(l, tpp);
    }
    for (Form1Control box :
         {Form1Control::chkSuccUnload, Form1Control::ChkPassive, Form1Control::chkCodeSigning}) {
      ticks[box] = 1;
    }
  }

  std::string Caption() override { return caption; }
  void SetCaption(const std::string& text) override {
    caption = text;
    Log("SetCaption");
  }
  std::string Text(Form1Control control) override { return texts[control]; }
  void SetText(Form1Control control, const std::string& text) override {
    texts[control] = text;
    Log("SetText", control);
    if (control == Form1Control::Text1 && onText1Change) onText1Change();
  }
  void ClearList(Form1Control combo) override {
    lists[combo].clear();
    texts[combo].clear();
    selected[combo] = -1;
    Log("ClearList", combo);
  }
  int AddItem(Form1Control combo, const std::string& text, int itemData) override {
    lists[combo].push_back({text, itemData});
    return static_cast<int>(lists[combo].size()) - 1;
  }
  int ItemData(Form1Control combo, int index) override {
    const std::vector<Item>& list = lists[combo];
    return index >= 0 && index < static_cast<int>(list.size()) ? list[index].data : -1;
  }
  void SelectItem(Form1Control combo, int index) override {
    const std::vector<Item>& list = lists[combo];
    selected[combo] = index;
    if (index >= 0 && index < static_cast<int>(list.size())) texts[combo] = list[index].text;
    Log("SelectItem", combo);
  }
  int Tick(Form1Control box) override { return ticks[box]; }
  void SetTick(Form1Control box, int tick) override {
    ticks[box] = tick;
    Log("SetTick", box);
  }
  void SetVisible(Form1Control control, bool shown) override {
    visible[control] = shown;
    Log(shown ? "Show" : "Hide", control);
  }
  void SetEnabled(Form1Control control, bool enabled) override {
    disabled[control] = !enabled;
    Log(enabled ? "Enable" : "Disable", control);
  }
  void FocusOn(Form1Control control) override {
    focus = control;
    Log("FocusOn", control);
  }
  void SetProgressMax(int max) override { progressMax = max; }
  void SetProgressValue(int value) override { progressValues.push_back(value); }
  void SetTaskbarProgress(TaskbarProgress state, int value, int max) override {
    taskbar.push_back({state, value, max});
  }
  PixelRect Bounds(Form1Control control) override { return bounds[control]; }
  double TwipsPerPixelX() override { return twipsPerPixel; }
  double TwipsPerPixelY() override { return twipsPerPixel; }
  void ApplyComboSize(Form1Control combo, const ComboPixels& pixels) override {
    comboSizes[combo] = pixels;
    Log("ApplyComboSize", combo);
  }
  void ShowForm() override {
    formVisible = true;
    Log("ShowForm");
  }
  void CloseForm() override {
    formVisible = false;
    ++closes;
    Log("CloseForm");
  }
  bool IsFormVisible() override { return formVisible; }
  std::optional<std::string> OpenFileDialog(const OpenFileRequest& request) override {
    dialogs.push_back(request);
    if (dialogAnswers.empty()) return std::nullopt;  // cancelled
    std::optional<std::string> answer = dialogAnswers.front();
    dialogAnswers.pop_front();
    return answer;
  }
  std::optional<EnteredPassword> AskPassword(const std::string& prompt) override {
    passwordPrompts.push_back(prompt);
    Log("AskPassword");
    if (passwordAnswers.empty()) return std::nullopt;  // cancelled
    std::optional<EnteredPassword> answer = passwordAnswers.front();
    passwordAnswers.pop_front();
    return answer;
  }
  void WakeForRun() override {
    const std::lock_guard lock(wakes_->mutex);
    ++wakes_->count;
    wakes_->woken.notify_all();
  }
  // Waits until a wake has come since the last call (at most `limit`);
  // false when none came.
  bool WaitForWake(std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    Wakes& w = *wakes_;
    std::unique_lock lock(w.mutex);
    const bool woken = w.woken.wait_for(lock, limit, [&] { return w.count > w.seen; });
    w.seen = w.count;
    return woken;
  }
  std::intptr_t WindowHandle() override { return 0x5150; }

  std::vector<std::string> Texts(Form1Control combo) {
    std::vector<std::string> out;
    for (const Item& item : lists[combo]) out.push_back(item.text);
    return out;
  }

  double twipsPerPixel;
  std::string caption = kForm1Caption;
  std::map<Form1Control, std::string> texts;
  std::map<Form1Control, std::vector<Item>> lists;
  std::map<Form1Control, int> selected;
  std::map<Form1Control, int> ticks;
  std::map<Form1Control, bool> visible;
  std::map<Form1Control, bool> disabled;
  std::map<Form1Control, PixelRect> bounds;
  std::map<Form1Control, ComboPixels> comboSizes;
  std::optional<Form1Control> focus;
  int progressMax = 100;
  std::vector<int> progressValues;
  struct TaskbarCall {
    TaskbarProgress state;
    int value;
    int max;
    bool operator==(const TaskbarCall&) const = default;
  };
  std::vector<TaskbarCall> taskbar;
  bool formVisible = false;
  int closes = 0;
  std::deque<std::optional<std::string>> dialogAnswers;  // none left: cancelled
  std::vector<OpenFileRequest> dialogs;
  std::deque<std::optional<EnteredPassword>> passwordAnswers;  // none left: cancelled
  std::vector<std::string> passwordPrompts;
  std::function<void()> onText1Change;
  // "SetText Text1", "ShowForm", ...
  std::vector<std::string> calls;

 private:
  // Apart, so that the controls can be assigned afresh in a test.
  struct Wakes {
    std::mutex mutex;
    std::condition_variable woken;
    int count = 0;
    int seen = 0;
  };
  std::shared_ptr<Wakes> wakes_ = std::make_shared<Wakes>();

  void Log(const char* what) { calls.emplace_back(what); }
  void Log(const char* what, Form1Control control) {
    calls.push_back(std::string(what) + " " + std::string(NameOf(control)));
  }
};

}  // namespace parone
