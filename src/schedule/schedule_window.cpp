#include "schedule/schedule_window.h"

TF_Schedule::TF_Schedule(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("F_Schedule");
    setWindowTitle("Set Schedule");
    resize(269, 359);
}
