// Owners of libcurl's handles, and its one-time set-up, for the curl backends.
#pragma once

#include <curl/curl.h>

#include <memory>

namespace zelbrin {

struct CurlEasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, CurlEasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, CurlListDeleter>;

// A new easy handle, or none. curl_global_init is not thread-safe, so the first call runs it
// under a function-local static before any handle exists.
inline EasyHandle newEasyHandle() {
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return EasyHandle(ready ? curl_easy_init() : nullptr);
}

}  // namespace zelbrin
