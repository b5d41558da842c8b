#pragma once

#include <chrono>
#include <optional>

#include <QObject>
#include <QPointer>
#include <QTimer>

#include "data/ReadSnapshot.h"
#include "lock/WaitCursor.h"

class QStatusBar;
class QWidget;

namespace hvn::console {

class TDbGridModel;
class TQuery;

// The print-record tab's load of a period of any size. The query has been opened with
// openStream() on the read snapshot, which this object keeps (the database lock has gone
// back already): its rows come in slices of a few milliseconds, one slice per turn of the
// event loop, and reach the view as inserted rows (the first slice at once, then a few times a
// second), so the first rows show right away and the window repaints and scrolls meanwhile;
// the status bar counts the rows so far. Meanwhile the
// busy cursor shows and the button that started the load stays disabled.
//
// The load ends when the last row is in, when a slice fails (the engine's text reaches the
// error display and the query closes), or when the object is destroyed, which cancels it:
// the statement and the snapshot end, the button and the cursor come back. Rows fetched
// before a cancel stay in the query. The query, the model, the button and the status bar
// must outlive it. GUI thread only.
class RecordLoad : public QObject {
    Q_OBJECT
public:
    RecordLoad(TQuery &query, TDbGridModel &model, ReadSnapshot snapshot, QWidget *button, QStatusBar *status,
               QWidget *errorParent);
    ~RecordLoad() override;

    bool running() const { return m_snapshot.has_value(); }

signals:
    // Every row is in, or a failure ended the load; not on a cancel.
    void finished();

private:
    void fetchSlice();
    void end();

    TQuery &m_query;
    TDbGridModel &m_model;
    QPointer<QWidget> m_button;
    QStatusBar *m_status;
    QWidget *m_errorParent;
    std::optional<WaitCursor> m_cursor;
    std::optional<ReadSnapshot> m_snapshot;
    QTimer m_slices;
    std::chrono::steady_clock::time_point m_shownAt{}; // the view's last news of rows
};

} // namespace hvn::console
