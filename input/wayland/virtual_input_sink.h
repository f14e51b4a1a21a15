// The input sink of a wlroots-style compositor: a virtual pointer mapped onto the captured output
// and a virtual keyboard with the user's layout, both made at once and kept, since the seat offers
// a pointer and a keyboard to its clients only while such a device exists.
#pragma once

#include <memory>
#include <string>

#include "input/inject.h"
#include "input/wayland/xkb_layout.h"

namespace ravelo::wayland {

class Connection;

// Null, with `*why` saying what is missing, when the compositor lacks a seat, the virtual
// pointer or the virtual keyboard, or the layout `names` cannot be built. Characters the layout
// cannot type send nothing, as on X11.
std::unique_ptr<InputSink> MakeVirtualInputSink(const std::shared_ptr<Connection>& connection,
                                                const LayoutNames& names, std::string* why);

}  // namespace ravelo::wayland
