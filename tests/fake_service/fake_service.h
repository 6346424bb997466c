// FakeService: a local stand-in for the audiobook service, for tests, the demo and benchmarks.
// It binds 127.0.0.1 only and speaks HTTP/1.1 with keep-alive, written by hand on the socket
// so that headers arrive and leave byte for byte as given (order and spelling included).
//
// Endpoints (every answer counts in /stats under its path, query excluded):
//   GET|POST /book/<id>              UTF-8 HTML book page holding, once each:
//       var totalCount='<total>',page=0,pageSize=10;   <h1 class="nowrap"><name><i class="d-status"
//       </span><a class="author"><author></a></li>     class="g-user"><narrator></a>
//     an unknown id gets a 200 page without them.
//   POST|GET /ajax/book/<id>/<page>/<size>   {"status":"success","data":{"data":[{"resId":N,
//       "resName":"..."}]}}, page 0-based, every non-ASCII character as &#xhhhh; (UTF-16 units,
//       so beyond the BMP a surrogate pair of two references); [] past the end.
//   GET /ajax/path/4/<id>/<resId>
//   {"status":"success","data":"http://127.0.0.1:PORT/audio/<id>/<resId>.mp3"}
//       knob lookup=nodata: no "data" member; lookup=html: an HTML error page (200);
//       unknown chapter: {"status":"failed"}.
//   GET|HEAD /audio/<id>/<resId>.mp3  audioBytes(id, resId, size); Range "bytes=a-b", "a-", "-n"
//       → 206 + Content-Range (416 when unsatisfiable); Accept-Ranges, Content-Length.
//   ANY /echo                 body: request line CR LF, each header line as received CR LF, CR LF,
//                             then the request body. text/plain.
//   ANY /set-cookie?line=L&line=L...   each L (percent-decoded) written verbatim as a header line.
//   ANY /stall?seconds=S      answers "late" after S seconds (fractions allowed).
//   ANY /status/<code>        that status, body "status <code>\n".
//   ANY /redirect/<n>         302 to /redirect/<n-1>; /redirect/0 answers "arrived". /loop: 302 to
//   itself. GET /stats {"requests":{path:n},"ranges":{path:n},"connections":{path:n},
//   "accepted":n,"proxyAuthorizations":[...]}; "connections" counts the distinct connections
//   that asked for a path, "accepted" every connection so far (numbered 1, 2, ... in order).
//   absolute-form target ("GET http://host/x HTTP/1.1"): forward-proxy mode, records the
//       Proxy-Authorization value ("" when absent) in proxyAuthorizations and answers like /echo.
//
// Audio knobs: in the data file as "knobs" of a book (all its chapters) or a chapter (wins), and
// as query parameters of the audio URL (win over both), e.g.
// /audio/7/70001.mp3?rate=65536&fault=503
//   size=N          file size (default: the chapter's)
//   rate=B          bytes per second for this connection's answers (token bucket, 64 KB burst,
//                   kept across the answers of one kept-alive connection)
//   latency=MS      delay before the first byte of the answer
//   stragglerEvery=E, stragglerIndex=I, stragglerRate=B   connections whose number n has
//                   n % E == I (e.g. 10 and 7: the 7th, 17th, ...) get rate B instead
//   fault=403|404|500|503  answer that status with an HTML page; retryAfter=S adds Retry-After;
//                   faultCount=N: only the first N requests for this exact URL fail
//   errorPage=1     200 text/html error page instead of audio
//   closeAfter=N    close the connection after N body bytes; closeMode=once: only on the first
//                   request for this exact URL (path + query), later ones complete;
//                   closeMode=firstRange: only on the first ranged answer for it
//   noLength=1      no Content-Length; the body ends when the connection closes
//   ignoreRange=1   200 and the whole file even when a Range was asked
//   badRange=1      206 whose Content-Range start is off by 1000 from what was served
//   redirects=N     302 chains: N hops, each to the same URL with redirects=N-1
//   redirectLoop=1  302 to itself forever
//   stall=S, stallAfter=N   pause S seconds after N body bytes (default 0) of each answer
//   length=T        "Content-Length: T" whatever T is (too large, too small, -5, abc, 2^40);
//                   the real body follows and the connection closes
//   drop=1          close the connection at once, without an answer; dropCount=N: only the
//                   first N requests for this exact URL
//   dropIdle=1      a whole keep-alive answer, then the connection closes anyway
//   chaos=P, seed=N a deterministic P % of audio requests and lookups fail (500, 503 with
//                   Retry-After 1, 404, dropped, closed after a third, an HTML page; a lookup
//                   gets lookup=html), drawn from seed, target, Range and the times asked before
// Book knobs for its pages: pagePadding=N (N bytes of comment in the book page), badUtf8=1
// (invalid UTF-8 after the book's name), listPadding=N (an N-byte member in each chapter page),
// listShape=resIdString|resIdNull|dataObject|dataNull (wrong JSON types in the chapter pages).
// "First request for this exact URL" is per service instance; add e.g. &run=<unique> for a
// fresh count when a service is shared.
//
// Data file (tests/data/books.json): {"books":[{"id":N,"name":"..","author":"..","narrator":"..",
//   "total":N (announced; default the number of chapters), "size":B (default 307200),
//   "knobs":{..} (a book's "pageLatency":MS also delays its book page, chapter pages and
//   lookups), and either "chapters":[{"resId":N,"name":"..","size":B,"knobs":{..}}]
//   or "chapterCount":N,"firstResId":N (default id*1000+1),"namePattern":"第{n}集"}]}
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio_bytes.h"
#include "catalogue.h"

namespace zelbrin::fake_service {

class FakeService {
public:
    explicit FakeService(Catalogue catalogue = {});
    ~FakeService();  // stops
    FakeService(const FakeService&) = delete;
    FakeService& operator=(const FakeService&) = delete;

    // Binds 127.0.0.1:port (0: the system picks) and serves on a thread of its own.
    bool start(int port = 0);
    int port() const;
    std::string baseUrl() const;  // "http://127.0.0.1:PORT"
    // Closes every connection and joins every thread. Safe to call twice.
    void stop();

    std::string statsJson() const;
    int requestCount(const std::string& path) const;
    int rangeCount(const std::string& path) const;
    // How many connections asked for `path` at least once.
    int connectionCount(const std::string& path) const;
    // Appends one line per answered request to the file at `path` (created anew):
    // "<began> <ended> <connection> <method> <target>", times in seconds since the start.
    bool logRequestsTo(const std::string& path);
    std::vector<std::string> proxyAuthorizations() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zelbrin::fake_service
