#pragma once
// The named colour table: the resource "colorlist" compiled into the program. 280 lines
// separated by CR LF (none after the last), alternating a lower-case colour name and its value
// "#RRGGBB", 140 entries; a name inside a longer name stands after it.

#include <string_view>

// The exact bytes of the resource (2,783 bytes of ASCII text).
std::string_view ColorListResource();
