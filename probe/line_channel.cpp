#include "probe/line_channel.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace vantrel {

namespace {

void AppendWithoutCr(std::string& line, const char* bytes, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    if (bytes[i] != '\r') line.push_back(bytes[i]);
  }
}

}  // namespace

LineChannel::LineChannel(std::unique_ptr<platform::ByteStream> stream, int wait_ms)
    : stream_(std::move(stream)), wait_ms_(wait_ms), buffer_(kBufferSize) {}

ChannelError LineChannel::SendText(std::string_view text) {
  if (stream_ == nullptr) return ChannelError::kNotOpen;
  std::size_t done = 0;
  while (done < text.size()) {
    platform::IoResult put = stream_->Send(text.data() + done, text.size() - done, wait_ms_);
    if (put.status == platform::IoStatus::kTimeout) return ChannelError::kTimeout;
    // A stream that claims success without moving a byte would spin here forever.
    if (put.status != platform::IoStatus::kOk || put.count == 0) return ChannelError::kSendFailed;
    done += std::min(put.count, text.size() - done);
  }
  return ChannelError::kNone;
}

std::string LineChannel::ReadLine(ChannelError* error) {
  return ReadLine(std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms_), error);
}

std::string LineChannel::ReadLine(Deadline deadline, ChannelError* error, const std::function<bool()>& give_up) {
  using std::chrono::milliseconds;
  ChannelError ignored;
  ChannelError& status = error != nullptr ? *error : ignored;
  status = ChannelError::kNone;
  if (stream_ == nullptr) {
    status = ChannelError::kNotOpen;
    return std::string();
  }
  std::string line;
  std::size_t input = 0;  // bytes taken for this line, CRs included
  for (;;) {
    while (next_ < end_) {
      const char* begin = buffer_.data() + next_;
      std::size_t span = std::min(end_ - next_, kMaxLineInput - input);
      const void* lf = std::memchr(begin, '\n', span);
      std::size_t take = lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - begin) : span;
      AppendWithoutCr(line, begin, take);
      next_ += take;
      input += take;
      if (lf != nullptr) {
        ++next_;
        return line;
      }
      if (input == kMaxLineInput) return line;
    }
    // Once the peer has closed, only what is buffered is left to give.
    if (peer_closed_) return line;
    if (give_up && give_up()) {
      status = ChannelError::kAbandoned;
      return line;
    }
    const milliseconds remaining = std::chrono::ceil<milliseconds>(deadline - std::chrono::steady_clock::now());
    if (remaining <= milliseconds::zero()) {
      status = ChannelError::kTimeout;
      return line;
    }
    const bool sliced = give_up && remaining > kWaitSlice;
    const milliseconds wait = sliced ? kWaitSlice : std::min(remaining, milliseconds(std::numeric_limits<int>::max()));
    platform::IoResult got = stream_->Receive(buffer_.data(), buffer_.size(), static_cast<int>(wait.count()));
    switch (got.status) {
      case platform::IoStatus::kOk:
        if (got.count == 0) {
          status = ChannelError::kReceiveFailed;
          return std::string();
        }
        next_ = 0;
        end_ = std::min(got.count, buffer_.size());
        break;
      case platform::IoStatus::kTimeout:
        // A slice that passed is no deadline: ask give_up again and go on.
        if (sliced) break;
        status = ChannelError::kTimeout;
        return line;
      case platform::IoStatus::kClosed:
        peer_closed_ = true;
        return line;
      case platform::IoStatus::kError:
        status = ChannelError::kReceiveFailed;
        return std::string();
    }
  }
}

void LineChannel::Close() { stream_.reset(); }

std::unique_ptr<LineChannel> OpenChannel(platform::Network& network, const std::string& host,
                                         const std::string& service, int wait_ms, OpenError* error,
                                         const std::function<bool()>& give_up) {
  std::unique_ptr<platform::ByteStream> stream = OpenTcpStream(network, host, service, wait_ms, error, give_up);
  if (stream == nullptr) return nullptr;
  return std::make_unique<LineChannel>(std::move(stream), wait_ms);
}

}  // namespace vantrel
