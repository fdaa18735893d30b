#include "app/port_chooser.h"

#include "link/port_names.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolTip>
#include <QWheelEvent>

port_chooser::port_chooser(QWidget* parent) : QSpinBox(parent) {
    setRange(1, 100);
    setAlignment(Qt::AlignRight);
    setToolTip(device_text());
    connect(this, &QSpinBox::valueChanged, this, [this] { setToolTip(device_text()); });
}

void port_chooser::stepBy(int steps) {
    QSpinBox::stepBy(steps);
    if (on_click)
        on_click();
}

QString port_chooser::device_text() const {
    const std::string name = "COM" + std::to_string(value());
    return QStringLiteral("%1 opens %2")
        .arg(QString::fromStdString(name), QString::fromStdString(port_device(name)));
}

bool port_chooser::event(QEvent* e) {
    // The port folder's links may have changed since the number did.
    if (e->type() == QEvent::ToolTip) {
        setToolTip(device_text());
        QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), toolTip(), this);
        return true;
    }
    return QSpinBox::event(e);
}

void port_chooser::wheelEvent(QWheelEvent* e) {
    // Left to the panel behind.
    e->ignore();
}

void port_chooser::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_PageUp || e->key() == Qt::Key_PageDown) {
        e->ignore();
        return;
    }
    QSpinBox::keyPressEvent(e);
}
