#include "app/command_line.h"

#include <cstring>

#include "ravelo_version.h"

namespace ravelo {

ProgramOptions ParseProgramArguments(const std::vector<std::string>& args) {
  ProgramOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      o.action = ProgramOptions::Action::kHelp;
      return o;  // asked for help: the rest need not make sense
    }
    if (a == "--version") {
      o.action = ProgramOptions::Action::kVersion;
    } else if (a == "--fast-answers") {
      o.fastAnswers = true;
    } else if (a == "--backend" || a.rfind("--backend=", 0) == 0) {
      if (a.size() > std::strlen("--backend")) {
        o.backend = a.substr(std::strlen("--backend="));
      } else if (i + 1 < args.size()) {
        o.backend = args[++i];
      }
      if (o.backend.empty()) {
        o.action = ProgramOptions::Action::kUsageError;
        o.problem = "--backend takes x11, wlroots or portal";
        return o;
      }
    } else if (a == "--autostart" || a.rfind("--autostart=", 0) == 0) {
      std::string value;
      if (a.size() > std::strlen("--autostart")) {
        value = a.substr(std::strlen("--autostart="));
      } else if (i + 1 < args.size()) {
        value = args[++i];
      }
      if (value != "on" && value != "off") {
        o.action = ProgramOptions::Action::kUsageError;
        o.problem = "--autostart takes on or off" + (value.empty() ? std::string() : ", not " + value);
        return o;
      }
      o.action = ProgramOptions::Action::kAutostart;
      o.autostart = value == "on";
    } else {
      o.action = ProgramOptions::Action::kUsageError;
      o.problem = (a.size() > 1 && a[0] == '-' ? "unknown option " : "unexpected argument ") + a;
      return o;
    }
  }
  return o;
}

std::string ProgramUsageLine(const char* name, bool backends) {
  return std::string("usage: ") + name + " [--fast-answers]" + (backends ? " [--backend x11|wlroots|portal]" : "") +
         " [--help] [--version] [--autostart on|off]\n";
}

std::string ProgramHelp(const char* name, bool backends) {
  return ProgramUsageLine(name, backends) +
         "Serves this desktop to one remote client on UDP port 8888, from a small window.\n"
         "  --fast-answers      answer each datagram as soon as it is read, rather than keep the\n"
         "                      5 ms rhythm older clients were built against (also in the File menu)\n"
         "  --help              show this text and exit\n"
         "  --version           show the version and exit\n"
         "  --autostart on|off  start with the user's session from now on, or no longer, and exit\n" +
         std::string(backends ? "  --backend NAME      take pictures and input from x11 (the X display), wlroots (a\n"
                                "                      Wayland compositor's own protocols) or portal (the desktop\n"
                                "                      portal) rather than what the session suggests\n"
                              : "");
}

std::string ProgramVersion(const char* name) { return std::string(name) + " " RAVELO_VERSION "\n"; }

}  // namespace ravelo
