#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace net::http {

/// The final response of an HTTP exchange, collected as its header lines and body pieces
/// arrive: interim responses (a redirect, a challenge, "100 Continue") and trailers are left
/// out.
class HttpResponse {
  public:
    /// One header line as received, with or without its line end.
    void HeaderLine(std::string_view line);
    /// A piece of the body; false, with the piece dropped, when the body would grow past
    /// `maxBody` bytes.
    bool BodyPiece(std::string_view data, std::size_t maxBody);
    /// Forgets everything, for the response to a new request.
    void Clear();

    /// The values of header `name`, in any case, joined by ", "; empty when absent.
    std::string Header(const std::string& name) const;
    const std::vector<std::uint8_t>& Body() const { return body_; }
    bool BodyTooLong() const { return bodyTooLong_; }

  private:
    std::vector<std::pair<std::string, std::string>> headers_;
    std::vector<std::uint8_t> body_;
    bool headersDone_ = false;
    bool bodyStarted_ = false;
    bool bodyTooLong_ = false;
};

}  // namespace net::http
