#pragma once

#include <QSpinBox>

#include <functional>

class QLineEdit;

// The COM port chooser: up-down arrows bound to an edit box. Typing changes
// the position only; clicks on the arrows (and the arrow keys, which step the
// same way) also call on_click, which stores the port. The mouse wheel and
// PageUp/PageDown do nothing here: a wheel turned to scroll the panel must not
// change the port. The tooltip names the device that the number opens on this
// system.
class port_chooser : public QSpinBox {
public:
    explicit port_chooser(QWidget* parent = nullptr);

    QLineEdit* edit() const { return lineEdit(); }
    std::function<void()> on_click;

    void stepBy(int steps) override;
    // "COM4 opens /dev/ttyS3" for the current position.
    QString device_text() const;

protected:
    bool event(QEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
};
