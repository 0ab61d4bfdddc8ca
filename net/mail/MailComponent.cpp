#include "net/mail/MailComponent.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "net/curl/Curl.h"
#include "net/curl/CurlPoll.h"
#include "net/curl/CurlShared.h"
#include "net/curl/TransferBounds.h"
#include "net/mail/MailFormat.h"
#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace net::mail {

namespace {

using namespace mail;

// The same bounds as the HTTP requests: a server that stops answering must not hold the
// service's only thread for longer than a few minutes.
constexpr curl::TransferBounds kBounds{};
constexpr std::size_t kMaxReplyLength = 1000;

// The description becomes one line of the log, whatever the server or libcurl put into it.
platform::RuntimeError NotSent(long number, const std::string& detail) {
    return platform::RuntimeError(number,
                                  "Mail not sent: " + platform::ReplaceControls(detail, ' '));
}

platform::RuntimeError BadSetting(const std::string& detail) {
    return NotSent(platform::errors::InvalidProcedureCall, detail);
}

// For messages that end up in a one-line log entry: control characters must not break it.
std::string Shown(const std::string& text) {
    return "\"" + platform::ReplaceControls(text, '?') + "\"";
}

// Addresses end up inside SMTP commands and headers, so a line break in one would let a setting
// inject commands or headers; that is refused even when address checking is off.
void CheckAddress(const std::string& address, const char* role, bool validate) {
    bool valid = !platform::HasControl(address);
    if (validate && valid) {
        const auto at = address.rfind('@');
        valid = address.size() <= 254 && at != std::string::npos && at > 0 &&
                at + 1 < address.size() && address.find_first_of(" \t<>,;\"") == std::string::npos;
    }
    if (!valid) {
        throw BadSetting(address.empty()
                             ? std::string("no ") + role + " address"
                             : std::string("invalid ") + role + " address " + Shown(address));
    }
}

std::vector<std::string> SplitAddresses(const std::string& text, const std::string& delimiter) {
    std::vector<std::string> addresses;
    std::size_t start = 0;
    while (true) {
        const auto end = delimiter.empty() ? std::string::npos : text.find(delimiter, start);
        std::string part(platform::TrimBlanks(std::string_view(text).substr(start, end - start)));
        if (!part.empty()) {
            addresses.push_back(std::move(part));
        }
        if (end == std::string::npos) {
            return addresses;
        }
        start = end + delimiter.size();
    }
}

struct ServerUrl {
    std::string url;
    std::string host;
    bool implicitTls = false;
};

ServerUrl ParseServer(const std::string& setting, int defaultPort) {
    const std::string server(platform::TrimBlanks(setting));
    if (server.empty()) {
        throw BadSetting("no SMTP server");
    }
    std::string text = server;
    const bool schemeGiven = text.find("://") != std::string::npos;
    if (!schemeGiven) {
        text = "smtp://" + text;
    }
    curl::UrlHandle url(curl_url());
    const auto invalid = [&server] { return BadSetting("invalid SMTP server " + Shown(server)); };
    if (!url || curl_url_set(url.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) {
        throw invalid();
    }
    const std::string scheme = curl::UrlPart(url.get(), CURLUPART_SCHEME).value_or("");
    if (scheme != "smtp" && scheme != "smtps") {
        throw invalid();
    }
    // Credentials in the URL would bypass the rule that they travel only encrypted.
    if (curl::UrlPart(url.get(), CURLUPART_USER)) {
        throw BadSetting("the SMTP server setting carries a user name; use the login settings");
    }
    ServerUrl result;
    result.implicitTls = scheme == "smtps";
    std::string port = curl::UrlPart(url.get(), CURLUPART_PORT).value_or("");
    if (port.empty()) {
        port = std::to_string(defaultPort != 0 ? defaultPort : (result.implicitTls ? 465 : 25));
        if (curl_url_set(url.get(), CURLUPART_PORT, port.c_str(), 0) != CURLUE_OK) {
            throw invalid();
        }
    }
    // Port 465 speaks TLS from the first byte, as mail clients treat it; a STARTTLS attempt
    // there only waits for the timeout. A scheme written out keeps its meaning.
    if (!schemeGiven && port == "465") {
        result.implicitTls = true;
        if (curl_url_set(url.get(), CURLUPART_SCHEME, "smtps", 0) != CURLUE_OK) {
            throw invalid();
        }
    }
    result.host = curl::UrlPart(url.get(), CURLUPART_HOST).value_or("");
    result.url = curl::UrlPart(url.get(), CURLUPART_URL).value_or("");
    if (result.url.empty() || result.host.empty()) {
        throw invalid();
    }
    return result;
}

// A dotted IPv4 address in 127.0.0.0/8, in the strict form: four decimal numbers up to 255.
bool IsLoopbackAddress(std::string_view host) {
    int parts = 0;
    int first = -1;
    while (parts < 4) {
        std::size_t digits = 0;
        int number = 0;
        while (digits < host.size() && digits < 3 && host[digits] >= '0' && host[digits] <= '9') {
            number = number * 10 + (host[digits] - '0');
            ++digits;
        }
        if (digits == 0 || number > 255 || (digits > 1 && host[0] == '0')) {
            return false;
        }
        first = parts == 0 ? number : first;
        host.remove_prefix(digits);
        ++parts;
        if (parts < 4) {
            if (host.empty() || host.front() != '.') {
                return false;
            }
            host.remove_prefix(1);
        }
    }
    return host.empty() && first == 127;
}

bool IsLoopback(const std::string& host) {
    return IsLoopbackAddress(host) || platform::EqualsIgnoringCase(host, "localhost") ||
           host == "[::1]";
}

struct Exchange {
    std::string payload;
    std::size_t sent = 0;
    std::string reply;       // the server's latest reply, its lines joined by blanks
    std::string errorReply;  // the latest reply with a 4xx or 5xx code
    bool replyDone = false;
};

std::size_t ReadPayload(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto* exchange = static_cast<Exchange*>(user);
    const std::size_t length = std::min(size * count, exchange->payload.size() - exchange->sent);
    std::memcpy(buffer, exchange->payload.data() + exchange->sent, length);
    exchange->sent += length;
    return length;
}

// libcurl reports a failed command only by its code; the server's own words come through the
// debug stream, where every command sent starts a new reply.
int CollectReply(CURL*, curl_infotype type, char* data, std::size_t size, void* user) {
    auto* exchange = static_cast<Exchange*>(user);
    if (type == CURLINFO_HEADER_OUT) {
        exchange->replyDone = true;
    } else if (type == CURLINFO_HEADER_IN) {
        if (exchange->replyDone) {
            exchange->reply.clear();
            exchange->replyDone = false;
        }
        for (char c : std::string_view(data, size)) {
            if (exchange->reply.size() >= kMaxReplyLength) {
                break;
            }
            const bool lineEnd = c == '\r' || c == '\n';
            if (lineEnd && !exchange->reply.empty() && exchange->reply.back() != ' ') {
                exchange->reply += ' ';
            } else if (!lineEnd) {
                exchange->reply += platform::IsControl(static_cast<unsigned char>(c)) ? ' ' : c;
            }
        }
        // libcurl says QUIT after a failure; its "221" must not hide the reply that failed.
        if (!exchange->reply.empty() && (exchange->reply[0] == '4' || exchange->reply[0] == '5')) {
            exchange->errorReply = exchange->reply;
        }
    }
    return 0;
}

// A mail can take minutes with a slow server. The program's events keep running meanwhile (at
// least once a second), and a stop request ends the send instead of waiting for it.
int KeepEventsRunning(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    platform::DoEvents();
    return platform::StopPending() ? 1 : 0;
}

/// What one transfer needs beside the handle; it must outlive the transfer.
struct Transfer {
    const ServerUrl& server;
    bool requireTls;
    const std::string* userName;  // nothing: no login
    const std::string* password;
    const std::string& from;
    curl_slist* recipients;
    Exchange& exchange;
    char* errorBuffer;
};

void Configure(CURL* handle, const Transfer& transfer) {
    curl::SetOption(handle, CURLOPT_URL, transfer.server.url.c_str());
    curl::SetOption(handle, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl::SetOption(handle, CURLOPT_NOSIGNAL, 1L);
    curl::SetOption(handle, CURLOPT_USE_SSL,
                    static_cast<long>(transfer.requireTls ? CURLUSESSL_ALL : CURLUSESSL_TRY));
    curl::SetTrust(handle);
    curl::JoinShared(handle);
    // A session stays open no longer than its mail, as mail servers expect of a client.
    curl::SetOption(handle, CURLOPT_FORBID_REUSE, 1L);
    if (transfer.userName != nullptr) {
        curl::SetOption(handle, CURLOPT_USERNAME, transfer.userName->c_str());
        curl::SetOption(handle, CURLOPT_PASSWORD, transfer.password->c_str());
    }
    curl::SetOption(handle, CURLOPT_MAIL_FROM, transfer.from.c_str());
    curl::SetOption(handle, CURLOPT_MAIL_RCPT, transfer.recipients);
    curl::SetOption(handle, CURLOPT_UPLOAD, 1L);
    curl::SetOption(handle, CURLOPT_READFUNCTION, ReadPayload);
    curl::SetOption(handle, CURLOPT_READDATA, &transfer.exchange);
    curl::SetOption(handle, CURLOPT_INFILESIZE_LARGE,
                    static_cast<curl_off_t>(transfer.exchange.payload.size()));
    using std::chrono::seconds;
    curl::SetOption(handle, CURLOPT_CONNECTTIMEOUT,
                    static_cast<long>(kBounds.connect / seconds(1)));
    curl::SetOption(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl::SetOption(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(kBounds.stall / seconds(1)));
    curl::SetOption(handle, CURLOPT_TIMEOUT, static_cast<long>(kBounds.total / seconds(1)));
    curl::SetOption(handle, CURLOPT_XFERINFOFUNCTION, KeepEventsRunning);
    curl::SetOption(handle, CURLOPT_NOPROGRESS, 0L);
    curl::SetOption(handle, CURLOPT_ERRORBUFFER, transfer.errorBuffer);
    curl::SetOption(handle, CURLOPT_DEBUGFUNCTION, CollectReply);
    curl::SetOption(handle, CURLOPT_DEBUGDATA, &transfer.exchange);
    curl::SetOption(handle, CURLOPT_VERBOSE, 1L);
}

// The server's reply code where there is one, with its words; libcurl's code otherwise.
platform::RuntimeError TransferFailure(CURL* handle, CURLcode result, const Transfer& transfer,
                                       bool plainLoginRefused) {
    long replyCode = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &replyCode);
    std::string detail =
        transfer.errorBuffer[0] != '\0' ? transfer.errorBuffer : curl_easy_strerror(result);
    if (result == CURLE_USE_SSL_FAILED && plainLoginRefused) {
        detail =
            "the server offers no TLS, and the user name and password are only sent "
            "encrypted (" +
            detail + ")";
    }
    const std::string reply(platform::TrimBlanks(transfer.exchange.errorReply));
    if (replyCode >= 400 && !reply.empty()) {
        return NotSent(replyCode, detail + "; server replied \"" + reply + "\"");
    }
    return NotSent(replyCode >= 400 ? replyCode : static_cast<long>(result), detail);
}

}  // namespace

std::string MailComponent::ComposeMessage(const std::vector<std::string>& recipients) const {
    const platform::TimePoint now = platform::Now();
    std::string to;
    std::size_t column = 4;
    for (const auto& address : recipients) {
        const std::string mailbox =
            recipients.size() == 1 ? Mailbox(address, recipientDisplayName_) : address;
        if (!to.empty()) {
            const bool fold = column + 2 + mailbox.size() > kLineLength;
            to += fold ? ",\r\n " : ", ";
            column = fold ? 1 : column + 2;
        }
        to += mailbox;
        column += mailbox.size();
    }
    std::string headers = "Date: " + MailDate(now) + "\r\n";
    headers += "From: " + Mailbox(from_, fromDisplayName_) + "\r\n";
    headers += "To: " + to + "\r\n";
    if (!platform::TrimBlanks(replyTo_).empty()) {
        headers += "Reply-To: " + std::string(platform::TrimBlanks(replyTo_)) + "\r\n";
    }
    headers += "Subject: " + HeaderText(subject_) + "\r\n";
    headers += "Message-ID: " + MessageId(now, from_) + "\r\n";
    headers += "X-Priority: " + std::to_string(priority_) + "\r\n";
    if (receiptRequest_ != 0) {
        headers += "Disposition-Notification-To: " + from_ + "\r\n";
    }
    headers += "MIME-Version: 1.0\r\n";
    headers += std::string("Content-Type: ") + (asHtml_ ? "text/html" : "text/plain") +
               "; charset=UTF-8\r\n";
    if (transferEncoding_ == 1) {
        headers += "Content-Transfer-Encoding: base64\r\n\r\n";
        return headers + Base64(message_, kLineLength) + "\r\n";
    }
    headers += "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
    // A soft break before the end of the data: the line end SMTP needs there is not the text's.
    return headers + QuotedPrintable(message_) + "=\r\n";
}

std::vector<std::string> MailComponent::CheckedRecipients() const {
    CheckAddress(from_, "sender", validateAddresses_);
    if (!platform::TrimBlanks(replyTo_).empty()) {
        CheckAddress(std::string(platform::TrimBlanks(replyTo_)), "reply-to", validateAddresses_);
    }
    std::vector<std::string> recipients = SplitAddresses(recipient_, delimiter_);
    if (recipients.empty()) {
        throw BadSetting("no recipient address");
    }
    if (maxRecipients_ > 0 && recipients.size() > static_cast<std::size_t>(maxRecipients_)) {
        throw BadSetting("more than " + std::to_string(maxRecipients_) + " recipients");
    }
    for (const auto& address : recipients) {
        CheckAddress(address, "recipient", validateAddresses_);
    }
    return recipients;
}

void MailComponent::Send() {
    const ServerUrl server = ParseServer(server_, defaultPort_);
    const std::vector<std::string> recipients = CheckedRecipients();
    const bool login = loginMode_ != 0 && !userName_.empty();
    // Credentials travel in the clear without TLS; only a server on this machine may see them so.
    const bool requireTls = tlsMode_ != 0 || (login && !IsLoopback(server.host));

    if (const CURLcode init = curl::GlobalInit(); init != CURLE_OK) {
        throw NotSent(init, curl_easy_strerror(init));
    }
    curl::EasyHandle curl(curl_easy_init());
    if (!curl) {
        throw NotSent(CURLE_FAILED_INIT, curl_easy_strerror(CURLE_FAILED_INIT));
    }
    curl::StringList rcpt;
    for (const auto& address : recipients) {
        if (!curl::Append(rcpt, address)) {
            throw NotSent(CURLE_OUT_OF_MEMORY, curl_easy_strerror(CURLE_OUT_OF_MEMORY));
        }
    }
    Exchange exchange;
    exchange.payload = ComposeMessage(recipients);
    char errorBuffer[CURL_ERROR_SIZE] = {};
    const Transfer transfer{server,     requireTls, login ? &userName_ : nullptr,
                            &password_, from_,      rcpt.get(),
                            exchange,   errorBuffer};
    try {
        // A refused option fails the mail as any other failure of it does.
        Configure(curl.get(), transfer);
    } catch (const platform::RuntimeError& refused) {
        throw NotSent(refused.Number(), refused.Description());
    }
    const CURLcode result = curl::PerformWithEvents(curl.get());
    if (result != CURLE_OK) {
        throw TransferFailure(curl.get(), result, transfer, login && tlsMode_ == 0);
    }
}

}  // namespace net::mail
