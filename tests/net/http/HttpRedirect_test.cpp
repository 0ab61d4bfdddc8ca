#include "net/http/HttpRedirect.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

TEST(HttpRedirect, CredentialsStayOnTheHostAndNeverLeaveTls) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"http://dyn.example/nic/update", "https://dyn.example/nic/update", true},
        {"http://dyn.example/a", "https://DYN.example:8443/b", true},
        {"http://dyn.example/a", "http://dyn.example:80/b", true},
        {"https://dyn.example/a", "https://dyn.example/b?c", true},
        {"https://dyn.example/a", "http://dyn.example/a", false},
        {"http://dyn.example/a", "https://other.example/a", false},
        {"http://dyn.example/a", "https://dyn.example.evil.example/a", false},
        {"http://dyn.example/a", "http://dyn.example:8080/a", false},
        {"http://127.0.0.1:1/a", "http://127.0.0.2:1/a", false},
        {"http://dyn.example/a", "not a url", false},
    };
    for (auto [from, to, keeps] : cases) {
        EXPECT_EQ(net::http::RedirectKeepsCredentials(from, to), keeps) << from << " -> " << to;
    }
}

TEST(HttpRedirect, OnlyHttpsSendsCredentialsWithoutAChallenge) {
    EXPECT_TRUE(net::http::CredentialsUpFront("https://dyn.example/nic/update"));
    EXPECT_TRUE(net::http::CredentialsUpFront("HTTPS://demo:pw@dyn.example:8443/nic/update"));
    EXPECT_FALSE(net::http::CredentialsUpFront("http://dyn.example/nic/update"));
    EXPECT_FALSE(net::http::CredentialsUpFront("not a url"));
}

TEST(HttpRedirect, MethodAfterRedirectFollowsTheBrowsers) {
    const std::tuple<const char*, long, const char*> cases[] = {
        {"POST", 301, "GET"},  {"POST", 302, "GET"},  {"POST", 303, "GET"},
        {"PUT", 303, "GET"},   {"HEAD", 303, "HEAD"}, {"PUT", 302, "PUT"},
        {"POST", 307, "POST"}, {"POST", 308, "POST"}, {"GET", 301, "GET"}};
    for (auto [method, status, after] : cases) {
        EXPECT_EQ(net::http::MethodAfterRedirect(method, status), after) << method << " " << status;
    }
}

}  // namespace
