#pragma once

class QAbstractButton;
class QAction;

// Binds a button to an action: the button shows the action's caption and
// follows its visibility and enabled state, and a click triggers the action.
// The button keeps its own tooltip.
void bind_button(QAbstractButton* button, QAction* action);
