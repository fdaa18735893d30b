#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

// A state picture drawn in code: a rounded plate in one colour (or a gradient
// from the first to the second colour, for a banner) with white bold words.
class badge : public QWidget {
public:
    badge(const QString& words, QColor from, QColor to, QWidget* parent = nullptr);

    const QString& words() const { return words_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString words_;
    QColor from_, to_;
};
