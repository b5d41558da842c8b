#include "mainform/RecordLoad.h"

#include <chrono>
#include <exception>
#include <utility>

#include <QStatusBar>
#include <QWidget>

#include "app/ErrorDisplay.h"
#include "data/DbGridModel.h"
#include "data/Query.h"

namespace hvn::console {

namespace {

// One slice's time on the GUI thread: short enough to keep scrolling and painting smooth.
constexpr std::chrono::milliseconds kSliceTime{15};
// Rows between two looks at the clock.
constexpr int kRowsPerStep = 256;
// The view learns of new rows at most this often, or when they have grown by a quarter: each
// insertion costs the view time in proportion to the rows it holds, so a fixed rhythm would
// make a load of millions quadratic.
constexpr std::chrono::milliseconds kShowEvery{250};
constexpr int kGrowthShare = 4;

QString loadingText(int rows)
{
    return QStringLiteral("印刷データを読込み中… %L1 件").arg(rows);
}

} // namespace

RecordLoad::RecordLoad(TQuery &query, TDbGridModel &model, ReadSnapshot snapshot, QWidget *button,
                       QStatusBar *status, QWidget *errorParent)
    : m_query(query)
    , m_model(model)
    , m_button(button)
    , m_status(status)
    , m_errorParent(errorParent)
    , m_cursor(std::in_place, Qt::BusyCursor)
    , m_snapshot(std::move(snapshot))
{
    if (m_button)
        m_button->setEnabled(false);
    m_slices.setInterval(0);
    connect(&m_slices, &QTimer::timeout, this, &RecordLoad::fetchSlice);
    fetchSlice();
    if (running())
        m_slices.start();
}

RecordLoad::~RecordLoad()
{
    if (!running())
        return;
    const int rows = m_query.rowCount();
    end();
    m_status->showMessage(QStringLiteral("印刷データの読込みを中断しました (%L1 件)").arg(rows));
}

void RecordLoad::fetchSlice()
{
    if (!running())
        return;
    try {
        const auto deadline = std::chrono::steady_clock::now() + kSliceTime;
        bool done = false;
        while (!done && std::chrono::steady_clock::now() < deadline)
            done = m_query.fetch(kRowsPerStep);
        const int fetched = m_query.rowCount();
        if (!done) {
            if (m_model.rowCount() == 0 || fetched - m_model.rowCount() >= m_model.rowCount() / kGrowthShare
                || std::chrono::steady_clock::now() - m_shownAt >= kShowEvery) {
                m_model.showFetchedRows();
                m_shownAt = std::chrono::steady_clock::now();
                m_status->showMessage(loadingText(fetched));
            }
            return;
        }
        m_model.showFetchedRows();
        end();
        m_status->clearMessage();
    } catch (const std::exception &error) {
        m_model.refresh();
        end();
        m_status->clearMessage();
        showException(error, m_errorParent);
    }
    emit finished();
}

void RecordLoad::end()
{
    m_slices.stop();
    // The statement is finished before its transaction ends.
    m_query.endFetch();
    m_snapshot.reset();
    if (m_button)
        m_button->setEnabled(true);
    m_cursor.reset();
}

} // namespace hvn::console
