#include "chart/plot_widget.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

PlotWidget::PlotWidget(QWidget* parent) : QWidget(parent) {
    // The paint covers every pixel, so Qt need not clear the background first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    plot_.set_change_hook([this] { update(); });
}

PlotWidget::~PlotWidget() {
    plot_.set_change_hook(nullptr);
}

QSize PlotWidget::sizeHint() const {
    return {480, 320};
}
QSize PlotWidget::minimumSizeHint() const {
    return {160, 100};
}

void PlotWidget::paintEvent(QPaintEvent*) {
    ++paint_count_;
    QPainter painter(this);
    painter_.paint(painter, rect(), plot_, font());
}

void PlotWidget::resizeEvent(QResizeEvent* event) {
    // The marker allowance of the next point depends on the axis lengths, so they follow
    // the size at once rather than at the next paint.
    const plot_layout lay = plot_painter::layout(plot_, rect(), font());
    plot_.SetPlotArea(lay.plot_area.width(), lay.plot_area.height());
    QWidget::resizeEvent(event);
}
