// Words for what libmosquitto reports, shared by the two halves of the
// MQTT client (its connection and its messages); internal to the bridge.
#pragma once

#include <mosquitto.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "serial/posix/error_text.h"

namespace quorvane::ctl::mqtt_text {

// Without the library's full stop: ours follow it.
inline std::string WithoutFullStop(std::string text) {
  while (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

// The library has no words for some of its codes ("Unknown error.").
inline std::string ErrorText(int rc) {
  switch (rc) {
    case MOSQ_ERR_ERRNO:
      return SystemErrorText(errno);
    case MOSQ_ERR_KEEPALIVE:
      return "no answer within the keep-alive time";
    case MOSQ_ERR_LOOKUP:
    case MOSQ_ERR_EAI:
      return "the host name was not found";
    case MOSQ_ERR_CONN_LOST:
      return "the connection was lost";
    default:
      return WithoutFullStop(mosquitto_strerror(rc));
  }
}

// MQTT 5 reason codes are 128 and up; below are the older protocol's.
inline std::string ConnackText(int connack) {
  return WithoutFullStop(connack >= 128 ? mosquitto_reason_string(connack)
                                        : mosquitto_connack_string(connack));
}

inline bool IsTlsError(int rc) { return rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_TLS_HANDSHAKE; }

inline void Say(const std::string& text) {
  const std::string line = "quorvane-ctl: " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace quorvane::ctl::mqtt_text
