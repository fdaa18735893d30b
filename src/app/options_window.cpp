#include "app/options_window.h"

#include "app/application.h"
#include "app/main_window.h"
#include "app/windows.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TF_Options::TF_Options(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("F_Options");
    setWindowTitle("Options");

    auto* panel = new QFrame(this);
    panel->setObjectName("Panel1");
    panel->setFrameShape(QFrame::StyledPanel);
    Panel1 = panel;

    Label1 = new QLabel("Files:", panel);
    Label1->setObjectName("Label1");
    {
        QFont f = Label1->font();
        f.setBold(true);
        Label1->setFont(f);
    }
    Label2 = new QLabel("File format:  You can either save the output as raw data, or with the "
                        "computer timestamp and a few of the extra fields clipped out.",
                        panel);
    Label2->setObjectName("Label2");
    Label2->setWordWrap(true);
    // Neither is marked until the first activation marks the stored choice.
    RadioButton1 = new QRadioButton("Raw data", panel);
    RadioButton1->setObjectName("RadioButton1");
    RadioButton2 = new QRadioButton("Raw data with time stamps", panel);
    RadioButton2->setObjectName("RadioButton2");
    connect(RadioButton1, &QRadioButton::clicked, this,
            [this] { marev::guarded([this] { RadioButton1Click(); }); });
    connect(RadioButton2, &QRadioButton::clicked, this,
            [this] { marev::guarded([this] { RadioButton2Click(); }); });

    Button1 = new QPushButton("Okay", this);
    Button1->setObjectName("Button1");
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

    auto* inner = new QVBoxLayout(panel);
    inner->setContentsMargins(12, 10, 12, 12);
    inner->setSpacing(6);
    inner->addWidget(Label1);
    inner->addWidget(Label2);
    inner->addSpacing(4);
    auto* choices = new QVBoxLayout;
    choices->setContentsMargins(16, 0, 0, 0);
    choices->addWidget(RadioButton1);
    choices->addWidget(RadioButton2);
    inner->addLayout(choices);
    inner->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(8, 8, 8, 8);
    outer->addWidget(panel, 1);
    outer->addLayout(buttons);

    resize(426, 223);
}

void TF_Options::FormActivate() {
    const bool stamped = F_Main->settings.include_time;
    QRadioButton* mark = stamped ? RadioButton2 : RadioButton1;
    if (mark->isChecked())
        return;
    mark->setChecked(true);
    choose(stamped);
}

void TF_Options::RadioButton1Click() {
    choose(false);
}

void TF_Options::RadioButton2Click() {
    choose(true);
}

void TF_Options::Button1Click() {
    hide();
}

void TF_Options::choose(bool include_time) {
    F_Main->set_include_time(include_time);
}

void TF_Options::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}
