#include "UniqueFd.h"

#include <unistd.h>

namespace hvn::platform {

void UniqueFd::reset(int fd) noexcept
{
    const int old = std::exchange(m_fd, fd);
    if (old >= 0)
        ::close(old);
}

} // namespace hvn::platform
