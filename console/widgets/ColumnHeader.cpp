#include "widgets/ColumnHeader.h"

#include <cstdlib>

#include <QMouseEvent>
#include <QStyle>

namespace hvn::console {

ColumnHeader::ColumnHeader(QWidget *parent)
    : QHeaderView(Qt::Horizontal, parent)
{
    setHighlightSections(false);
    setSectionsClickable(false);
    setMinimumSectionSize(0);
    setMouseTracking(true);
}

ColumnHeader::Boundary ColumnHeader::zeroWidthBoundaryAt(int x) const
{
    const int grip = style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, this);
    Boundary found;
    for (int visual = 0; visual < count(); ++visual) {
        const int logical = logicalIndex(visual);
        if (isSectionHidden(logical))
            continue;
        const int start = sectionViewportPosition(logical);
        if (sectionSize(logical) == 0) {
            if (found.opening < 0 && std::abs(x - start) <= grip && sectionResizeMode(logical) == Interactive) {
                found.position = start;
                found.opening = logical;
            }
        } else if (found.opening >= 0) {
            break;
        } else if (start + sectionSize(logical) <= x + grip) {
            found.narrowing = logical;
        }
    }
    if (found.opening < 0)
        return {};
    if (found.narrowing >= 0
        && sectionViewportPosition(found.narrowing) + sectionSize(found.narrowing) != found.position)
        found.narrowing = -1;
    return found;
}

void ColumnHeader::setSplitCursor(bool on)
{
    if (on == m_splitCursor)
        return;
    m_splitCursor = on;
    if (on)
        viewport()->setCursor(Qt::SplitHCursor);
    else
        viewport()->unsetCursor();
}

void ColumnHeader::mousePressEvent(QMouseEvent *event)
{
    const int x = event->position().toPoint().x();
    const Boundary boundary = event->button() == Qt::LeftButton ? zeroWidthBoundaryAt(x) : Boundary{};
    if (boundary.opening < 0) {
        QHeaderView::mousePressEvent(event);
        return;
    }
    m_drag = boundary;
    m_pressX = x;
    m_narrowingStartWidth = boundary.narrowing >= 0 ? sectionSize(boundary.narrowing) : 0;
    m_dragging = true;
    event->accept();
}

void ColumnHeader::mouseMoveEvent(QMouseEvent *event)
{
    const int x = event->position().toPoint().x();
    if (m_dragging) {
        const int delta = x - m_pressX;
        if (delta >= 0) {
            if (m_drag.narrowing >= 0)
                resizeSection(m_drag.narrowing, m_narrowingStartWidth);
            resizeSection(m_drag.opening, delta);
        } else {
            resizeSection(m_drag.opening, 0);
            if (m_drag.narrowing >= 0)
                resizeSection(m_drag.narrowing, std::max(0, m_narrowingStartWidth + delta));
        }
        event->accept();
        return;
    }
    if (event->buttons() == Qt::NoButton && zeroWidthBoundaryAt(x).opening >= 0) {
        setSplitCursor(true);
        event->accept();
        return;
    }
    setSplitCursor(false);
    QHeaderView::mouseMoveEvent(event);
}

void ColumnHeader::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_dragging) {
        QHeaderView::mouseReleaseEvent(event);
        return;
    }
    m_dragging = false;
    m_drag = {};
    event->accept();
}

} // namespace hvn::console
