#include "app/widgets.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

QLabel* make_label(const char* name, const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    if (name)
        l->setObjectName(name);
    return l;
}

QPushButton* make_button(const char* name, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}

QAction* make_action(QWidget* owner, const char* name, const QString& caption, bool enabled) {
    auto* a = new QAction(caption, owner);
    a->setObjectName(name);
    a->setEnabled(enabled);
    owner->addAction(a);
    return a;
}

void bind_button(QAbstractButton* button, QAction* action) {
    const auto sync = [button, action] {
        button->setText(action->text());
        button->setEnabled(action->isEnabled());
        button->setVisible(action->isVisible());
    };
    sync();
    QObject::connect(action, &QAction::changed, button, sync);
    QObject::connect(button, &QAbstractButton::clicked, action, [action] { action->trigger(); });
}
