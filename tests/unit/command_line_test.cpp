#include "app/command_line.h"

#include <gtest/gtest.h>

namespace ravelo {
namespace {

using Action = ProgramOptions::Action;

TEST(CommandLineTest, Arguments) {
  const struct {
    std::vector<std::string> args;
    Action action;
    const char* problem;
    bool flag = false;  // fast answers, or for kAutostart: on
  } cases[] = {
      {{}, Action::kRun, ""},
      {{"--fast-answers"}, Action::kRun, "", true},
      {{"--help"}, Action::kHelp, ""},
      {{"-h"}, Action::kHelp, ""},
      {{"--version", "--bogus", "--help"}, Action::kUsageError, "unknown option --bogus"},
      {{"--help", "--bogus"}, Action::kHelp, ""},
      {{"serve"}, Action::kUsageError, "unexpected argument serve"},
      {{"--autostart", "on"}, Action::kAutostart, "", true},
      {{"--autostart=off"}, Action::kAutostart, "", false},
      {{"--autostart"}, Action::kUsageError, "--autostart takes on or off"},
      {{"--autostart", "yes"}, Action::kUsageError, "--autostart takes on or off, not yes"},
      {{"--autostart", "on", "extra"}, Action::kUsageError, "unexpected argument extra"},
      {{"--backend"}, Action::kUsageError, "--backend takes x11, wlroots or portal"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const ProgramOptions o = ParseProgramArguments(c.args);
    EXPECT_EQ(o.action, c.action);
    EXPECT_EQ(o.problem, c.problem);
    if (o.action == Action::kAutostart) {
      EXPECT_EQ(o.autostart, c.flag);
    } else {
      EXPECT_EQ(o.fastAnswers, c.flag);
    }
  }
}

}  // namespace
}  // namespace ravelo
