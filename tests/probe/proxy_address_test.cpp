#include "probe/proxy_address.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(ParseProxyUrl, TakesSocks5UrlsAndSaysWhatIsWrongWithTheRest) {
  const struct {
    std::string url;
    ProxyUrlError error;
    std::string user = "", password = "", shown = "";  // shown: the proxy as a person sees it
  } cases[] = {
      {"socks5://127.0.0.1:1080", ProxyUrlError::kNone, "", "", "socks5://127.0.0.1:1080"},
      {"SOCKS5://proxy-1.example.net:65535", ProxyUrlError::kNone, "", "", "socks5://proxy-1.example.net:65535"},
      {"socks5://me:pw@h:1", ProxyUrlError::kNone, "me", "pw", "socks5://me@h:1"},
      {"socks5://a%40b%3a:p%25w@rd@h:1", ProxyUrlError::kNone, "a@b:", "p%w@rd", "socks5://a%40b%3A@h:1"},
      {"127.0.0.1:1080", ProxyUrlError::kNoScheme},
      {"http://h:8080", ProxyUrlError::kOtherScheme},
      {"socks4://h:1080", ProxyUrlError::kOtherScheme},
      {"socks5h://h:1080", ProxyUrlError::kOtherScheme},
      {"socks5://:1080", ProxyUrlError::kBadHost},
      {"socks5://[::1]:1080", ProxyUrlError::kBadHost},
      {"socks5://h", ProxyUrlError::kBadPort},
      {"socks5://h:0", ProxyUrlError::kBadPort},
      {"socks5://h:65536", ProxyUrlError::kBadPort},
      {"socks5://h:1080/", ProxyUrlError::kBadPort},
      {"socks5://me@h:1", ProxyUrlError::kNoPassword},
      {"socks5://:pw@h:1", ProxyUrlError::kBadCredentials},
      {"socks5://me:@h:1", ProxyUrlError::kBadCredentials},
      {"socks5://me:" + std::string(256, 'p') + "@h:1", ProxyUrlError::kBadCredentials},
      {"socks5://me:p%4@h:1", ProxyUrlError::kBadEscape},
      {"socks5://me:p%zz@h:1", ProxyUrlError::kBadEscape},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url.substr(0, 40));
    ProxyUrl parsed = ParseProxyUrl(c.url);
    EXPECT_EQ(parsed.error, c.error);
    EXPECT_EQ(parsed.proxy.has_value(), c.error == ProxyUrlError::kNone);
    if (parsed.proxy) {
      EXPECT_EQ(parsed.proxy->user, c.user);
      EXPECT_EQ(parsed.proxy->password, c.password);
      EXPECT_EQ(parsed.proxy->Shown(), c.shown);
    } else {
      EXPECT_NE(ProxyUrlProblem(parsed.error), "");
    }
    EXPECT_EQ(WithoutPassword("not \"" + c.url + "\"").find("pw"), std::string::npos);
  }
}

}  // namespace
}  // namespace vantrel
