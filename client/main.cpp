#include <iostream>
#include <string>
#include <vector>

#include "client/platform.h"
#include "client/tool.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::unique_ptr<ravelo::SocketLayer> socket = ravelo::MakeSocketLayer();
  std::unique_ptr<ravelo::ClientClock> clock = ravelo::MakeSystemClock();
  return ravelo::ToolMain(args, ravelo::ClientServices{*socket, *clock}, std::cout, std::cerr);
}
