#include "UpDown.h"

#include <algorithm>

#include <QLineEdit>
#include <QToolButton>

namespace hvn::console {

UpDown::UpDown(QWidget *parent)
    : QWidget(parent)
    , m_up(new QToolButton(this))
    , m_down(new QToolButton(this))
{
    for (QToolButton *button : {m_up, m_down}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setIconSize(QSize(7, 7));
    }
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    m_up->setObjectName(QStringLiteral("up"));
    m_down->setObjectName(QStringLiteral("down"));
    connect(m_up, &QToolButton::clicked, this, [this] { click(Button::Up); });
    connect(m_down, &QToolButton::clicked, this, [this] { click(Button::Down); });
    resize(17, 22);
}

void UpDown::setRange(int minimum, int maximum)
{
    m_min = minimum;
    m_max = std::max(minimum, maximum);
    setPosition(m_position);
}

void UpDown::setPosition(int position)
{
    m_position = std::clamp(position, m_min, m_max);
    writeBuddy();
}

void UpDown::setBuddy(QLineEdit *buddy)
{
    m_buddy = buddy;
    writeBuddy();
}

void UpDown::click(Button button)
{
    if (m_buddy) {
        bool ok = false;
        const int typed = m_buddy->text().trimmed().toInt(&ok);
        if (ok)
            m_position = std::clamp(typed, m_min, m_max);
    }
    if (button == Button::Up)
        m_position = m_position < m_max ? m_position + 1 : (m_wrap ? m_min : m_max);
    else
        m_position = m_position > m_min ? m_position - 1 : (m_wrap ? m_max : m_min);
    writeBuddy();
    emit clicked(button);
}

void UpDown::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int upHeight = height() / 2;
    m_up->setGeometry(0, 0, width(), upHeight);
    m_down->setGeometry(0, upHeight, width(), height() - upHeight);
}

void UpDown::writeBuddy()
{
    if (m_buddy)
        m_buddy->setText(QString::number(m_position));
}

} // namespace hvn::console
