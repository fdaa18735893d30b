#pragma once

class QAbstractButton;
class QAction;
class QLabel;
class QPushButton;
class QString;
class QWidget;

// Controls made with the objectName the program's texts give them, so that
// tests and people find them by it. A label may go without a name.
QLabel* make_label(const char* name, const QString& text, QWidget* parent);
QPushButton* make_button(const char* name, const QString& caption, QWidget* parent);
// An action of owner's, reachable by its shortcut while owner is active.
QAction* make_action(QWidget* owner, const char* name, const QString& caption, bool enabled = true);

// Binds a button to an action: the button shows the action's caption and
// follows its visibility and enabled state, and a click triggers the action.
// The button keeps its own tooltip.
void bind_button(QAbstractButton* button, QAction* action);
