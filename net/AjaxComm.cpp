#include "net/AjaxComm.h"

#include <memory>
#include <stdexcept>

#include "platform/EventLoop.h"
#include "platform/HttpRequest.h"
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
    AjaxValue result;
    bool failed = false;
    sFailureReason.clear();
    // Continue on failure: a failing step is abandoned and noted, and the next one runs, so
    // that nothing reaches the caller but an empty result. The first failure is the cause.
    auto fail = [&](const std::string& reason) {
        if (!failed) {
            sFailureReason = reason.empty() ? "unknown failure" : reason;
        }
        failed = true;
    };
    auto step = [&](auto&& action) {
        try {
            action();
        } catch (const platform::RuntimeError& error) {
            fail(error.Description());
        } catch (const std::exception& error) {
            fail(error.what());
        } catch (...) {
            fail("");
        }
    };
    std::unique_ptr<platform::HttpRequest> request;
    auto onRequest = [&](auto&& action) {
        step([&] {
            if (!request) {
                throw std::logic_error("no request object");
            }
            action(*request);
        });
    };

    bAbort = false;
    step([&] {
        request = requestFactory_ ? requestFactory_() : platform::CreateHttpRequest();
        if (!request) {
            throw platform::errors::CannotCreateObjectError("HTTP request object");
        }
    });
    onRequest([&](platform::HttpRequest& r) {
        r.open(sSendMethod, sAddress + URL_Parameter, bAsynchronize, sUserName, sPassword);
    });
    onRequest([&](platform::HttpRequest& r) { r.setRequestHeader("Content-Type", sContentType); });
    onRequest([&](platform::HttpRequest& r) { r.send(BodyText(BodyData)); });

    bool completed = false;
    for (;;) {
        int state = platform::HttpRequest::Uninitialized;
        onRequest([&](platform::HttpRequest& r) { state = r.readyState(); });
        // A completed exchange is read even when an earlier step failed.
        if (state == platform::HttpRequest::Completed) {
            completed = true;
            break;
        }
        if (failed) {
            break;
        }
        if (bAbort) {
            onRequest([](platform::HttpRequest& r) { r.abort(); });
            step([&] { sHeader = "ABORT"; });
            bAbort = false;
            sFailureReason.clear();
            break;
        }
        // Sleeps until the exchange moves or a signal waits; then the program's handlers run,
        // which is where Abort() can be called.
        onRequest([](platform::HttpRequest& r) { r.wait(); });
        step([] { platform::DoEvents(); });
    }

    if (completed) {
        onRequest([&](platform::HttpRequest& r) { sHeader = r.getResponseHeader("Content-Type"); });
        bool binary = false;
        step([&] { binary = IsBinaryContentType(sHeader); });
        if (binary) {
            onRequest([&](platform::HttpRequest& r) { result = r.responseBody(); });
        } else {
            onRequest([&](platform::HttpRequest& r) { result = r.responseText(); });
        }
    }

    step([&] {
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
