#define NOMINMAX
#include <windows.h>

#include "input/win32/win32_input_sink.h"

namespace ravelo {
namespace {

static_assert(mouse::kMove == MOUSEEVENTF_MOVE && mouse::kAbsolute == MOUSEEVENTF_ABSOLUTE &&
                  mouse::kLeftDown == MOUSEEVENTF_LEFTDOWN && mouse::kLeftUp == MOUSEEVENTF_LEFTUP &&
                  mouse::kRightDown == MOUSEEVENTF_RIGHTDOWN &&
                  mouse::kRightUp == MOUSEEVENTF_RIGHTUP &&
                  mouse::kMiddleDown == MOUSEEVENTF_MIDDLEDOWN &&
                  mouse::kMiddleUp == MOUSEEVENTF_MIDDLEUP,
              "the portable mouse flags are the platform's");
static_assert(vk::kShift == VK_SHIFT && vk::kControl == VK_CONTROL && vk::kAlt == VK_MENU,
              "the portable modifier keys are the platform's");

INPUT MouseEvent(LONG dx, LONG dy, DWORD flags) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = dx;
  input.mi.dy = dy;
  input.mi.dwFlags = flags;
  return input;
}

}  // namespace

void Win32InputSink::SendPointerMove(std::int32_t dx, std::int32_t dy, bool relative) {
  INPUT input = MouseEvent(dx, dy, relative ? mouse::kMove : mouse::kMove | mouse::kAbsolute);
  SendInput(1, &input, sizeof input);
}

void Win32InputSink::SendPointerButton(std::uint32_t flags) {
  INPUT input = MouseEvent(0, 0, flags);
  SendInput(1, &input, sizeof input);
}

void Win32InputSink::SendKeyEvent(std::uint16_t key, bool down) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  SendInput(1, &input, sizeof input);
}

std::optional<LayoutKey> Win32InputSink::ScanCharacter(std::uint8_t character) {
  return SplitKeyScan(static_cast<std::uint16_t>(VkKeyScanA(static_cast<CHAR>(character))));
}

}  // namespace ravelo
