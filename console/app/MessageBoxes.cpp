#include "MessageBoxes.h"

#include <utility>

namespace hvn::console {

namespace {

MessageBoxes::Handler &installedHandler()
{
    static MessageBoxes::Handler handler;
    return handler;
}

} // namespace

QMessageBox::StandardButton MessageBoxes::show(const MessageRequest &request)
{
    if (const Handler &handler = installedHandler())
        return handler(request);
    QMessageBox box(request.icon, request.caption, request.text, request.buttons, request.parent);
    if (request.defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(request.defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

MessageBoxes::Handler MessageBoxes::setHandler(Handler handler)
{
    return std::exchange(installedHandler(), std::move(handler));
}

void MessageBoxes::warning(QWidget *parent, const QString &caption, const QString &text)
{
    show({parent, caption, text, QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok});
}

void MessageBoxes::error(QWidget *parent, const QString &caption, const QString &text)
{
    show({parent, caption, text, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok});
}

ScopedMessageHandler::ScopedMessageHandler(MessageBoxes::Handler handler)
    : m_previous(MessageBoxes::setHandler(std::move(handler)))
{
}

ScopedMessageHandler::~ScopedMessageHandler()
{
    MessageBoxes::setHandler(std::move(m_previous));
}

} // namespace hvn::console
