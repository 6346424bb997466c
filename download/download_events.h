// Event codes the engine raises through TaskParam::eventCallback, and how a task ended.
#pragma once

#include "text/text.h"

namespace zelbrin {

inline constexpr int kEventSizeKnown = 3;    // value: size; before any kEventWritten
inline constexpr int kEventTaskEnded = 4;    // value: size (0, -1, or bytes when stopped);
                                             // value2: a DownloadOutcome
inline constexpr int kEventWritten = 16;     // value: bytes of the block just written
inline constexpr int kEventFileExists = 18;  // value: existing size, value2: download size

// Answers to kEventFileExists.
inline constexpr int kAnswerNewName = 0;
inline constexpr int kAnswerGiveUp = 1;
inline constexpr int kAnswerOverwrite = 2;

// The second value of kEventTaskEnded: 0 only when every byte was written and the length
// verified, so a caller can tell success from failure.
enum class DownloadOutcome : int {
    complete = 0,
    httpStatus = 1,      // the server answered with an unusable status
    connection = 2,      // no connection, or it broke and the retries ran out
    timeout = 3,         // no data within the receive time-out, retries ran out
    fileError = 4,       // the file could not be created, written or renamed
    stopped = 5,         // the Download was destroyed during the transfer
    lengthMismatch = 6,  // no usable length, or the bytes on disk do not add up to it
    notSupported = 7,    // a scheme the engine accepts but does not transfer
    fileExists = 8,      // the caller chose not to replace an existing file
};

Text toText(DownloadOutcome outcome);

}  // namespace zelbrin
