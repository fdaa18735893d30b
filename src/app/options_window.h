#pragma once

#include <QWidget>

// "Options": the format of record files.
class TF_Options : public QWidget {
public:
    explicit TF_Options(QWidget* parent = nullptr);
};
