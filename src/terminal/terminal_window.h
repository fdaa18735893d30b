#pragma once

#include <QString>
#include <QWidget>

#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

// "Raw Output": every good data line as it arrives, and an entry box whose
// characters go to the instrument the moment they are typed, never echoed.
class TF_Terminal : public QWidget {
public:
    // The output keeps the latest this many lines, so that a week of
    // connection does not hold a week of text. Older lines go in batches:
    // the output may hold up to trim_batch more before they do.
    static constexpr int max_lines = 20000;
    static constexpr int trim_batch = 2000;

    explicit TF_Terminal(QWidget* parent = nullptr);

    // One good data line, as received without its newline. Lines are
    // gathered and put into the output once per fast tick (flush()).
    void add_line(const std::string& text);
    void flush();
    // Empties the output (a recording starts).
    void clear_output();
    // The connection opened or closed: typing reaches the instrument only
    // while it is open.
    void connection_changed(bool open);

    void E_SendChange();
    void E_SendKeyPress(char key);

    QPlainTextEdit* M_Output;
    QLineEdit* E_Send;
    QLabel* Label1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The cursor at the start of the last line, scrolled to it.
    void show_last_line();
    // Drops the oldest lines once there are trim_batch more than max_lines.
    void trim();

    QString pending_;
    int pending_count_ = 0;
};
