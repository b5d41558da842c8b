#include "AnsiCodePage.h"

#include <cerrno>
#include <stdexcept>

#include <iconv.h>

namespace hvn::platform {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD in UTF-8

class Converter {
public:
    Converter(const char *to, const char *from) : m_cd(::iconv_open(to, from))
    {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
    }
    ~Converter() { ::iconv_close(m_cd); }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    // Converts as much of in as possible into out. Returns the errno that stopped it, 0 when done.
    int convert(std::string_view &in, std::string &out)
    {
        ::iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char buffer[1024];
        char *src = const_cast<char *>(in.data());
        std::size_t srcLeft = in.size();
        int stop = 0;
        while (srcLeft > 0) {
            char *dst = buffer;
            std::size_t dstLeft = sizeof buffer;
            const std::size_t rc = ::iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
                stop = errno;
                break;
            }
        }
        in.remove_prefix(in.size() - srcLeft);
        return stop;
    }

private:
    iconv_t m_cd;
};

} // namespace

std::string cp932ToUtf8(std::string_view bytes)
{
    thread_local Converter decoder("UTF-8", "CP932");
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    while (!bytes.empty()) {
        if (decoder.convert(bytes, out) == 0)
            break;
        // An invalid or truncated sequence: one replacement character for its first byte.
        out.append(kReplacement);
        bytes.remove_prefix(1);
    }
    return out;
}

std::optional<std::string> utf8ToCp932(std::string_view text)
{
    thread_local Converter encoder("CP932", "UTF-8");
    std::string out;
    if (encoder.convert(text, out) != 0)
        return std::nullopt;
    return out;
}

} // namespace hvn::platform
