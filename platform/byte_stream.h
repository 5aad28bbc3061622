// A connected byte stream, as the SMTP line channel uses it: a TCP connection
// in the product, a scripted double in tests, so that short reads, time-outs, failures and
// closes can be fed to the channel without sockets.
#pragma once

#include <cstddef>

namespace vantrel::platform {

enum class IoStatus {
  kOk,       // count bytes moved, at least one
  kTimeout,  // the wait limit passed first
  kClosed,   // the peer has closed the connection (receiving only)
  kError,    // the platform reported a failure
};

struct IoResult {
  IoStatus status = IoStatus::kOk;
  std::size_t count = 0;
};

class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // Waits at most wait_ms for bytes from the peer, then takes what has
  // arrived, up to size bytes.
  virtual IoResult Receive(char* buffer, std::size_t size, int wait_ms) = 0;
  // Waits at most wait_ms until the connection takes bytes, then sends as
  // many of them as the platform accepts at once.
  virtual IoResult Send(const char* data, std::size_t size, int wait_ms) = 0;
};

}  // namespace vantrel::platform
