// The TCP line channel: texts go out as they stand, lines come back one at a
// time with their terminator removed. Framing and waiting only; what the
// lines mean is the SMTP dialogue's business. One channel serves one thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/byte_stream.h"
#include "platform/network.h"
#include "probe/tcp_stream.h"

namespace vantrel {

enum class ChannelError {
  kNone,
  kTimeout,        // the wait limit passed
  kSendFailed,
  kReceiveFailed,
  kNotOpen,        // used after Close
  kAbandoned,      // the caller's give-up test said so between two waits
};

using Deadline = std::chrono::steady_clock::time_point;

class LineChannel {
 public:
  static constexpr std::size_t kBufferSize = 65536;
  // A line longer than this many bytes of input comes back in pieces.
  static constexpr std::size_t kMaxLineInput = 65536;
  // With a give-up test, no single wait for the stream is longer than this,
  // so the test is asked at least this often.
  static constexpr std::chrono::milliseconds kWaitSlice{250};

  // wait_ms bounds each single wait of SendText, and a whole line of ReadLine
  // without a deadline.
  LineChannel(std::unique_ptr<platform::ByteStream> stream, int wait_ms);
  LineChannel(const LineChannel&) = delete;
  LineChannel& operator=(const LineChannel&) = delete;

  // Every byte of text, nothing added: the caller ends its lines itself.
  ChannelError SendText(std::string_view text);

  // The next line up to a LF, with every CR dropped and without the LF; bytes
  // after the LF wait for the next call. The line must be whole by deadline,
  // however its bytes trickle in. Short of a LF it gives what came before the
  // deadline passed (kTimeout), the peer closed, or give_up returned true
  // (kAbandoned; asked between waits of at most kWaitSlice), possibly
  // nothing; and the empty text when receiving failed.
  std::string ReadLine(Deadline deadline, ChannelError* error, const std::function<bool()>& give_up = nullptr);
  // The same, with the deadline at the wait limit from now.
  std::string ReadLine(ChannelError* error = nullptr);

  // Ends the connection; later calls do nothing. Also done on destruction.
  void Close();

 private:
  std::unique_ptr<platform::ByteStream> stream_;
  int wait_ms_;
  std::vector<char> buffer_;
  std::size_t next_ = 0;  // first byte not yet returned
  std::size_t end_ = 0;   // one past the last received byte
  bool peer_closed_ = false;
};

// Opens a line channel over TCP to host and the named service ("smtp"); null
// when the open failed or give_up ended it, with the cause in error.
std::unique_ptr<LineChannel> OpenChannel(platform::Network& network, const std::string& host,
                                         const std::string& service, int wait_ms, OpenError* error = nullptr,
                                         const std::function<bool()>& give_up = nullptr);

}  // namespace vantrel
