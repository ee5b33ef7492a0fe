#pragma once

// xcb/xkb.h names two struct members "explicit", which C++ does not accept. Include it only
// through this header, after every other header.
#include <xcb/xcb.h>
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
