#pragma once

#include <exception>

class QWidget;

namespace hvn::console {

// The console's one general error display: a message box with the error's own text,
// captioned with the application title. Every handler error and every exception that
// escapes the start or the event loop ends here. GUI thread only.
void showException(const std::exception &error, QWidget *parent = nullptr);

// Shows the exception being handled; call only inside a catch block.
void showCurrentException(QWidget *parent = nullptr);

// Runs a handler body and sends anything it throws to the error display. Guards declared
// inside the body have been unwound (lock given back, cursor restored) when the box shows.
template <typename Body>
void runReported(Body &&body, QWidget *parent = nullptr)
{
    try {
        body();
    } catch (...) {
        showCurrentException(parent);
    }
}

} // namespace hvn::console
