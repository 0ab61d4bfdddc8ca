#include "net/http/HttpResponse.h"

#include "platform/Text.h"

namespace net::http {

void HttpResponse::HeaderLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    if (bodyStarted_) {
        // Trailers of a chunked body: no response follows one whose body was handed on, so not
        // even a line that looks like a status line starts a new one.
    } else if (line.starts_with("HTTP/")) {
        // A new response (after a redirect, a challenge or "100 Continue"): only the final one
        // counts.
        headers_.clear();
        body_.clear();
        headersDone_ = false;
    } else if (line.empty()) {
        headersDone_ = true;
    } else if (headersDone_) {
        // Trailers of an empty chunked body are not headers of the response either.
    } else if ((line.front() == ' ' || line.front() == '\t') && !headers_.empty()) {
        headers_.back().second += " " + std::string(platform::TrimBlanks(line));
    } else if (auto colon = line.find(':'); colon != line.npos) {
        headers_.emplace_back(std::string(line.substr(0, colon)),
                              std::string(platform::TrimBlanks(line.substr(colon + 1))));
    }
}

bool HttpResponse::BodyPiece(std::string_view data, std::size_t maxBody) {
    // The length header may be missing or lie; the limit holds for what really arrives.
    if (data.size() > maxBody - body_.size()) {
        bodyTooLong_ = true;
        return false;
    }
    body_.insert(body_.end(), data.begin(), data.end());
    bodyStarted_ = true;
    return true;
}

void HttpResponse::Clear() {
    headers_.clear();
    body_.clear();
    headersDone_ = false;
    bodyStarted_ = false;
    bodyTooLong_ = false;
}

std::string HttpResponse::Header(const std::string& name) const {
    std::string joined;
    for (const auto& [known, value] : headers_) {
        if (platform::EqualsIgnoringCase(known, name)) {
            joined += joined.empty() ? value : ", " + value;
        }
    }
    return joined;
}

}  // namespace net::http
