#include "lock/BusyBracket.h"

#include <QWidget>

#include "mainform/Mainform.h"

namespace hvn::console {

BusyBracket::BusyBracket(TMainForm &form, QWidget *button)
    : m_button(button)
    , m_pages(form)
    , m_lock(form)
{
}

BusyBracket::DisabledWidget::DisabledWidget(QWidget *widget)
    : m_widget(widget)
{
    if (m_widget)
        m_widget->setEnabled(false);
}

BusyBracket::DisabledWidget::~DisabledWidget()
{
    if (m_widget)
        m_widget->setEnabled(true);
}

BusyBracket::PageChangeBlock::PageChangeBlock(TMainForm &form)
    : m_form(form)
{
    m_form.AllowPageChange = false;
}

BusyBracket::PageChangeBlock::~PageChangeBlock()
{
    m_form.AllowPageChange = true;
}

} // namespace hvn::console
