#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "net/http/HttpRequest.h"

/// The result of a request: nothing, the response as text, or the raw response body.
using AjaxValue = std::variant<std::monostate, std::string, std::vector<std::uint8_t>>;

/// What a request may carry as its body; a number goes out as its decimal text.
using AjaxBody = std::variant<std::monostate, std::string, std::vector<std::uint8_t>, std::int32_t>;

/// The value as text: empty for nothing, the bytes as they are for a body.
std::string AsText(const AjaxValue& vData);

/// Sends one HTTP request at a time and hands back the answer's body; a failure shows only as
/// an empty result, never as an error.
class AjaxComm {
  public:
    /// Sends to ServerAddress() + URL_Parameter and waits, processing the program's events,
    /// until the answer is in or Abort() is called. sHeader receives the answer's content type,
    /// or "ABORT"; after any other failure it keeps what the caller passed.
    AjaxValue SendData(std::string URL_Parameter, AjaxBody BodyData, std::string& sHeader);
    /// Cancels a waiting SendData; for use from event handlers that run during the wait.
    void Abort();

    std::string ServerAddress() const { return sAddress; }
    void ServerAddress(std::string value) { sAddress = std::move(value); }
    std::string ContentType() const { return sContentType; }
    void ContentType(std::string value) { sContentType = std::move(value); }
    bool Asynchronize() const { return bAsynchronize; }
    void Asynchronize(bool value) { bAsynchronize = value; }
    std::string UserName() const { return sUserName; }
    void UserName(std::string value) { sUserName = std::move(value); }
    std::string Password() const { return sPassword; }
    void Password(std::string value) { sPassword = std::move(value); }
    std::string SendMethod() const { return sSendMethod; }
    void SendMethod(std::string value) { sSendMethod = std::move(value); }
    net::AddressFamily AddressFamily() const { return family_; }
    void AddressFamily(net::AddressFamily value) { family_ = value; }

    /// Why the last SendData gave an empty result: the first failing step's description. Empty
    /// after an answer of any status, and after a cancellation.
    const std::string& FailureReason() const { return sFailureReason; }
    /// The status code of the answer to the last SendData; 0 when none came.
    int Status() const { return lStatus; }

    /// Raised once at the end of every SendData, after a failure or a cancellation as well.
    std::function<void(const AjaxValue& vData, const std::string& sHeader)> DataReceived;

  private:
    // Continue on failure: a failing step is abandoned and noted, and the next one runs, so
    // that nothing reaches the caller but an empty result. The first failure is the cause.
    class Steps {
      public:
        explicit Steps(std::string& reason) : reason_(reason) {}
        void Run(const std::function<void()>& action);
        /// A step on the request object; fails when there is none.
        void OnRequest(const std::unique_ptr<net::http::HttpRequest>& request,
                       const std::function<void(net::http::HttpRequest&)>& action);
        bool Failed() const { return failed_; }

      private:
        void Fail(const std::string& reason);
        std::string& reason_;
        bool failed_ = false;
    };

    /// Waits for the exchange to end; true when it completed, false after a failure or an
    /// abort.
    bool WaitForAnswer(Steps& steps, std::unique_ptr<net::http::HttpRequest>& request,
                       std::string& sHeader);

    std::string sAddress;
    std::string sContentType = "TEXT/XML";
    bool bAsynchronize = true;
    std::string sUserName;
    std::string sPassword;
    std::string sSendMethod = "post";
    net::AddressFamily family_ = net::AddressFamily::IPv4;
    bool bAbort = false;
    std::string sFailureReason;
    int lStatus = 0;
};
