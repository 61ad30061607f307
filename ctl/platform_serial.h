// The serial layer's platform part that quorvane-ctl builds on: the same
// CSerialLink and PortTable the panel uses on this system.
#pragma once

#include "serial/serial_link.h"
#ifdef _WIN32
#include "serial/win32/port_table.h"
#else
#include "serial/posix/port_table.h"
#endif
