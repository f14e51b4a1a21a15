#include "client/tool.h"

#include <cstdio>
#include <fstream>
#include <optional>
#include <string>

#include "client/address.h"
#include "wire/latin1.h"
#include "ravelo_version.h"

namespace ravelo {
namespace {

constexpr int kMaxSeconds = 24 * 60 * 60;
constexpr int kInputPacingMs = 5;

std::optional<long> ParseNumber(const std::string& text, long low, long high) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < low || value > high) return std::nullopt;
  return value;
}

// Whole or decimal seconds, to milliseconds.
std::optional<int> ParseSeconds(const std::string& text) {
  std::size_t dot = text.find('.');
  std::string whole = text.substr(0, dot);
  std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
  if (dot != std::string::npos && fraction.empty()) return std::nullopt;
  if (whole.empty() && fraction.empty()) return std::nullopt;
  std::optional<long> s = whole.empty() ? 0L : ParseNumber(whole, 0, kMaxSeconds);
  if (!s || fraction.size() > 3) return std::nullopt;
  std::optional<long> f = fraction.empty() ? 0L : ParseNumber(fraction, 0, 999);
  if (!f) return std::nullopt;
  for (std::size_t i = fraction.size(); i < 3; ++i) *f *= 10;
  return static_cast<int>(*s * 1000 + *f);
}

std::string Elapsed(std::int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(ms / 1000),
                static_cast<long long>(ms % 1000));
  return text;
}

std::string Decimal(const RaveloClient::Bytes& bytes) {
  std::string text;
  for (std::uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += std::to_string(b);
  }
  return text;
}

// Why an announced picture was not taken, after "picture incomplete: ".
std::string Flaw(const Picture& p) {
  switch (p.flaw) {
    case Picture::kNoChunks:
      return "the server announced 0 chunks";
    case Picture::kChunkSize:
      return "chunk " + std::to_string(p.bad_chunk) + " of " + std::to_string(p.chunks) +
             " has " + std::to_string(p.bad_size) + " bytes, not " +
             std::to_string(wire::kChunkSize);
    case Picture::kNotJpeg:
      return "the " + std::to_string(p.chunks) + " chunks are not a whole JPEG file";
    case Picture::kChunksMissing:
    case Picture::kNoFlaw:
      break;
  }
  return std::to_string(p.missing) + " of " + std::to_string(p.chunks) + " chunks missing";
}

int RunView(const ToolOptions& o, RaveloClient& client, std::ostream& out, std::ostream& err) {
  Picture picture = FetchPicture(client, o.picture);
  if (picture.status == Picture::kNotAnnounced) {
    out << "no picture from " << FormatEndpoint(o.server) << std::endl;
    return kExitNoAnswer;
  }
  if (picture.status == Picture::kIncomplete) {
    out << "picture incomplete: " << Flaw(picture) << std::endl;
    return kExitIncomplete;
  }
  std::ofstream file(o.file, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(picture.bytes.data()),
             static_cast<std::streamsize>(picture.bytes.size()));
  file.close();
  if (!file) {
    std::remove(o.file.c_str());  // no part of a picture passes for the whole
    err << "cannot write " << o.file << std::endl;
    return kExitFile;
  }
  out << o.file << ": " << picture.bytes.size() << " bytes in " << picture.chunks << " chunks"
      << std::endl;
  return kExitOk;
}

// Key names for the special key codes of the wire format.
constexpr struct {
  const char* name;
  std::uint8_t code;
} kKeyNames[] = {
    {"backspace", 128}, {"f1", 129},     {"f2", 130},       {"f3", 131},     {"f4", 132},
    {"f5", 133},        {"f6", 134},     {"f7", 135},       {"f8", 136},     {"f9", 137},
    {"f10", 138},       {"f11", 139},    {"f12", 140},      {"home", 142},   {"pageup", 143},
    {"pagedown", 144},  {"end", 145},    {"tab", 146},      {"escape", 147}, {"esc", 147},
    {"up", 155},        {"down", 156},   {"left", 157},     {"right", 158},  {"insert", 159},
    {"delete", 160},    {"enter", 161},  {"return", 161},
};

constexpr std::uint8_t kEnterCode = 161;

std::optional<std::uint8_t> ParseKeyCode(const std::string& text) {
  if (std::optional<long> n = ParseNumber(text, 0, 255)) return static_cast<std::uint8_t>(*n);
  std::string lower;
  for (char c : text) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  for (const auto& k : kKeyNames) {
    if (lower == k.name) return k.code;
  }
  return std::nullopt;
}

// The text as the 8-bit character set the wire carries: UTF-8 decoded to Latin-1, other
// bytes taken as they are. Returns "" or what cannot be typed.
std::string TextToCodes(const std::string& text, std::vector<std::uint8_t>* codes) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<std::uint8_t>(text[i]);
    std::uint32_t c = b;
    // Two-byte UTF-8 is all Latin-1 needs; longer sequences lie beyond it.
    if (b >= 0xC2 && b <= 0xDF && i + 1 < text.size() && (text[i + 1] & 0xC0) == 0x80) {
      c = (b & 0x1Fu) << 6 | (static_cast<std::uint8_t>(text[++i]) & 0x3Fu);
    } else if (b >= 0xE0 && b <= 0xF4 && i + 2 < text.size() && (text[i + 1] & 0xC0) == 0x80) {
      return "cannot type a character beyond Latin-1: the wire carries 8-bit characters";
    }
    if (c > 0xFF) return "cannot type a character beyond Latin-1";
    // These codes name special keys on the wire (151 alone is still a character).
    if (c >= 128 && c <= kEnterCode && c != 151) {
      return "cannot type character " + std::to_string(c) + ": codes 128..161 are special keys";
    }
    // A line break is the Enter key, as on a keyboard: one press for "\n", "\r\n" or "\r".
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    codes->push_back(c == '\n' || c == '\r' ? kEnterCode : static_cast<std::uint8_t>(c));
  }
  return "";
}

// left, right, middle: the type of the button's down message (its up message follows it).
std::optional<std::uint8_t> ParseButton(const std::string& name) {
  if (name == "left") return wire::kLeftDown;
  if (name == "right") return wire::kRightDown;
  if (name == "middle") return wire::kMiddleDown;
  return std::nullopt;
}

int RunBench(const ToolOptions& o, RaveloClient& client, ClientClock& clock, std::ostream& out) {
  bool any = false;
  for (bool full : {true, false}) {
    if (!(full ? o.bench_full : o.bench_region)) continue;
    PictureRequest request = o.picture;
    request.full = full;
    std::vector<BenchSample> samples;
    for (int i = 0; i < o.count; ++i) samples.push_back(FetchTimed(client, clock, request));
    BenchSummary summary = SummarizeBench(samples);
    PrintBench(out, full ? "full view" : "region view", summary);
    any = any || summary.failed < summary.pictures;
  }
  return any ? kExitOk : kExitNoAnswer;
}

int RunInput(const ToolOptions& o, RaveloClient& client, std::ostream& out) {
  for (std::size_t i = 0; i < o.input.size(); ++i) {
    // The server takes one datagram per 5 ms pass; a long text sent at once could overflow
    // its receive buffer.
    if (i > 0) client.Hold(kInputPacingMs);
    client.SendRaw(o.input[i]);
  }
  out << "sent " << o.input.size() << (o.input.size() == 1 ? " message" : " messages")
      << std::endl;
  return kExitOk;
}

}  // namespace

std::string ParseInputCommand(const std::string& command, const std::vector<std::string>& args,
                              std::vector<std::vector<std::uint8_t>>* messages, bool* recognised) {
  using Bytes = std::vector<std::uint8_t>;
  *recognised = true;
  std::vector<std::uint8_t> bytes;
  auto parse_bytes = [&](std::size_t count) {
    if (args.size() != count) return false;
    for (const std::string& a : args) {
      std::optional<long> b = ParseNumber(a, 0, 255);
      if (!b) return false;
      bytes.push_back(static_cast<std::uint8_t>(*b));
    }
    return true;
  };
  auto point = [&](std::uint8_t type, const char* usage) -> std::string {
    if (!parse_bytes(2)) return std::string(usage);
    messages->push_back({type, bytes[0], bytes[1]});
    return "";
  };
  if (command == "move") return point(wire::kPointerAbsolute, "move takes X Y of 0..255");
  if (command == "move-rel") return point(wire::kPointerRelative, "move-rel takes X Y of 0..255");
  if (command == "anchor") return point(wire::kPointerAnchor, "anchor takes X Y of 0..255");
  if (command == "move-region") {
    if (!parse_bytes(4)) return "move-region takes OX OY DX DY of 0..255";
    messages->push_back({wire::kPointerInRegion, bytes[0], bytes[1], bytes[2], bytes[3]});
    return "";
  }
  if (command == "click" || command == "button") {
    const bool click = command == "click";
    std::optional<std::uint8_t> down = args.empty() ? std::nullopt : ParseButton(args[0]);
    const bool ok = click ? args.size() == 1 : args.size() == 2 && (args[1] == "down" || args[1] == "up");
    if (!down || !ok) {
      return click ? "click takes left, right or middle"
                   : "button takes left, right or middle, then down or up";
    }
    if (click || args[1] == "down") messages->push_back(Bytes{*down});
    if (click || args[1] == "up") messages->push_back(Bytes{static_cast<std::uint8_t>(*down + 1)});
    return "";
  }
  if (command == "key") {
    std::optional<std::uint8_t> code = args.empty() ? std::nullopt : ParseKeyCode(args[0]);
    if (!code || args.size() > 2 || (args.size() == 2 && args[1] != "down" && args[1] != "up")) {
      return "key takes CODE (0..255 or a key name such as enter, f1, left) [down|up]";
    }
    std::uint8_t type = wire::kKeyPress;
    if (args.size() == 2) type = args[1] == "down" ? wire::kKeyDown : wire::kKeyUp;
    messages->push_back({type, *code});
    return "";
  }
  if (command == "type") {
    if (args.size() != 1) return "type takes one TEXT (quote it when it has spaces)";
    std::vector<std::uint8_t> codes;
    std::string problem = TextToCodes(args[0], &codes);
    if (!problem.empty()) return problem;
    if (codes.empty()) return "type takes a TEXT that is not empty";
    for (std::uint8_t c : codes) messages->push_back({wire::kKeyPress, c});
    return "";
  }
  *recognised = false;
  return "";
}

const char* ToolUsage() {
  return "usage: ravelo-client [options] COMMAND [ARGS...]\n"
         "commands:\n"
         "  connect PASSWORD          connect; prints \"accepted\" or \"refused\", then says\n"
         "                            goodbye unless --stay\n"
         "  session PASSWORD SECONDS  connect and keep the session for SECONDS, printing each\n"
         "                            keep-alive from the server as \"ELAPSED keep-alive\"\n"
         "  goodbye                   end the session of --local-port\n"
         "  send TYPE [BYTE...]       send one datagram of decimal bytes\n"
         "  view full FILE            fetch the full view into FILE (a JPEG)\n"
         "  view region X Y FILE      fetch the region picked at X Y on the full view\n"
         "                            view waits up to 5 s for the picture to be announced and\n"
         "                            2.5 s for its chunks, asks once more when they do not\n"
         "                            make a whole JPEG, and writes FILE only when they do\n"
         "  bench full|region [X Y]|both [X Y]\n"
         "                            time --count pictures of each view, fetched one chunk\n"
         "                            at a time: request to ready message and to last chunk\n"
         "input commands (each with --password PW, or in the session of --local-port):\n"
         "  move X Y                  pointer to X Y of the 256x192 full view\n"
         "  move-rel X Y              pointer by the distance from the last move-rel/anchor point\n"
         "  anchor X Y                set the point the next move-rel is measured from\n"
         "  move-region OX OY DX DY   pointer to DX DY inside the region picked at OX OY\n"
         "  click left|right|middle   press and release a button\n"
         "  button left|right|middle down|up\n"
         "  key CODE [down|up]        press (or only press, or only release) a key: a code\n"
         "                            0..255 or a name: enter, backspace, tab, escape, f1..f12,\n"
         "                            home, end, pageup, pagedown, up, down, left, right,\n"
         "                            insert, delete\n"
         "  type TEXT                 type TEXT, one key press per character (Latin-1; a line\n"
         "                            break is Enter)\n"
         "options:\n"
         "  --server ADDR      server IPv4 address (default 127.0.0.1)\n"
         "  --port N           server port (default 8888)\n"
         "  --local-port N     send from this port (default: any free one); the server heeds\n"
         "                     only the port that connected, so goodbye, send, and view\n"
         "                     or input without --password need it\n"
         "  --timeout SECONDS  wait this long for the connect answer (default 3)\n"
         "  --stay             connect: leave the session open\n"
         "  --count N          bench: pictures of each view (default 20)\n"
         "  --wait SECONDS     send: print what the server sends back for this long\n"
         "  --password PW      view, bench and input: connect with PW first and say goodbye after\n"
         "                     (which lets go of held buttons and keys); without it they\n"
         "                     use the session of --local-port\n"
         "  --help, --version  show this text, or the version, and exit\n"
         "exit status: 0 done, 1 refused, 2 bad arguments, 3 no answer or no picture,\n"
         "             4 local socket failed, 5 picture incomplete, 6 file not written\n";
}

std::string ParseToolArguments(const std::vector<std::string>& args, ToolOptions* options) {
  ToolOptions o;
  std::string server_text = "127.0.0.1";
  long port = wire::kPort;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string* v) {
      if (i + 1 >= args.size()) return false;
      *v = args[++i];
      return true;
    };
    std::string v;
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else if (a == "--stay") {
      o.stay = true;
    } else if (a == "--server") {
      if (!value(&server_text)) return "--server needs an address";
    } else if (a == "--port") {
      std::optional<long> n;
      if (!value(&v) || !(n = ParseNumber(v, 1, 65535))) return "--port needs a number 1..65535";
      port = *n;
    } else if (a == "--local-port") {
      std::optional<long> n;
      if (!value(&v) || !(n = ParseNumber(v, 0, 65535))) {
        return "--local-port needs a number 0..65535";
      }
      o.local_port = static_cast<std::uint16_t>(*n);
    } else if (a == "--password") {
      if (!value(&o.password)) return "--password needs a password";
      o.has_password = true;
    } else if (a == "--count") {
      std::optional<long> n;
      if (!value(&v) || !(n = ParseNumber(v, 1, 10000))) return "--count needs a number 1..10000";
      o.count = static_cast<int>(*n);
    } else if (a == "--timeout" || a == "--wait") {
      std::optional<int> ms;
      if (!value(&v) || !(ms = ParseSeconds(v))) return a + " needs a number of seconds";
      (a == "--timeout" ? o.timeout_ms : o.wait_ms) = *ms;
    } else if (a.size() > 1 && a[0] == '-') {
      return "unknown option " + a;
    } else {
      positional.push_back(a);
    }
  }
  std::optional<Ipv4Endpoint> server = ParseIpv4(server_text, static_cast<std::uint16_t>(port));
  if (!server) return "not an IPv4 address: " + server_text;
  o.server = *server;
  if (o.help || o.version) {
    *options = o;
    return "";
  }
  if (positional.empty()) return "no command given";

  o.command = positional[0];
  const std::size_t extra = positional.size() - 1;
  if (o.command == "connect" || o.command == "session") {
    const std::size_t wanted = o.command == "connect" ? 1 : 2;
    if (extra != wanted) {
      return o.command == "connect" ? "connect takes PASSWORD"
                                    : "session takes PASSWORD SECONDS";
    }
    o.password = positional[1];
    if (o.command == "session") {
      std::optional<int> ms = ParseSeconds(positional[2]);
      if (!ms) return "not a number of seconds: " + positional[2];
      o.hold_ms = *ms;
    }
  } else if (o.command == "goodbye") {
    if (extra != 0) return "goodbye takes no arguments";
  } else if (o.command == "send") {
    if (extra == 0) return "send takes TYPE [BYTE...]";
    if (extra > static_cast<std::size_t>(wire::kMaxDatagram)) return "too many bytes";
    for (std::size_t i = 1; i < positional.size(); ++i) {
      std::optional<long> b = ParseNumber(positional[i], 0, 255);
      if (!b) return "not a byte 0..255: " + positional[i];
      o.datagram.push_back(static_cast<std::uint8_t>(*b));
    }
  } else if (o.command == "view") {
    if (extra == 2 && positional[1] == "full") {
      o.picture.full = true;
    } else if (extra == 4 && positional[1] == "region") {
      std::optional<long> x = ParseNumber(positional[2], 0, 255);
      std::optional<long> y = ParseNumber(positional[3], 0, 255);
      if (!x || !y) return "region takes X and Y of 0..255";
      o.picture = PictureRequest{false, static_cast<std::uint8_t>(*x),
                                 static_cast<std::uint8_t>(*y)};
    } else {
      return "view takes full FILE or region X Y FILE";
    }
    o.file = positional.back();
  } else if (o.command == "bench") {
    const std::string kind = extra >= 1 ? positional[1] : "";
    o.bench_full = kind == "full" || kind == "both";
    o.bench_region = kind == "region" || kind == "both";
    o.picture = PictureRequest{false, 128, 96};  // the middle of the full view
    if (extra == 3 && o.bench_region) {
      std::optional<long> x = ParseNumber(positional[2], 0, 255);
      std::optional<long> y = ParseNumber(positional[3], 0, 255);
      if (!x || !y) return "bench region takes X and Y of 0..255";
      o.picture = PictureRequest{false, static_cast<std::uint8_t>(*x), static_cast<std::uint8_t>(*y)};
    } else if (extra != 1 || (!o.bench_full && !o.bench_region)) {
      return "bench takes full, region [X Y] or both [X Y]";
    }
  } else {
    bool recognised = false;
    std::vector<std::string> rest(positional.begin() + 1, positional.end());
    std::string problem = ParseInputCommand(o.command, rest, &o.input, &recognised);
    if (!recognised) return "unknown command " + o.command;
    if (!problem.empty()) return problem;
  }
  // The server checks Latin-1 bytes, as a Windows client would send them: UTF-8 from the
  // command line is converted, other bytes go as they are.
  if (std::optional<std::string> latin1 = Utf8ToLatin1(o.password)) {
    o.password = *latin1;
  } else if (IsUtf8(o.password)) {
    return "the password must be Latin-1 text: the server checks one byte a character";
  }
  if (o.password.size() > static_cast<std::size_t>(wire::kMaxPassword)) {
    return "the password has at most " + std::to_string(wire::kMaxPassword) + " characters";
  }
  *options = o;
  return "";
}

int RunTool(const ToolOptions& o, ClientServices services, std::ostream& out,
            std::ostream& err) {
  if (o.help) {
    out << ToolUsage() << std::flush;
    return kExitOk;
  }
  if (o.version) {
    out << "ravelo-client " RAVELO_VERSION << std::endl;
    return kExitOk;
  }
  RaveloClient client(services, o.server);
  int error = client.Open(o.local_port);
  if (error != 0) {
    err << "cannot open a UDP socket on local port " << o.local_port << " (error " << error
        << ")" << std::endl;
    return kExitSocket;
  }

  if (o.command == "goodbye") {
    client.Goodbye();
    out << "goodbye" << std::endl;
    return kExitOk;
  }
  if (o.command == "send") {
    client.OnServerKeepAlive([&](std::int64_t) { out << int{wire::kKeepAlive} << std::endl; });
    client.SendRaw(o.datagram);
    const std::int64_t deadline = services.clock.NowMs() + o.wait_ms;
    for (;;) {
      const std::int64_t left = deadline - services.clock.NowMs();
      if (left <= 0) break;
      std::optional<RaveloClient::Bytes> reply = client.Receive(static_cast<int>(left));
      if (!reply) break;
      out << Decimal(*reply) << std::endl;
    }
    return kExitOk;
  }

  const bool input = !o.input.empty();
  if (o.command == "view" && !o.has_password) return RunView(o, client, out, err);
  if (o.command == "bench" && !o.has_password) return RunBench(o, client, services.clock, out);
  if (input && !o.has_password) return RunInput(o, client, out);

  switch (client.Connect(o.password, o.timeout_ms)) {
    case ConnectResult::kNoAnswer:
      out << "no answer from " << FormatEndpoint(o.server) << std::endl;
      return kExitNoAnswer;
    case ConnectResult::kRefused:
      out << "refused" << std::endl;
      return kExitRefused;
    case ConnectResult::kAccepted:
      out << "accepted" << std::endl;
      break;
  }
  if (o.command == "view" || o.command == "bench" || input) {
    int result = input                    ? RunInput(o, client, out)
                 : o.command == "bench" ? RunBench(o, client, services.clock, out)
                                        : RunView(o, client, out, err);
    client.Goodbye();
    return result;
  }
  if (o.command == "session") {
    const std::int64_t start = services.clock.NowMs();
    client.OnServerKeepAlive([&](std::int64_t now) {
      out << Elapsed(now - start) << " keep-alive" << std::endl;
    });
    client.Hold(o.hold_ms);
  } else if (o.stay) {
    return kExitOk;
  }
  client.Goodbye();
  if (o.command == "session") out << "goodbye" << std::endl;
  return kExitOk;
}

int ToolMain(const std::vector<std::string>& args, ClientServices services, std::ostream& out,
             std::ostream& err) {
  ToolOptions options;
  std::string problem = ParseToolArguments(args, &options);
  if (!problem.empty()) {
    err << "ravelo-client: " << problem << "\n" << ToolUsage() << std::flush;
    return kExitUsage;
  }
  return RunTool(options, services, out, err);
}

}  // namespace ravelo
