#pragma once

#include <string>
#include <vector>

namespace net::mail {

/// Sends one HTML or plain-text mail through an SMTP server; stands in for the SMTP mail
/// component of the original system. Every setting keeps its value until it is set again, so a
/// caller that reuses one instance sets all of them before each Send().
class MailComponent {
  public:
    // Transport.
    /// 0: TLS through STARTTLS whenever the server offers it (smtps:// always encrypts);
    /// 1: refuse to send unless the connection is encrypted.
    void SetTlsMode(int mode) { tlsMode_ = mode; }
    /// 0: never log in; 1: log in when a user name is set.
    void SetLoginMode(int mode) { loginMode_ = mode; }
    /// Separates several addresses in the recipient setting.
    void SetRecipientDelimiter(const std::string& delimiter) { delimiter_ = delimiter; }
    /// "host", "host:port", "smtp://host[:port]" or "smtps://host[:port]".
    void SetServer(const std::string& server) { server_ = server; }
    /// Port for a server setting that names none; 0 means the scheme's own (25, or 465 for smtps).
    void SetDefaultPort(int port) { defaultPort_ = port; }
    void SetUserName(const std::string& userName) { userName_ = userName; }
    void SetPassword(const std::string& password) { password_ = password; }

    // Envelope and headers.
    void SetFrom(const std::string& address) { from_ = address; }
    /// Name shown with the sender's address; empty or equal to the address shows the address only.
    void SetFromDisplayName(const std::string& name) { fromDisplayName_ = name; }
    /// One address, or several separated by the recipient delimiter.
    void SetRecipient(const std::string& addresses) { recipient_ = addresses; }
    /// Name shown with a single recipient's address; ignored for several recipients.
    void SetRecipientDisplayName(const std::string& name) { recipientDisplayName_ = name; }
    /// Empty: no Reply-To header.
    void SetReplyTo(const std::string& address) { replyTo_ = address; }
    void SetSubject(const std::string& subject) { subject_ = subject; }
    /// X-Priority: 1 highest … 5 lowest, 3 normal.
    void SetPriority(int priority) { priority_ = priority; }
    /// Non-zero asks the receiver's client for a read receipt to the sender.
    void SetReceiptRequest(int request) { receiptRequest_ = request; }
    /// Checks every address for the form local@domain before anything is sent.
    void SetValidateAddresses(bool validate) { validateAddresses_ = validate; }
    /// More recipients than this make Send() fail.
    void SetMaxRecipients(int count) { maxRecipients_ = count; }

    // Body.
    void SetMessage(const std::string& text) { message_ = text; }
    /// true: the message is an HTML document; false: plain text. Both are sent as UTF-8.
    void SetAsHtml(bool html) { asHtml_ = html; }
    /// 0: quoted-printable; 1: base64.
    void SetTransferEncoding(int encoding) { transferEncoding_ = encoding; }

    /// Delivers the mail; throws RuntimeError with the SMTP reply code (or libcurl's code, or 5
    /// for a setting that cannot work) and a description that carries the server's reply.
    /// In a build with test hooks the environment variable ZARVO_CA_FILE, when set, names the only
    /// CA certificates trusted.
    void Send();

  private:
    /// The recipients, after every address passed its check.
    std::vector<std::string> CheckedRecipients() const;
    std::string ComposeMessage(const std::vector<std::string>& recipients) const;

    int tlsMode_ = 0;
    int loginMode_ = 1;
    std::string delimiter_ = ";";
    std::string server_;
    int defaultPort_ = 0;
    std::string userName_;
    std::string password_;
    std::string from_;
    std::string fromDisplayName_;
    std::string recipient_;
    std::string recipientDisplayName_;
    std::string replyTo_;
    std::string subject_;
    int priority_ = 3;
    int receiptRequest_ = 0;
    bool validateAddresses_ = true;
    int maxRecipients_ = 100;
    std::string message_;
    bool asHtml_ = true;
    int transferEncoding_ = 0;
};

}  // namespace net::mail
