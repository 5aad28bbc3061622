// The SOCKS5 proxy of a run: which one, whether it can be used at all, and
// what "Results" says when it reached no mail server. A proxy that cannot
// be reached or refuses us would only mark the whole list "++", so it is
// tried once before anything is written or any task starts.
#include <cctype>

#include "probe/socks5.h"
#include "run/unless_stopped.h"
#include "run/verification_run.h"

namespace vantrel::run {

namespace {

std::string BadSettingText(ProxyUrlError error) {
  return "The PROXY= line of Vantrel.INI cannot be used:\r\n\r\n" + ProxyUrlProblem(error) +
         ".\r\n\r\nCorrect the line or remove it, then try again.";
}

std::string UnusableProxyText(const ProxyAddress& proxy, const SocksOutcome& outcome) {
  std::string words = SocksWords(outcome);
  words[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(words[0])));
  std::string text = "Cannot use the SOCKS5 proxy.\r\n\r\n" + proxy.HostPort() + "\r\n\r\n" + words + ".";
  if (outcome.failure == SocksFailure::kNoAcceptableMethod && proxy.user.empty()) {
    text += "\r\nIt may want a user name and password:\r\nsocks5://USER:PASSWORD@" + proxy.HostPort();
  }
  return text + "\r\n\r\nNo address was checked.";
}

}  // namespace

VerificationRun::ProxyCheck VerificationRun::CheckProxy() {
  proxy_ = options_.proxy;
  const std::string setting = dialog_.GetText(kProxySetting);
  if (!proxy_ && !setting.empty()) {
    ProxyUrl parsed = ParseProxyUrl(setting);
    if (!parsed.proxy) return RefuseProxy(BadSettingText(parsed.error));
    proxy_ = parsed.proxy;
  }
  if (!proxy_) return ProxyCheck::kReady;
  SharedState& shared = Shared();
  dialog_.SetStatusText("Status: Checking the proxy " + proxy_->HostPort());
  // The window must be heard while a silent proxy is waited for: only its
  // close sets the stop flag.
  auto stopped = [&] {
    dialog_.ProcessOneMessage();
    return shared.stop_flag.load() != 0;
  };
  // Its name is looked up once, here, where a stop is heard: a resolver that
  // is slow at every connection would hold the run and its stop.
  platform::Network& network = network_;
  const std::string host = proxy_->host;
  std::optional<std::uint32_t> resolved = CallUnlessStopped<std::uint32_t>(
      [&network, host] {
        platform::SocketsLease lease(network);
        std::uint32_t address = 0;
        return lease.held() && network.ResolveHost(host, &address) ? address : 0u;
      },
      stopped);
  if (!resolved || shared.stop_flag.load() != 0) return ProxyCheck::kStopped;
  SocksOutcome outcome;
  if (*resolved == 0) {
    outcome.failure = SocksFailure::kNoProxy;
    return RefuseProxy(UnusableProxyText(*proxy_, outcome));
  }
  proxy_->resolved = *resolved;
  OpenSocksSession(network_, *proxy_, shared.waits.smtp_wait_ms, stopped, &outcome);
  if (outcome.failure == SocksFailure::kStopped || shared.stop_flag.load() != 0) return ProxyCheck::kStopped;
  if (outcome.ok()) return ProxyCheck::kReady;
  return RefuseProxy(UnusableProxyText(*proxy_, outcome));
}

VerificationRun::ProxyCheck VerificationRun::RefuseProxy(const std::string& text) {
  members_.reset();
  dialog_.SetStatusText("Status: Idle");
  dialog_.ShowMessageBox(text, "Error", MessageIcon::kStop);
  return ProxyCheck::kRefused;
}

std::string VerificationRun::ProxyWarning() {
  return "WARNING: The proxy " + proxy_->HostPort() + " could not reach any mail server (" + LastProxyFailure() +
         "). Check that it allows connections to port 25.";
}

}  // namespace vantrel::run
