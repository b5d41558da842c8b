#include "lock/DatabaseLock.h"

#include "mainform/Mainform.h"

namespace hvn::console {

DatabaseLock::DatabaseLock(TMainForm &form)
    : m_form(form)
    , m_granted(form.SocketMutexOn())
{
}

DatabaseLock::~DatabaseLock()
{
    if (m_granted)
        m_form.SocketMutexOff();
}

} // namespace hvn::console
