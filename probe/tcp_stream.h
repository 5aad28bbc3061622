// A connected TCP stream to a host and a named service, as the line channel
// uses it: a readiness wait before every send and receive.
#pragma once

#include <memory>
#include <string>

#include "probe/byte_stream.h"
#include "platform/net_calls.h"

namespace vantrel {

enum class OpenError {
  kNone,
  kSocketsUnavailable,  // the sockets library could not be started
  kUnknownService,      // the service database has no such name for tcp
  kUnresolvedHost,      // the host text gave no IPv4 address
  kConnectFailed,       // no socket, or the connection was refused or failed
};

// Resolves the service for "tcp" and the host (name or dotted address, the
// first IPv4 address counts), then connects, blocking for as long as the
// platform's own connect attempt takes. Null and the cause on failure, with
// nothing left open and the sockets library released again.
std::unique_ptr<ByteStream> OpenTcpStream(const std::string& host, const std::string& service,
                                          OpenError* error = nullptr, const platform::NetCalls& calls = platform::PlatformNetCalls());

}  // namespace vantrel
