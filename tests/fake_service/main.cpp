// fake-service [--port N] [--data FILE] [--log FILE]: serves until SIGINT or SIGTERM. The first line of
// output names the address, so scripts can start it with --port 0 and read where it listens.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fake_service.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void onSignal(int) { stopRequested = 1; }

}  // namespace

int main(int argc, char** argv) {
    int port = 0;
    std::string data;
    std::string log;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
            port = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc) {
            data = argv[++i];
        } else if (std::strcmp(argv[i], "--log") == 0 && i + 1 < argc) {
            log = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: fake-service [--port N] [--data books.json] [--log FILE]\n");
            return 2;
        }
    }
    zelbrin::fake_service::Catalogue catalogue;
    if (!data.empty()) {
        auto loaded = zelbrin::fake_service::loadCatalogue(data);
        if (!loaded) {
            std::fprintf(stderr, "fake-service: cannot read %s\n", data.c_str());
            return 1;
        }
        catalogue = std::move(*loaded);
    }
    zelbrin::fake_service::FakeService service(std::move(catalogue));
    if (!log.empty() && !service.logRequestsTo(log)) {
        std::fprintf(stderr, "fake-service: cannot write %s\n", log.c_str());
        return 1;
    }
    if (!service.start(port)) {
        std::fprintf(stderr, "fake-service: cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::printf("listening on %s\n", service.baseUrl().c_str());
    std::fflush(stdout);
    while (!stopRequested) {
        struct timespec tick {
            0, 100'000'000
        };
        nanosleep(&tick, nullptr);
    }
    service.stop();
    return 0;
}
