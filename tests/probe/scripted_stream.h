// A byte stream that plays a script of receive events and records what is
// sent, so that line framing can be tested with exact packet shapes, short
// writes, time-outs, failures and closes.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/byte_stream.h"

namespace vantrel::testing {

using platform::ByteStream;
using platform::IoResult;
using platform::IoStatus;

struct StreamEvent {
  IoStatus status;
  std::string bytes;  // for kOk: one packet; handed out in pieces if the reader asks for less
};

inline StreamEvent Packet(std::string bytes) { return {IoStatus::kOk, std::move(bytes)}; }
inline StreamEvent Timeout() { return {IoStatus::kTimeout, {}}; }
inline StreamEvent PeerClosed() { return {IoStatus::kClosed, {}}; }
inline StreamEvent Failure() { return {IoStatus::kError, {}}; }

// What the stream saw; shared with the test because the channel owns the stream.
struct StreamRecord {
  std::string sent;
  int receive_calls = 0;
  int send_calls = 0;
  std::vector<int> waits;  // the wait limit of every call
  bool destroyed = false;
};

class ScriptedStream : public ByteStream {
 public:
  // Sends take at most send_chunk bytes per call; after send_budget bytes
  // every send ends with send_failure.
  ScriptedStream(std::vector<StreamEvent> script, std::shared_ptr<StreamRecord> record,
                 std::size_t send_chunk = static_cast<std::size_t>(-1),
                 std::size_t send_budget = static_cast<std::size_t>(-1), IoStatus send_failure = IoStatus::kError)
      : script_(script.begin(), script.end()),
        record_(std::move(record)),
        send_chunk_(send_chunk),
        send_budget_(send_budget),
        send_failure_(send_failure) {}
  ~ScriptedStream() override { record_->destroyed = true; }

  IoResult Receive(char* buffer, std::size_t size, int wait_ms) override {
    ++record_->receive_calls;
    record_->waits.push_back(wait_ms);
    // A script that has run out behaves like a silent peer.
    if (script_.empty()) return {IoStatus::kTimeout, 0};
    StreamEvent& next = script_.front();
    if (next.status != IoStatus::kOk) {
      IoResult result{next.status, 0};
      if (next.status != IoStatus::kClosed) script_.pop_front();  // a close stays closed
      return result;
    }
    std::size_t n = std::min(size, next.bytes.size() - offset_);
    std::memcpy(buffer, next.bytes.data() + offset_, n);
    offset_ += n;
    if (offset_ == next.bytes.size()) {
      script_.pop_front();
      offset_ = 0;
    }
    return {IoStatus::kOk, n};
  }

  IoResult Send(const char* data, std::size_t size, int wait_ms) override {
    ++record_->send_calls;
    record_->waits.push_back(wait_ms);
    std::size_t n = std::min({size, send_chunk_, send_budget_ - record_->sent.size()});
    if (n == 0) return {send_failure_, 0};
    record_->sent.append(data, n);
    return {IoStatus::kOk, n};
  }

 private:
  std::deque<StreamEvent> script_;
  std::size_t offset_ = 0;
  std::shared_ptr<StreamRecord> record_;
  std::size_t send_chunk_;
  std::size_t send_budget_;
  IoStatus send_failure_;
};

}  // namespace vantrel::testing
