#include "marker_reference.h"

#include "chart/plot_map.h"
#include "chart/plot_painter.h"

#include <QFont>
#include <QRect>

#include <cmath>

QImage every_marker_by_hand(Plot& plot, PlotChannel& c, QSize size) {
    c.SetVisible(false);
    QImage image = render_plot(plot, size);
    c.SetVisible(true);
    const QRect area = plot_painter::layout(plot, QRect(QPoint(0, 0), size), QFont()).plot_area;
    const PlotAxis& x_axis = plot.GetXAxis(0);
    const PlotAxis& y_axis = plot.GetYAxis(0);
    const plot_map xm(x_axis, area.width()), ym(y_axis, area.height());
    const int w = area.width(), h = area.height(), r = c.MarkersSize();
    const QRgb color = c.Color().rgb();
    for (int i = 0; i < c.PointCount(); ++i) {
        if (!(c.PointX(i) >= x_axis.Min() && c.PointX(i) <= x_axis.Max()))
            continue;
        const double fx = xm.offset_of(c.PointX(i));
        // Y as the channel stores it: in float log10 form on a log axis.
        const double fy = ym.offset(ym.log() ? c.y_log10()[i] : c.PointY(i));
        if (!(fx >= -0.5 && fx < w - 0.5 && fy >= -0.5 && fy < h - 0.5))
            continue;
        const int cx = static_cast<int>(fx + 0.5), cy = h - 1 - static_cast<int>(fy + 0.5);
        for (int dy = -r; dy <= r; ++dy) {
            const int half = static_cast<int>(std::sqrt((r + 0.5) * (r + 0.5) - dy * dy));
            for (int dx = -half; dx <= half; ++dx)
                if (cx + dx >= 0 && cx + dx < w && cy + dy >= 0 && cy + dy < h)
                    image.setPixel(area.left() + cx + dx, area.top() + cy + dy, color);
        }
    }
    return image;
}
