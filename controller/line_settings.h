// How every program of ours opens the board's port: 9600 8N1, receive events
// only, a 512-byte write buffer and 1000 for each time-out argument.
#pragma once

#include <cstdint>

#include "serial/serial_link_interface.h"

namespace quorvane {

inline bool OpenBoardLink(SerialLinkInterface& link, SerialOwner* owner, unsigned portNumber) {
  constexpr unsigned kBaudRate = 9600;
  constexpr char kParity = 'N';
  constexpr unsigned kDataBits = 8;
  constexpr unsigned kOneStopBit = 0;
  constexpr unsigned kWriteBufferSize = 512;
  constexpr std::uint32_t kTimeout = 1000;
  return link.Open(owner, portNumber, kBaudRate, kParity, kDataBits, kOneStopBit, EV_RXCHAR,
                   kWriteBufferSize, kTimeout, kTimeout, kTimeout, kTimeout, kTimeout);
}

}  // namespace quorvane
