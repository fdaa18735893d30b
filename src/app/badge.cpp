#include "app/badge.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

badge::badge(const QString& words, QColor from, QColor to, QWidget* parent)
    : QWidget(parent), words_(words), from_(from), to_(to) {
    QFont f = font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.1);
    setFont(f);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAccessibleName(words);
}

QSize badge::sizeHint() const {
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(words_) + 2 * fm.height(), fm.height() * 2};
}

void badge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal radius = std::min(r.height() / 2, 9.0);

    // The plate: its colour (or the banner's sweep) with a lighter top half,
    // so that it reads as a lit indicator rather than a flat box.
    QLinearGradient sweep(r.topLeft(), r.topRight());
    sweep.setColorAt(0, from_);
    sweep.setColorAt(1, to_);
    QPainterPath plate;
    plate.addRoundedRect(r, radius, radius);
    p.fillPath(plate, sweep);
    QLinearGradient gloss(r.topLeft(), r.bottomLeft());
    gloss.setColorAt(0, QColor(255, 255, 255, 70));
    gloss.setColorAt(0.5, QColor(255, 255, 255, 10));
    gloss.setColorAt(1, QColor(0, 0, 0, 40));
    p.fillPath(plate, gloss);
    p.setPen(QPen(from_.darker(150), 1));
    p.drawPath(plate);

    // A small lamp to the left of the words; the words shrink to fit a
    // narrow plate rather than being cut.
    const qreal lamp = r.height() * 0.28;
    const qreal gap = lamp * 0.9;
    QFont f = font();
    const qreal room = r.width() - radius - lamp * 2 - gap;
    while (QFontMetricsF(f).horizontalAdvance(words_) > room && f.pointSizeF() > 6)
        f.setPointSizeF(f.pointSizeF() - 0.5);
    p.setFont(f);
    const QFontMetricsF fm(f);
    const qreal text_w = fm.horizontalAdvance(words_);
    const qreal total = lamp * 2 + gap + text_w;
    qreal x = r.center().x() - total / 2;
    if (x < r.left() + radius / 2)
        x = r.left() + radius / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 230));
    p.drawEllipse(QPointF(x + lamp, r.center().y()), lamp, lamp);

    p.setPen(QColor(0, 0, 0, 90));
    const QRectF text_r(x + lamp * 2 + gap, r.top(), text_w + 2, r.height());
    p.drawText(text_r.translated(0, 1), Qt::AlignVCenter | Qt::AlignLeft, words_);
    p.setPen(Qt::white);
    p.drawText(text_r, Qt::AlignVCenter | Qt::AlignLeft, words_);
}
