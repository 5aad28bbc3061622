// An SMTP server on 127.a.b.n:25 that answers from a script and can set the
// stop flag at a chosen step. steps[0] is said on connect, steps[i] after the
// i-th line received. Once the script is used up it reads until the client
// closes (or the script hangs up); WaitUntilDone() then returns true, so a test can compare every byte the client
// sent once the client has hung up.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "probe/shared_state.h"
#include "tests/support/loopback.h"

namespace vantrel::testing {

struct SmtpStep {
  std::string reply;               // sent as it stands; may hold several lines or none
  bool stop_before_reply = false;  // set the stop flag first
  bool hang_up_after = false;      // close the connection after the reply
};

class SmtpScriptServer {
 public:
  SmtpScriptServer(const std::string& address, std::vector<SmtpStep> steps)
      : steps_(std::move(steps)), server_(address, 25, [this](ServerConnection& connection) { Serve(connection); }) {}

  bool listening() const { return server_.listening(); }
  int Connections() const { return server_.Connections(); }
  std::string Received() { return server_.Received(); }

  // Waits until the client has closed the connection, within a generous bound.
  ::testing::AssertionResult WaitUntilDone(int bound_ms = 10000) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (done_changed_.wait_for(lock, std::chrono::milliseconds(bound_ms), [this] { return done_; })) {
      return ::testing::AssertionSuccess();
    }
    lock.unlock();
    return ::testing::AssertionFailure() << "the client did not close the connection within " << bound_ms
                                         << " ms; the server received \"" << Received() << "\"";
  }

 private:
  void Serve(ServerConnection& connection) {
    std::string line;
    bool hung_up = false;
    for (std::size_t next = 0; next < steps_.size() && !hung_up; ++next) {
      if (next > 0 && !connection.ReadLine(&line)) break;
      const SmtpStep& step = steps_[next];
      if (step.stop_before_reply) Shared().stop_flag = -1;
      connection.Send(step.reply);
      if (step.hang_up_after) {
        connection.Close();
        hung_up = true;
      }
    }
    if (!hung_up) connection.DrainUntilClosed();
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
    done_changed_.notify_all();
  }

  std::vector<SmtpStep> steps_;
  std::mutex mutex_;
  std::condition_variable done_changed_;
  bool done_ = false;
  LoopbackTcpServer server_;  // last: its threads use the members above
};

}  // namespace vantrel::testing
