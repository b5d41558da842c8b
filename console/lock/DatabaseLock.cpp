#include "lock/DatabaseLock.h"

#include <utility>

#include "mainform/Mainform.h"

namespace hvn::console {

namespace {

bool takeLock(TMainForm &form)
{
    form.endRecordLoad();
    return form.SocketMutexOn();
}

} // namespace

DatabaseLock::DatabaseLock(TMainForm &form)
    : m_form(form)
    , m_granted(takeLock(form))
    , m_held(m_granted)
{
}

DatabaseLock::~DatabaseLock()
{
    release();
}

ReadSnapshot DatabaseLock::readSnapshot(TDbConnection &conn)
{
    ReadSnapshot snapshot(conn);
    release();
    return snapshot;
}

void DatabaseLock::release()
{
    if (m_held)
        m_form.SocketMutexOff();
    m_held = false;
}

} // namespace hvn::console
