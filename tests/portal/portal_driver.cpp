// The portal backend as the program uses it, driven line by line for the portal tests: the
// factory's capture and input sink under the server's own injector, on a GLib main loop.
//
// Prints "choice: ...", "input: yes|no", and "log: ..." for the backend's lines. Commands on
// stdin, each answered with one line: "size" (W H, or "none"), "full", "region X Y" (ok or
// fail; the file goes into the current directory), "move X Y", "rel X Y", "anchor X Y",
// "button left down|up", "key CODE down|up", "release", "quit".
#include <glib-unix.h>
#include <glib.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>

#include "app/gtk/file_settings.h"
#include "app/gtk/restore_token_file.h"
#include "input/inject.h"
#include "app/gtk/portal_desktop.h"

namespace {

struct Driver {
  GMainLoop* loop = nullptr;
  ravelo::PortalDesktop desktop;
  std::unique_ptr<ravelo::SinkInputInjector> injector;
  ravelo::PointerAnchor anchor;
  std::string pending;
};

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

std::string Run(Driver& d, const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  int a = 0, b = 0;
  if (command == "size") {
    std::uint16_t w = 0, h = 0;
    if (!d.desktop.capture || !d.desktop.capture->DesktopSize(w, h)) return "none";
    return std::to_string(w) + " " + std::to_string(h);
  }
  if (command == "full") return d.desktop.capture && d.desktop.capture->CaptureDesktop(true, 0, 0) ? "ok" : "fail";
  if (command == "region" && (in >> a >> b))
    return d.desktop.capture && d.desktop.capture->CaptureDesktop(false, static_cast<std::uint16_t>(a),
                                                                   static_cast<std::uint16_t>(b))
               ? "ok"
               : "fail";
  if (command == "quit") {
    g_main_loop_quit(d.loop);
    return "bye";
  }
  if (!d.injector) return "no input";
  auto u8 = [](int v) { return static_cast<std::uint8_t>(v); };
  if (command == "move" && (in >> a >> b)) d.injector->MovePointerAbsolute(u8(a), u8(b));
  else if (command == "rel" && (in >> a >> b)) d.injector->MovePointerRelative(d.anchor, u8(a), u8(b));
  else if (command == "anchor" && (in >> a >> b)) d.injector->SetPointerAnchor(d.anchor, u8(a), u8(b));
  else if (command == "button") {
    std::string which, state;
    in >> which >> state;
    if (which != "left") return "bad";
    state == "down" ? d.injector->LeftButtonDown() : d.injector->LeftButtonUp();
  } else if (command == "key" && (in >> a)) {
    std::string state;
    in >> state;
    d.injector->SendKey(static_cast<std::uint16_t>(a), state == "down");
  } else if (command == "release") {
    d.injector->ReleaseHeld();
  } else {
    return "bad";
  }
  return "ok";
}

gboolean OnStdin(gint fd, GIOCondition, gpointer data) {
  auto& d = *static_cast<Driver*>(data);
  char buffer[512];
  const ssize_t n = read(fd, buffer, sizeof buffer);
  if (n <= 0) {
    g_main_loop_quit(d.loop);
    return G_SOURCE_REMOVE;
  }
  d.pending.append(buffer, static_cast<std::size_t>(n));
  std::size_t end;
  while ((end = d.pending.find('\n')) != std::string::npos) {
    const std::string line = d.pending.substr(0, end);
    d.pending.erase(0, end + 1);
    Say(Run(d, line));
  }
  return G_SOURCE_CONTINUE;
}

}  // namespace

int main() {
  // Where the program keeps it: beside the settings file, under $XDG_CONFIG_HOME.
  const std::string tokenPath = ravelo::RestoreTokenFilePath(ravelo::DefaultSettingsFilePath());
  const ravelo::portal::PortalOffer offer = ravelo::ProbeDesktopPortal();
  Say("choice: " + ravelo::portal::DescribeChoice(offer));

  Driver d;
  d.loop = g_main_loop_new(nullptr, FALSE);
  ravelo::PortalOptions options;
  options.restoreToken = ravelo::LoadRestoreToken(tokenPath);
  options.saveRestoreToken = [tokenPath](const std::string& token) {
    if (!ravelo::SaveRestoreToken(tokenPath, token)) Say("log: the restore token could not be stored");
  };
  options.log = [](const std::string& line) { Say("log: " + line); };
  d.desktop = ravelo::MakePortalDesktop(offer, std::move(options));
  Say(std::string("input: ") + (d.desktop.input ? "yes" : "no"));
  if (d.desktop.capture && d.desktop.input)
    d.injector = std::make_unique<ravelo::SinkInputInjector>(*d.desktop.input, *d.desktop.capture);

  g_unix_fd_add(STDIN_FILENO, G_IO_IN, OnStdin, &d);
  g_main_loop_run(d.loop);
  d.injector.reset();
  d.desktop = ravelo::PortalDesktop{};
  g_main_loop_unref(d.loop);
  return 0;
}
