#include "net/curl/CurlShared.h"

#include <chrono>
#include <memory>
#include <vector>

namespace net::curl {

namespace {

using Clock = std::chrono::steady_clock;

struct ShareCleanup {
    // libcurl refuses, and keeps, a share handle that a handle still uses.
    void operator()(CURLSH* handle) const { curl_share_cleanup(handle); }
};
using ShareHandle = std::unique_ptr<CURLSH, ShareCleanup>;

ShareHandle NewShare() {
    ShareHandle share(curl_share_init());
    if (share) {
        curl_share_setopt(share.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
        curl_share_setopt(share.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
    }
    return share;
}

struct Process {
    Process() {
        if (GlobalInit() == CURLE_OK) {
            multi.reset(curl_multi_init());
        }
    }
    ~Process() {
        // A transfer still running at exit keeps its multi handle: freeing it under the transfer
        // would crash the exit.
        if (lent) {
            static_cast<void>(multi.release());
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // A resumed TLS session, like a reused connection, skips the check of the certificate
    // against today's store, so a new share handle replaces the one older than
    // kTrustStoreSeconds; the old one goes at once, or once no handle uses it any more.
    CURLSH* Share() {
        const Clock::time_point now = Clock::now();
        if (!share || now - shareMade >= std::chrono::seconds(kTrustStoreSeconds)) {
            if (share) {
                retired.push_back(std::move(share));
            }
            std::erase_if(retired, [](ShareHandle& old) {
                if (curl_share_cleanup(old.get()) != CURLSHE_OK) {
                    return false;
                }
                static_cast<void>(old.release());  // freed just now
                return true;
            });
            if (GlobalInit() == CURLE_OK) {
                share = NewShare();
            }
            shareMade = now;
        }
        return share.get();
    }

    std::vector<ShareHandle> retired;
    ShareHandle share;
    Clock::time_point shareMade{};
    MultiHandle multi;
    bool lent = false;
};

Process& TheProcess() {
    static Process process;
    return process;
}

}  // namespace

void JoinShared(CURL* handle) {
    // Without a share handle (memory ran out) every transfer starts afresh, as it always may.
    if (CURLSH* share = TheProcess().Share()) {
        SetOption(handle, CURLOPT_SHARE, share);
    }
}

TransferMulti::TransferMulti() {
    Process& process = TheProcess();
    if (process.multi && !process.lent) {
        process.lent = true;
        multi_ = process.multi.get();
    } else if (GlobalInit() == CURLE_OK) {
        own_.reset(curl_multi_init());
        multi_ = own_.get();
    }
}

TransferMulti::~TransferMulti() {
    if (!own_ && multi_ != nullptr) {
        TheProcess().lent = false;
    }
}

}  // namespace net::curl
