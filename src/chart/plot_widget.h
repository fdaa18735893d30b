#pragma once

// PlotWidget: the widget that owns a Plot and shows it (painted by plot_painter).

#include "chart/plot.h"
#include "chart/plot_painter.h"

#include <QWidget>

// The widget that shows a Plot. Every change of the model schedules one repaint through
// update(), so any number of changes within one event-loop turn cost one paint.
class PlotWidget : public QWidget {
    Q_OBJECT
public:
    explicit PlotWidget(QWidget* parent = nullptr);
    ~PlotWidget() override;

    Plot& plot() { return plot_; }
    const Plot& plot() const { return plot_; }

    // Number of paint events handled so far.
    int paint_count() const { return paint_count_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    Plot plot_;
    plot_painter painter_;
    int paint_count_ = 0;
};
