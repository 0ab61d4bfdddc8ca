#pragma once

#include <curl/curl.h>

#include "net/curl/Curl.h"

/// What outlives one transfer, like the one global initialisation: the TLS sessions and idle
/// connections of earlier transfers, and the multi handle that keeps the parsed trust store.
/// Created on first use and released at exit; the program's one thread is their only user.
namespace net::curl {

/// Lets `handle` resume the TLS sessions of earlier transfers and reuse their idle connections
/// (each only with the same host, port and TLS settings).
void JoinShared(CURL* handle);

/// The multi handle that one transfer object runs its transfers in while this object lives: the
/// process's own, which keeps the parsed trust store between transfers, or, when that one is
/// lent already (a transfer started from a handler that runs while another waits), one of its own.
class TransferMulti {
  public:
    TransferMulti();
    ~TransferMulti();
    TransferMulti(const TransferMulti&) = delete;
    TransferMulti& operator=(const TransferMulti&) = delete;

    /// nullptr when memory ran out.
    CURLM* get() const { return multi_; }

  private:
    CURLM* multi_ = nullptr;
    MultiHandle own_;
};

}  // namespace net::curl
