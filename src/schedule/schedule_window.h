#pragma once

#include <QWidget>

// "Set Schedule": a run of timed record samples.
class TF_Schedule : public QWidget {
public:
    explicit TF_Schedule(QWidget* parent = nullptr);
};
