// The serial layer's platform part that quorvane-ctl builds on: the same
// CSerialLink and PortTable the panel uses on this system.
#pragma once

#ifdef _WIN32
#include "serial/win32/port_table.h"
#include "serial/win32/serial_link.h"
#else
#include "serial/posix/port_table.h"
#include "serial/posix/serial_link.h"
#endif
