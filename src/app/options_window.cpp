#include "app/options_window.h"

TF_Options::TF_Options(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("F_Options");
    setWindowTitle("Options");
    resize(426, 223);
}
