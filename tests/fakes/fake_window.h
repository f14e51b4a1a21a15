// Recording stand-ins for the server window's controls, tray, settings, pump and log pane.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/shell.h"

namespace ravelo {

class FakeWindowControls : public WindowControls {
 public:
  std::vector<std::string> calls;
  std::string password;
  bool read_only = false;
  std::string button = kStartText;
  bool run_on_startup = false;
  bool fast_answers = false;
  bool minimized = false;
  bool visible = true;
  std::function<void()> on_destroy;  // the platform delivers WM_DESTROY from inside DestroyWindow

  std::string PasswordText() override { return password.substr(0, 15); }
  void SetPasswordText(const std::string& text) override { password = text; }
  void SetPasswordReadOnly(bool r) override {
    read_only = r;
    calls.push_back(r ? "readonly" : "writable");
  }
  void SetButtonText(const char* text) override {
    button = text;
    calls.push_back(std::string("button ") + text);
  }
  bool RunOnStartupChecked() override { return run_on_startup; }
  void SetRunOnStartup(bool c) override { run_on_startup = c; }
  bool FastAnswersChecked() override { return fast_answers; }
  void SetFastAnswers(bool c) override { fast_answers = c; }
  void Wait(int ms) override { calls.push_back("wait " + std::to_string(ms)); }
  void Minimize() override {
    minimized = true;
    calls.push_back("minimize");
  }
  bool IsMinimized() override { return minimized; }
  void Hide() override { visible = false; }
  void ShowDefault() override {  // the program was started in the normal show state
    visible = true;
    minimized = false;
  }
  void BringToTop() override { calls.push_back("bring to top"); }
  void ShowAbout() override { calls.push_back("about"); }
  void DestroyWindow() override {
    calls.push_back("destroy");
    if (destroyed_) return;
    destroyed_ = true;
    if (on_destroy) on_destroy();
  }
  void PostQuit(int code) override { calls.push_back("quit " + std::to_string(code)); }

 private:
  bool destroyed_ = false;
};

class FakeTray : public TrayIcon {
 public:
  std::vector<std::string>* calls = nullptr;  // shared with the controls to see the order
  bool in_tray = false;
  bool InTray() const override { return in_tray; }
  void HideToTray() override {
    in_tray = true;
    if (calls) calls->push_back("hide to tray");
  }
  void RestoreFromTray() override {
    in_tray = false;
    if (calls) calls->push_back("restore from tray");
  }
};

class FakeSettings : public SettingsStore {
 public:
  std::vector<std::string>* calls = nullptr;
  StoredPassword stored = StoredPassword::kNone;
  StoredPassword LoadSettings(WindowControls&) override {
    if (calls) calls->push_back("load settings");
    return stored;
  }
  void SaveSettings(WindowControls&) override {
    if (calls) calls->push_back("save settings");
  }
};

// An edit control's text, with its line count as the control reports it.
class FakeLogPane : public LogPane {
 public:
  std::string text;
  int LineCount() override {
    int lines = 1;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) lines += text[i] == '\r' && text[i + 1] == '\n';
    return lines;
  }
  void SetSelection(int start, int end) override {
    int size = static_cast<int>(text.size());
    start_ = start < size ? start : size;
    end_ = end < size ? end : size;
  }
  int SelectionStart() const { return start_; }
  void ReplaceSelection(const char* t) override {
    text.replace(static_cast<std::size_t>(start_), static_cast<std::size_t>(end_ - start_), t);
    start_ = end_ = start_ + static_cast<int>(std::string(t).size());
  }

 private:
  int start_ = 0;
  int end_ = 0;
};

// Hands out scripted window messages, one per wait, each a function run as its dispatch, and
// records what it was asked to wait for.
class FakePump : public MessagePump {
 public:
  struct Message {
    std::function<void()> dispatch;
    bool quit = false;
    int code = 0;
    bool readable = false;  // the socket had a datagram at this wake-up
  };
  std::deque<Message> queue;
  std::vector<std::string>* calls = nullptr;

  bool WaitForWork(const StreamServer::Wait& wait, bool* readable, int* exitCode) override {
    if (calls) {
      calls->push_back(std::string("wait") + (wait.socket ? " socket" : "") +
                       (wait.timeoutMicros >= 0 ? " " + std::to_string(wait.timeoutMicros) : ""));
    }
    if (queue.empty()) return false;
    Message m = queue.front();
    queue.pop_front();
    *readable = m.readable;
    if (m.quit) {
      *exitCode = m.code;
      return true;
    }
    if (m.dispatch) m.dispatch();
    return false;
  }
};

}  // namespace ravelo
