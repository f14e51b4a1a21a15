// Program entry of the Linux server: sets the window and the server up in the same order as
// the Windows program, then runs the same main loop over GTK's event queue.
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/gtk/desktop_notification_area.h"
#include "app/gtk/file_settings.h"
#include "app/gtk/gtk_window.h"
#include "app/gtk/picture_directory.h"
#include "app/shell.h"
#include "app/tray_icon.h"
#include "imaging/x11/x11_capture.h"
#include "input/x11/x11_input_sink.h"
#include "wire/posix/bsd_socket_layer.h"

namespace {

// An icon from the program's resources; a plain tile of the icons' colour should the image
// loader be missing.
GdkPixbuf* LoadIcon(const char* path, int size) {
  GdkPixbuf* icon = gdk_pixbuf_new_from_resource(path, nullptr);
  if (icon == nullptr) {
    icon = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, size, size);
    gdk_pixbuf_fill(icon, 0x2a7f8cff);
  }
  return icon;
}

gboolean RequestExit(gpointer window) {
  static_cast<ravelo::GtkServerWindow*>(window)->RequestExit();
  return G_SOURCE_CONTINUE;
}

// The log pane, and every line also on standard error with its time: a flood of refusals
// scrolls the pane, while a desktop session's journal keeps standard error.
class StampedPaneLog : public ravelo::PaneStatusLog {
 public:
  using PaneStatusLog::PaneStatusLog;

 protected:
  void AppendLine(const char* line) override {
    PaneStatusLog::AppendLine(line);
    GDateTime* now = g_date_time_new_now_local();
    gchar* stamp = g_date_time_format(now, "%F %T");
    const std::string text(line, std::strcspn(line, "\r\n"));
    std::fprintf(stderr, "%s.%03d %s\n", stamp, g_date_time_get_microsecond(now) / 1000, text.c_str());
    g_free(stamp);
    g_date_time_unref(now);
  }
};

bool IsWaylandSession() {
  const char* session = std::getenv("XDG_SESSION_TYPE");
  return (session != nullptr && std::strcmp(session, "wayland") == 0) || std::getenv("WAYLAND_DISPLAY") != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  const ravelo::ProgramOptions options =
      ravelo::ParseProgramArguments(std::vector<std::string>(argv + 1, argv + argc));
  switch (options.action) {
    case ravelo::ProgramOptions::Action::kHelp:
      std::fputs(ravelo::ProgramHelp("ravelo").c_str(), stdout);
      return 0;
    case ravelo::ProgramOptions::Action::kVersion:
      std::fputs(ravelo::ProgramVersion("ravelo").c_str(), stdout);
      return 0;
    case ravelo::ProgramOptions::Action::kUsageError:
      std::fprintf(stderr, "ravelo: %s\n%s", options.problem.c_str(), ravelo::ProgramUsageLine("ravelo").c_str());
      return ravelo::kExitUsage;
    case ravelo::ProgramOptions::Action::kRun:
      break;
  }
  // In a Wayland session the window is a Wayland client of its own; what serves pictures and
  // input is chosen apart from it.
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  gdk_set_allowed_backends(wayland != nullptr && wayland[0] ? "wayland,x11" : "x11");
  if (!gtk_init_check(&argc, &argv)) {
    const char* display = std::getenv("DISPLAY");
    if (wayland != nullptr && wayland[0]) std::fprintf(stderr, "ravelo: cannot open the Wayland display %s\n", wayland);
    std::fprintf(stderr, "ravelo: cannot open the X display %s\n", display != nullptr && display[0] ? display : "(DISPLAY is not set)");
    return 1;
  }
  if (IsWaylandSession()) {
    std::fprintf(stderr, "ravelo: this is a Wayland session; only X11 (XWayland) windows can be seen and driven\n");
  }

  GdkPixbuf* large = LoadIcon("/ravelo/ravelo32.ico", 32);
  GdkPixbuf* small = LoadIcon("/ravelo/ravelo16.ico", 16);
  ravelo::GtkServerWindow controls(large);
  GList* icons = g_list_append(g_list_append(nullptr, small), large);
  gtk_window_set_icon_list(controls.Window(), icons);
  g_list_free(icons);
  gtk_widget_show_all(GTK_WIDGET(controls.Window()));

  gtk_entry_set_max_length(controls.PasswordBox(), ravelo::wire::kMaxPassword);
  gtk_widget_grab_focus(GTK_WIDGET(controls.PasswordBox()));

  ravelo::FileSettings settings(ravelo::DefaultSettingsFilePath());
  const ravelo::StoredPassword stored = settings.LoadSettings(controls);
  if (options.fastAnswers) controls.SetFastAnswers(true);

  // The pictures go where only this user can reach them (the files keep their names).
  const std::string pictures = ravelo::PrivatePictureDirectory(std::getenv("XDG_RUNTIME_DIR"), std::getenv("TMPDIR"));
  if (!pictures.empty() && chdir(pictures.c_str()) == 0) {
    std::fprintf(stderr, "ravelo: pictures are written to %s\n", pictures.c_str());
  } else {
    std::fprintf(stderr, "ravelo: no private directory for the pictures; they are written to the current one\n");
  }

  ravelo::ServerWindow* window = nullptr;
  ravelo::DesktopNotificationArea notificationArea(small, large, [&window](unsigned mouseMessage) {
    if (window != nullptr) window->OnTrayNotify(mouseMessage);
  });
  ravelo::NotificationTray tray(notificationArea, controls, controls.Pane());
  StampedPaneLog log(controls.Pane());
  ravelo::BsdSocketLayer socket;
  std::unique_ptr<ravelo::DesktopCapture> desktop = ravelo::MakeX11DesktopCapture();
  std::unique_ptr<ravelo::InputSink> inputSink = ravelo::MakeX11InputSink();
  if (!desktop) std::fprintf(stderr, "ravelo: the X display cannot be captured; picture requests go unanswered\n");
  if (!inputSink) std::fprintf(stderr, "ravelo: input cannot be injected into the X display; it is ignored\n");
  std::unique_ptr<ravelo::SinkInputInjector> input;
  if (desktop && inputSink) input = std::make_unique<ravelo::SinkInputInjector>(*inputSink, *desktop);
  std::unique_ptr<ravelo::SessionClock> clock = ravelo::MakeSteadyClock();
  ravelo::StreamServer server(ravelo::wire::kPort,
                              ravelo::ServerServices{socket, log, *clock, input.get(), desktop.get()});
  ravelo::ServerWindow serverWindow(server, controls, tray, settings, log);
  window = &serverWindow;
  controls.Attach(&serverWindow);
  // Ended by the system or from a terminal, it goes as File > Exit goes: held input let go,
  // the icon removed, the port freed, the settings left as they were.
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) g_unix_signal_add(signal, RequestExit, &controls);

  serverWindow.StartAtLaunch(stored);

  ravelo::GtkMessagePump pump(controls, [&socket] { return socket.Fd(); });
  int code = ravelo::RunMainLoop(server, controls, tray, pump);
  controls.Attach(nullptr);
  window = nullptr;
  g_object_unref(small);
  g_object_unref(large);
  return code;
}
