#pragma once

#include "lock/DatabaseLock.h"
#include "lock/WaitCursor.h"

class QWidget;

namespace hvn::console {

class TMainForm;

// The bracket around every database operation a console handler starts: the hourglass
// cursor, the starting button disabled, tab changes refused (AllowPageChange false), then
// the database lock (which a reader gives back early through readSnapshot()). Destruction undoes it in reverse, whatever happened in between: the
// lock is given back, the button enabled, AllowPageChange set true and the cursor restored.
// An exception from the work passes on to the caller's error display after all of that.
// The button may be null; it must outlive the bracket. GUI thread only.
class BusyBracket {
public:
    BusyBracket(TMainForm &form, QWidget *button);
    ~BusyBracket() = default;
    BusyBracket(const BusyBracket &) = delete;
    BusyBracket &operator=(const BusyBracket &) = delete;

    bool granted() const { return m_lock.granted(); }
    // The read snapshot of DatabaseLock::readSnapshot(): the lock goes back, the cursor, the
    // button and the tabs stay busy until the bracket ends.
    ReadSnapshot readSnapshot(TDbConnection &conn) { return m_lock.readSnapshot(conn); }

private:
    class DisabledWidget {
    public:
        explicit DisabledWidget(QWidget *widget);
        ~DisabledWidget();

    private:
        QWidget *m_widget;
    };
    class PageChangeBlock {
    public:
        explicit PageChangeBlock(TMainForm &form);
        ~PageChangeBlock();

    private:
        TMainForm &m_form;
    };

    WaitCursor m_cursor;
    DisabledWidget m_button;
    PageChangeBlock m_pages;
    DatabaseLock m_lock;
};

} // namespace hvn::console
