#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace hvn::console {

// An up-down control: an up and a down button over an integer position within a range.
// A click moves the position by one (wrapping to the other end when wrap is on, staying at
// the end otherwise) and then emits clicked() naming the button, also when the position
// could not move. setPosition() clamps to the range. With a buddy edit box, the position is
// written into the box after every move and read back from it (when it holds an integer)
// before each click. GUI thread only.
class UpDown : public QWidget {
    Q_OBJECT
public:
    enum class Button { Up, Down };
    Q_ENUM(Button)

    explicit UpDown(QWidget *parent = nullptr);

    int minimum() const { return m_min; }
    int maximum() const { return m_max; }
    void setRange(int minimum, int maximum);
    int position() const { return m_position; }
    void setPosition(int position);
    bool wrap() const { return m_wrap; }
    void setWrap(bool wrap) { m_wrap = wrap; }
    void setBuddy(QLineEdit *buddy);

    // Acts as a click on the given button.
    void click(Button button);

    QToolButton *upButton() const { return m_up; }
    QToolButton *downButton() const { return m_down; }

signals:
    void clicked(hvn::console::UpDown::Button button);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void writeBuddy();

    QToolButton *m_up;
    QToolButton *m_down;
    QLineEdit *m_buddy = nullptr;
    int m_min = 0;
    int m_max = 100;
    int m_position = 0;
    bool m_wrap = false;
};

} // namespace hvn::console
