// One desktop-portal session for the server's life: RemoteDesktop with the screen cast
// attached (or a plain ScreenCast where the portal has no RemoteDesktop), set up through
// the portal's request/response signals on the GLib main context, so that the program's
// loop never waits on the user's dialog. Made anew when the portal closes it.
#pragma once

#include <gio/gio.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "linux/portal/portal_protocol.h"
#include "linux/portal/remote_desktop_input.h"

namespace ravelo::portal {

struct SessionOptions {
  std::string restoreToken;                                   // from the last run; may be empty
  std::function<void(const std::string&)> saveRestoreToken;  // each new token, at once
  std::function<void(const std::string&)> log;               // one line each, no program name
};

// A stream the session got: the PipeWire remote (owned by the receiver) and its node.
using StreamReady = std::function<void(int fd, std::uint32_t node, bool cursorMetadata)>;
using StreamGone = std::function<void()>;

class PortalSession : public RemoteDesktopInput {
 public:
  PortalSession(GDBusConnection* bus, const PortalOffer& offer, SessionOptions options);
  ~PortalSession() override;
  PortalSession(const PortalSession&) = delete;
  PortalSession& operator=(const PortalSession&) = delete;

  void OnStream(StreamReady ready, StreamGone gone);
  // Asks for the session; answers come on the main context.
  void Begin();
  // The stream broke: this session is closed and another asked for, from the main context.
  void Renew(const char* why);
  // A picture was asked for while there is none: after a refused dialog, asks again
  // (at most every kAskAgainAfter).
  void Wake();
  // The size of the frames, for absolute moves where the portal did not tell the stream's.
  void NoteFrameSize(std::int32_t width, std::int32_t height);

  bool PointerStream(std::uint32_t& node, double& width, double& height) override;
  void PointerMotionAbsolute(std::uint32_t node, double x, double y) override;
  void PointerMotion(double dx, double dy) override;
  void PointerButton(std::int32_t evdevButton, bool pressed) override;
  void KeyboardKeysym(std::int32_t keysym, bool pressed) override;

  static constexpr std::chrono::seconds kAskAgainAfter{30};

 private:
  enum class Step : std::uint8_t { kCreate, kSelectDevices, kSelectSources, kStart };
  struct Call;
  struct Pending;

  void Request(Step step, const char* interface, const char* method, GVariant* arguments, const std::string& token);
  void Subscribe(Pending* pending);
  void Responded(Pending* pending, std::uint32_t response, GVariant* results);
  void Next(Step step, GVariant* results);
  void CallFailed(Step step, const GError* error);
  void OpenRemote();
  void RemoteOpened(GAsyncResult* result);
  void SessionClosed();
  void Fail(const std::string& why, bool askAgain);
  void Teardown(bool closeSession);
  void ScheduleBegin();
  std::string Token();
  bool InputAllowed(std::uint32_t wanted);
  void Input(const char* method, GVariant* arguments);
  void Log(const std::string& line);

  GDBusConnection* bus_;
  PortalOffer offer_;
  SessionPlan plan_;
  SessionOptions options_;
  StreamReady ready_;
  StreamGone gone_;
  std::shared_ptr<int> life_ = std::make_shared<int>(0);  // callbacks hold it weakly
  std::uint64_t attempt_ = 0;
  std::uint64_t tokens_ = 0;
  GCancellable* cancellable_ = nullptr;
  std::vector<std::unique_ptr<Pending>> pending_;
  std::string session_;
  guint closedSignal_ = 0;
  guint retry_ = 0;
  guint renew_ = 0;
  std::string renewWhy_;
  std::chrono::seconds retryDelay_{1};
  bool up_ = false;
  bool refused_ = false;
  bool inputWarned_ = false;
  std::chrono::steady_clock::time_point refusedAt_;
  std::chrono::steady_clock::time_point upAt_;
  StartResults started_;
  std::int32_t frameWidth_ = 0;
  std::int32_t frameHeight_ = 0;
};

}  // namespace ravelo::portal
