#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "service/RouterSource.h"
#include "service/host/ServiceHost.h"

namespace net::mail {
class MailComponent;
}

/// Delivers the service's mails: the update reports and the cycle's error mails.
class MailTransport {
  public:
    virtual ~MailTransport() = default;
    /// Never throws for a mail that could not go out; that is the transport's to log.
    virtual void SendMail(const std::string& SMTPHost, const std::string& Recipient,
                          const std::string& MsgText, const std::string& UserName,
                          const std::string& UserPassword, bool isError) = 0;
};

/// Takes the service's event-log entries.
class EventLogSink {
  public:
    virtual ~EventLogSink() = default;
    virtual void LogEvent(std::int16_t type, std::int32_t id, const std::string& text) = 0;
};

/// The side effects of the service's form, each behind an interface that tests replace. A port
/// left empty gets the program's own. HTTP and the clocks are no ports: tests replace them for the
/// whole process (OverrideHttpRequestFactory, OverrideClock), as code outside the form, the log's
/// time stamps for one, uses them too.
struct ServicePorts {
    std::unique_ptr<MailTransport> mail;
    std::unique_ptr<EventLogSink> eventLog;
    std::unique_ptr<RouterQuery> router;
};

/// Mails through the SMTP component, one instance for all of the service's mails.
class SmtpMailTransport : public MailTransport {
  public:
    SmtpMailTransport();
    ~SmtpMailTransport() override;
    void SendMail(const std::string& SMTPHost, const std::string& Recipient,
                  const std::string& MsgText, const std::string& UserName,
                  const std::string& UserPassword, bool isError) override;

  private:
    std::unique_ptr<net::mail::MailComponent> poSendMail;
};

/// The service host's event log (the journal, or on Windows the Application log).
class ServiceHostEventLog : public EventLogSink {
  public:
    explicit ServiceHostEventLog(service::host::ServiceHost& host) : host_(host) {}
    void LogEvent(std::int16_t type, std::int32_t id, const std::string& text) override {
        host_.LogEvent(type, id, text);
    }

  private:
    service::host::ServiceHost& host_;
};
