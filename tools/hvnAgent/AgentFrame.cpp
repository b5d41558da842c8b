#include "AgentFrame.h"

#include <optional>
#include <string_view>

#include "AnsiCodePage.h"

namespace hvn::agent {

namespace {

constexpr std::size_t kPrinterWidth = 64;
constexpr std::size_t kUserWidth = 32;
constexpr std::size_t kComputerWidth = 32;
constexpr std::size_t kCountWidth = 4;

// Right-aligned, zero-padded decimal of exactly `width` characters.
std::string number(const char *field, long long value, std::size_t width)
{
    std::string digits = std::to_string(value < 0 ? -value : value);
    const std::size_t signWidth = value < 0 ? 1 : 0;
    if (digits.size() + signWidth > width)
        throw FrameError(std::string(field) + " " + std::to_string(value) + " does not fit in " +
                         std::to_string(width) + " positions");
    return std::string(signWidth, '-') + std::string(width - signWidth - digits.size(), '0') + digits;
}

std::string text(const char *field, const std::string &value, std::size_t width)
{
    const std::optional<std::string> encoded = platform::utf8ToCp932(value);
    if (!encoded)
        throw FrameError(std::string(field) + " \"" + value +
                         "\" is not valid UTF-8 or holds a character that CP932 cannot represent");
    // Control bytes would be cut off by the receiver's trimming, or end the frame early
    // (STX, ETX) or the read (NUL). CP932 trail bytes are never below 0x40.
    for (const char c : *encoded) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            throw FrameError(std::string(field) + " \"" + value + "\" holds a control character");
    }
    if (encoded->size() > width)
        throw FrameError(std::string(field) + " \"" + value + "\" is " + std::to_string(encoded->size()) +
                         " bytes in CP932; the field holds " + std::to_string(width));
    return *encoded + std::string(width - encoded->size(), ' ');
}

} // namespace

std::string encodeFrame(const PrintJob &job)
{
    if (!job.time.isValid())
        throw FrameError("time is not a valid date and time");

    std::string frame;
    frame.reserve(kFrameSize);
    frame += kStx;
    frame += number("year", job.time.year, 4);
    frame += number("month", job.time.month, 2);
    frame += number("day", job.time.day, 2);
    frame += number("hour", job.time.hour, 2);
    frame += number("minute", job.time.minute, 2);
    frame += number("second", job.time.second, 2);
    frame += number("millisecond", job.time.msec, 4);
    frame += number("pages", job.pages, kCountWidth);
    frame += number("sides", job.sides, kCountWidth);
    frame += number("sheets", job.sheets, kCountWidth);
    frame += text("printer", job.printer, kPrinterWidth);
    frame += text("user", job.user, kUserWidth);
    frame += text("computer", job.computer, kComputerWidth);
    frame += kEtx;
    return frame;
}

} // namespace hvn::agent
