#include "terminal/terminal_window.h"

#include "app/application.h"
#include "app/main_window.h"
#include "app/windows.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

TF_Terminal::TF_Terminal(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("F_Terminal");
    setWindowTitle("Raw Output");
    resize(823, 641);

    M_Output = new QPlainTextEdit(this);
    M_Output->setObjectName("M_Output");
    M_Output->setReadOnly(true);
    M_Output->setLineWrapMode(QPlainTextEdit::NoWrap);
    M_Output->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    M_Output->setUndoRedoEnabled(false);
    M_Output->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    M_Output->setMinimumHeight(200);

    E_Send = new QLineEdit(this);
    E_Send->setObjectName("E_Send");
    E_Send->setFixedWidth(338);
    E_Send->setEnabled(false);
    E_Send->installEventFilter(this);
    connect(E_Send, &QLineEdit::textChanged, this,
            [this] { marev::guarded([this] { E_SendChange(); }); });

    Label1 = new QLabel("Type in this box to send commands to QELM.  Commands will not be echoed.",
                        this);
    Label1->setObjectName("Label1");

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(E_Send);
    bottom->addWidget(Label1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(M_Output, 1);
    layout->addLayout(bottom);

    setTabOrder(E_Send, M_Output);
}

void TF_Terminal::add_line(const std::string& text) {
    // The carriage return that ends the instrument's lines is no part of
    // what the output shows, and a control byte inside a line must not break
    // it in two: one data line is one text line.
    std::string_view line = text;
    while (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (pending_count_ > 0)
        pending_ += QChar('\n');
    const qsizetype start = pending_.size();
    pending_ += QString::fromLatin1(line.data(), qsizetype(line.size()));
    for (qsizetype i = start; i < pending_.size(); ++i)
        if (pending_[i].unicode() < 0x20 && pending_[i] != QChar('\t'))
            pending_[i] = QChar(' ');
    ++pending_count_;
    // A backlog longer than the output could hold would only be cut again.
    if (pending_count_ >= 2 * max_lines)
        flush();
}

void TF_Terminal::flush() {
    if (pending_count_ == 0)
        return;
    // Hidden, the lines are only appended: moving the cursor or the scroll
    // bar of a hidden text box lays out every line it holds and keeps those
    // layouts, several times the text's own memory. Showing the window goes
    // to the end (showEvent).
    const bool shown = M_Output->isVisible();
    // Follow the end only while the user has not scrolled away from it, and
    // keep the sideways position: lines are read from their start.
    QScrollBar* bar = M_Output->verticalScrollBar();
    QScrollBar* side = M_Output->horizontalScrollBar();
    const bool at_end = bar->value() == bar->maximum();
    const int across = side->value();
    M_Output->appendPlainText(pending_);
    pending_.clear();
    pending_count_ = 0;
    trim();
    if (!shown)
        return;
    if (at_end)
        show_last_line();
    side->setValue(across);
}

void TF_Terminal::trim() {
    // The text box's own bound drops one line for each line added once it
    // is full, which costs more than the line itself; a batch at a time
    // costs a fraction of that. A cursor of the document's own is used, in
    // an edit block so that it lays out no line: the text box's cursor must
    // not move while it is hidden.
    QTextDocument* doc = M_Output->document();
    const int excess = doc->blockCount() - max_lines;
    if (excess < trim_batch)
        return;
    QTextCursor c(doc);
    c.beginEditBlock();
    c.movePosition(QTextCursor::Start);
    c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, excess);
    c.removeSelectedText();
    c.endEditBlock();
}

void TF_Terminal::show_last_line() {
    QTextCursor c = M_Output->textCursor();
    c.movePosition(QTextCursor::End);
    c.movePosition(QTextCursor::StartOfBlock);
    M_Output->setTextCursor(c);
    QScrollBar* bar = M_Output->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void TF_Terminal::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    flush();
    show_last_line();
    M_Output->horizontalScrollBar()->setValue(0);
}

void TF_Terminal::clear_output() {
    pending_.clear();
    pending_count_ = 0;
    M_Output->clear();
}

void TF_Terminal::connection_changed(bool open) {
    E_Send->setEnabled(open);
}

void TF_Terminal::E_SendChange() {
    // The instrument takes single bytes: a character of Latin-1 goes out as
    // its one byte, and one outside Latin-1 has no byte to go out as.
    const QString text = E_Send->text();
    std::string bytes;
    bytes.reserve(std::size_t(text.size()));
    for (const QChar c : text)
        if (c.unicode() <= 0xff)
            bytes += char(c.unicode());
    if (F_Main && F_Main->reader)
        F_Main->reader->send_text(bytes);
    // Emptying the box changes its text once more; that call sends nothing.
    E_Send->setText(QString());
}

void TF_Terminal::E_SendKeyPress(char key) {
    if (key != '\r')
        return;
    if (F_Main && F_Main->reader)
        F_Main->reader->send_text("\r");
    E_Send->setText(QString());
}

bool TF_Terminal::eventFilter(QObject* watched, QEvent* event) {
    if (watched == E_Send && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            E_SendKeyPress('\r');
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
