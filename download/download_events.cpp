#include "download/download_events.h"

namespace zelbrin {

Text toText(DownloadOutcome outcome) {
    switch (outcome) {
        case DownloadOutcome::complete:
            return "complete";
        case DownloadOutcome::httpStatus:
            return "HTTP error status";
        case DownloadOutcome::connection:
            return "connection failed";
        case DownloadOutcome::timeout:
            return "timed out";
        case DownloadOutcome::fileError:
            return "file could not be written";
        case DownloadOutcome::stopped:
            return "stopped";
        case DownloadOutcome::lengthMismatch:
            return "length mismatch";
        case DownloadOutcome::notSupported:
            return "not supported";
        case DownloadOutcome::fileExists:
            return "file exists";
    }
    return "unknown";
}

}  // namespace zelbrin
