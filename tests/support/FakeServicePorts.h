#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "service/ServicePorts.h"

/// Records the mails instead of sending them.
class FakeMailTransport : public MailTransport {
  public:
    struct Mail {
        std::string server, recipient, text, user, password;
        bool isError;
    };
    void SendMail(const std::string& SMTPHost, const std::string& Recipient,
                  const std::string& MsgText, const std::string& UserName,
                  const std::string& UserPassword, bool isError) override {
        mails.push_back({SMTPHost, Recipient, MsgText, UserName, UserPassword, isError});
        if (duringSend) {
            duringSend();
        }
    }
    std::vector<Mail> mails;
    /// Runs inside every send, where a real one would process the program's events.
    std::function<void()> duringSend;
};

/// Records the event-log entries.
class FakeEventLog : public EventLogSink {
  public:
    struct Entry {
        std::int16_t type;
        std::int32_t id;
        std::string text;
        bool operator==(const Entry&) const = default;
    };
    void LogEvent(std::int16_t type, std::int32_t id, const std::string& text) override {
        entries.push_back({type, id, text});
    }
    std::vector<Entry> entries;
};

/// The process's clocks while it lives, moving only when the test moves them.
class FakeClock {
  public:
    explicit FakeClock(platform::TimePoint start) : now(start) {
        platform::OverrideClock([this] { return now; }, [this] { return steady; });
    }
    ~FakeClock() { platform::OverrideClock({}); }
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    platform::TimePoint now;
    platform::SteadyTimePoint steady{};
};

/// Answers each question for the router with the next scripted answer, no router once they
/// are used up, and records the description URL it was asked with.
class FakeRouterQuery : public RouterQuery {
  public:
    std::optional<net::upnp::RouterAnswer> Ask(const std::string& knownUrl) override {
        asked.push_back(knownUrl);
        if (answers.empty()) {
            return net::upnp::RouterAnswer{};
        }
        net::upnp::RouterAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<net::upnp::RouterAnswer> answers;
    std::vector<std::string> asked;
};
