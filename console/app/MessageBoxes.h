#pragma once

#include <functional>

#include <QMessageBox>
#include <QString>

class QWidget;

namespace hvn::console {

// One message box, as the console asks for it.
struct MessageRequest {
    QWidget *parent = nullptr;
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// The one seam through which every message box of the console is shown. By default it runs
// a modal QMessageBox. Tests install a handler that records the request and answers it; the
// installed program never installs one, so only a person answers its boxes. GUI thread only.
class MessageBoxes {
public:
    using Handler = std::function<QMessageBox::StandardButton(const MessageRequest &)>;

    static QMessageBox::StandardButton show(const MessageRequest &request);

    // Installs a handler (an empty one restores the real boxes); returns the previous one.
    static Handler setHandler(Handler handler);

    static void warning(QWidget *parent, const QString &caption, const QString &text);
    static void error(QWidget *parent, const QString &caption, const QString &text);
};

// Installs a handler for the lifetime of the object and puts the previous one back.
class ScopedMessageHandler {
public:
    explicit ScopedMessageHandler(MessageBoxes::Handler handler);
    ~ScopedMessageHandler();
    ScopedMessageHandler(const ScopedMessageHandler &) = delete;
    ScopedMessageHandler &operator=(const ScopedMessageHandler &) = delete;

private:
    MessageBoxes::Handler m_previous;
};

} // namespace hvn::console
