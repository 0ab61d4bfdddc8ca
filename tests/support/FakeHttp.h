#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/http/HttpRequest.h"
#include "platform/RuntimeError.h"

/// Stands in for the HTTP transport: answers each request with the next scripted reply and
/// records what was asked.
class FakeHttp {
  public:
    struct Reply {
        std::string body;
        /// Non-empty: the exchange fails with this description instead.
        std::string failure;
        /// Runs while the request waits, where the program's event handlers would run.
        std::function<void()> duringWait;
        /// false: the server never answers, as a stalled one; only an abort ends the wait.
        bool completes = true;
        int status = 200;
    };
    struct Sent {
        std::string method, url, user, password;
        net::AddressFamily family;
    };

    void Queue(Reply reply) { replies_.push_back(std::move(reply)); }
    void Queue(const std::string& body) { Queue(Reply{body, {}, {}, true}); }
    const std::vector<Sent>& Requests() const { return requests_; }
    net::http::HttpRequestFactory Factory() {
        return [this] { return std::make_unique<Request>(*this); };
    }

  private:
    // A wait that never ends would hang the test: after this many the exchange fails.
    static constexpr int MaxWaits = 100;

    class Request : public net::http::HttpRequest {
      public:
        explicit Request(FakeHttp& owner) : owner_(owner) {}
        void open(const std::string& method, const std::string& url, bool, const std::string& user,
                  const std::string& password) override {
            owner_.requests_.push_back({method, url, user, password, net::AddressFamily::IPv4});
            state_ = Opened;
        }
        void setRequestHeader(const std::string&, const std::string&) override {}
        void setAddressFamily(net::AddressFamily family) override {
            owner_.requests_.back().family = family;
        }
        void send(const std::string&) override {
            if (owner_.replies_.empty()) {
                throw platform::RuntimeError(1, "no reply scripted");
            }
            reply_ = owner_.replies_.front();
            owner_.replies_.pop_front();
            if (!reply_.failure.empty()) {
                throw platform::RuntimeError(1, reply_.failure);
            }
            state_ = Sent;
        }
        int readyState() override { return state_; }
        void wait() override {
            if (++waits_ > MaxWaits) {
                throw platform::RuntimeError(1, "the test's server never answered");
            }
            if (reply_.duringWait) {
                std::function<void()> handler = std::move(reply_.duringWait);
                reply_.duringWait = nullptr;
                handler();
            }
            if (reply_.completes) {
                state_ = Completed;
            }
        }
        int status() override { return reply_.status; }
        std::string getResponseHeader(const std::string& name) override {
            return name == "Content-Type" ? "text/plain" : "";
        }
        std::string responseText() override { return reply_.body; }
        std::vector<std::uint8_t> responseBody() override {
            return {reply_.body.begin(), reply_.body.end()};
        }
        void abort() override { state_ = Uninitialized; }

      private:
        FakeHttp& owner_;
        Reply reply_;
        int state_ = Uninitialized;
        int waits_ = 0;
    };

    std::deque<Reply> replies_;
    std::vector<Sent> requests_;
};
