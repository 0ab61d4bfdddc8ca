#include "net/AjaxComm.h"

#include <memory>

#include "net/http/HttpRequest.h"
#include "platform/EventLoop.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace {

std::string BodyText(const AjaxBody& BodyData) {
    if (const auto* number = std::get_if<std::int32_t>(&BodyData)) {
        return std::to_string(*number);
    }
    if (const auto* text = std::get_if<std::string>(&BodyData)) {
        return *text;
    }
    if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&BodyData)) {
        return std::string(bytes->begin(), bytes->end());
    }
    return {};
}

// Only these content types, compared as a whole, hand the answer back as bytes; every other
// value (the listed text types, an empty one, any type with parameters) yields text.
bool IsBinaryContentType(const std::string& sHeader) {
    const std::string upper = platform::ToUpperAscii(sHeader);
    return upper == "STREAM/BINARY" || upper == "STREAM/BINARY; CHARSET=US-ASCII" ||
           upper == "STREAM/BINARY; CHARSET=UTF-8";
}

}  // namespace

void AjaxComm::Steps::Run(const std::function<void()>& action) {
    try {
        action();
    } catch (const platform::RuntimeError& error) {
        Fail(error.Description());
    } catch (const std::exception& error) {
        Fail(error.what());
    } catch (...) {
        Fail("");
    }
}

void AjaxComm::Steps::OnRequest(const std::unique_ptr<net::http::HttpRequest>& request,
                                const std::function<void(net::http::HttpRequest&)>& action) {
    Run([&] {
        if (!request) {
            throw platform::errors::ObjectVariableNotSetError();
        }
        action(*request);
    });
}

void AjaxComm::Steps::Fail(const std::string& reason) {
    if (!failed_) {
        reason_ = reason.empty() ? "unknown failure" : reason;
    }
    failed_ = true;
}

std::string AsText(const AjaxValue& vData) {
    if (const auto* text = std::get_if<std::string>(&vData)) {
        return *text;
    }
    if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&vData)) {
        return std::string(bytes->begin(), bytes->end());
    }
    return {};
}

void AjaxComm::Abort() {
    bAbort = true;
}

AjaxValue AjaxComm::SendData(std::string URL_Parameter, AjaxBody BodyData, std::string& sHeader) {
    sFailureReason.clear();
    lStatus = 0;
    Steps steps(sFailureReason);
    std::unique_ptr<net::http::HttpRequest> request;
    bAbort = false;
    steps.Run([&] { request = net::http::CreateHttpRequest(); });
    steps.OnRequest(request, [&](net::http::HttpRequest& r) {
        r.open(sSendMethod, sAddress + URL_Parameter, bAsynchronize, sUserName, sPassword);
    });
    steps.OnRequest(request, [&](net::http::HttpRequest& r) { r.setAddressFamily(family_); });
    steps.OnRequest(request, [&](net::http::HttpRequest& r) {
        r.setRequestHeader("Content-Type", sContentType);
    });
    steps.OnRequest(request, [&](net::http::HttpRequest& r) { r.send(BodyText(BodyData)); });

    AjaxValue result;
    if (WaitForAnswer(steps, request, sHeader)) {
        steps.OnRequest(request, [&](net::http::HttpRequest& r) {
            sHeader = r.getResponseHeader("Content-Type");
        });
        steps.OnRequest(request, [&](net::http::HttpRequest& r) { lStatus = r.status(); });
        bool binary = false;
        steps.Run([&] { binary = IsBinaryContentType(sHeader); });
        steps.OnRequest(request, [&](net::http::HttpRequest& r) {
            if (binary) {
                result = r.responseBody();
            } else {
                result = r.responseText();
            }
        });
    }

    steps.Run([&] {
        if (DataReceived) {
            DataReceived(result, sHeader);
        }
    });
    request.reset();
    if (!std::holds_alternative<std::monostate>(result)) {
        sFailureReason.clear();
    }
    return result;
}

bool AjaxComm::WaitForAnswer(Steps& steps, std::unique_ptr<net::http::HttpRequest>& request,
                             std::string& sHeader) {
    for (;;) {
        int state = net::http::HttpRequest::Uninitialized;
        steps.OnRequest(request, [&](net::http::HttpRequest& r) { state = r.readyState(); });
        // A completed exchange is read even when an earlier step failed.
        if (state == net::http::HttpRequest::Completed) {
            return true;
        }
        if (steps.Failed()) {
            return false;
        }
        if (bAbort) {
            steps.OnRequest(request, [](net::http::HttpRequest& r) { r.abort(); });
            steps.Run([&] { sHeader = "ABORT"; });
            bAbort = false;
            sFailureReason.clear();
            return false;
        }
        // Sleeps until the exchange moves or a signal waits; then the program's handlers run,
        // which is where Abort() can be called.
        steps.OnRequest(request, [](net::http::HttpRequest& r) { r.wait(); });
        steps.Run([] { platform::DoEvents(); });
    }
}
