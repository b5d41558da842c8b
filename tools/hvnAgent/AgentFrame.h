#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

#include "DbDateTime.h"

namespace hvn::agent {

// One print job as an agent reports it. Texts are UTF-8; the frame carries them in CP932.
struct PrintJob {
    DbDateTime time;
    std::string user;
    std::string printer;
    std::string computer;
    int pages = 0;
    int sides = 0;
    int sheets = 0;
};

// A value that the frame cannot carry. what() names the field and the reason.
class FrameError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr std::size_t kFrameSize = 160;
inline constexpr char kStx = '\x02';
inline constexpr char kEtx = '\x03';

// Lays the job out as one print-record frame: STX, the 158-byte body, ETX. Numbers are
// right-aligned and zero-padded (a negative count as "-" and zero-padded digits); texts are
// CP932, left-aligned and blank-padded. Throws FrameError when the time is not a valid
// date and time, a count does not fit its four positions (-999 to 9999), or a text holds a
// control character, a character CP932 cannot represent, or more bytes than its field.
std::string encodeFrame(const PrintJob &job);

} // namespace hvn::agent
