// A TCP stream to a host and a named service, as the line channel opens it:
// the service and the host are looked up, then the connection is opened
// within the wait limit.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/byte_stream.h"
#include "platform/network.h"

namespace vantrel {

enum class OpenError {
  kNone,
  kSocketsUnavailable,  // the sockets library could not be started
  kUnknownService,      // the service database has no such name for tcp
  kUnresolvedHost,      // the host text gave no IPv4 address
  kConnectFailed,       // no socket, or the connection was refused, failed or took too long
};

// Resolves the service for "tcp" ("smtp" is port 25 when the services
// database lacks it) and the host (name or dotted address, the first IPv4
// address counts), then connects within wait_ms. Null and the
// cause on failure, with nothing left open and the sockets library released.
std::unique_ptr<platform::ByteStream> OpenTcpStream(platform::Network& network, const std::string& host,
                                                    const std::string& service, int wait_ms,
                                                    OpenError* error = nullptr,
                                                    const std::function<bool()>& give_up = nullptr);

}  // namespace vantrel
