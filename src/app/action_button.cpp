#include "app/action_button.h"

#include <QAbstractButton>
#include <QAction>

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
