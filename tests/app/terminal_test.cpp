#include "windows_fixture.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace {

using terminal = instrument_test;

QStringList output_lines() {
    const QString text = F_Terminal->M_Output->toPlainText();
    return text.isEmpty() ? QStringList() : text.split('\n');
}

QString shown_text(const std::string& line) {
    return QString::fromStdString(line).chopped(1); // without its carriage return
}

TEST_F(terminal, typed_characters_go_out_at_once_and_are_never_echoed) {
    connect_and_sync();
    QLineEdit* box = F_Terminal->E_Send;
    for (const char* c : {"a", "b", "c"}) {
        QTest::keyClicks(box, c);
        EXPECT_EQ(inst.received(), c);
        EXPECT_EQ(box->text(), "");
    }
    // Backspace and Delete in the empty box send nothing.
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClick(box, Qt::Key_Delete);
    EXPECT_EQ(inst.received(), "");
    // A paste goes out whole, in order.
    box->insert("L1\rM");
    EXPECT_EQ(inst.received(), "L1\rM");
    EXPECT_EQ(box->text(), "");
    EXPECT_TRUE(output_lines().isEmpty());
}

TEST_F(terminal, a_character_goes_out_as_its_latin1_byte_or_not_at_all) {
    connect_and_sync();
    // Latin-1 letters, a euro sign and an emoji (outside Latin-1), a NBSP.
    F_Terminal->E_Send->insert(QString::fromUtf8("a\xc3\xa9\xc3\xbf\xe2\x82\xac"
                                                 "b\xf0\x9f\x98\x80\xc2\xa0"
                                                 "c"));
    EXPECT_EQ(inst.received(), "a\xe9\xff"
                               "b\xa0"
                               "c");
    // Typed on a keyboard that has the key.
    QKeyEvent e_acute(QEvent::KeyPress, Qt::Key_Eacute, Qt::NoModifier, QString(QChar(0xe9)));
    QCoreApplication::sendEvent(F_Terminal->E_Send, &e_acute);
    EXPECT_EQ(inst.received(), "\xe9");
}

TEST_F(terminal, enter_sends_exactly_one_carriage_return) {
    connect_and_sync();
    QTest::keyClick(F_Terminal->E_Send, Qt::Key_Return);
    EXPECT_EQ(inst.received(), "\r");
    QTest::keyClick(F_Terminal->E_Send, Qt::Key_Enter);
    EXPECT_EQ(inst.received(), "\r");
}

TEST_F(terminal, lists_good_lines_and_not_bad_ones) {
    connect_and_sync();
    std::vector<std::string> g;
    for (int i = 0; i < 4; ++i)
        g.push_back(data_line({.ave_bl = double(i), .pump = 1, .pmt = 5, .count = double(i)}));
    show(g[0]);
    // The bad line and the one after it (used to find the stream again) are
    // not listed; out of step, the reader takes the third at the fourth's end.
    inst.send("QELM7,broken\r\n" + g[1] + "\n" + g[2] + "\n");
    show(g[3]);
    EXPECT_EQ(output_lines(), QStringList({shown_text(g[0]), shown_text(g[2])}));

    // After a disconnect the lines stay and the box is closed; a new
    // connection adds below them.
    F_Main->A_Connect->trigger();
    EXPECT_FALSE(F_Terminal->E_Send->isEnabled());
    EXPECT_EQ(output_lines().size(), 2);
    qelm_reader::set_synced(false);
    connect_and_sync();
    show(g[1]);
    EXPECT_EQ(output_lines(), QStringList({shown_text(g[0]), shown_text(g[2]), shown_text(g[1])}));

    // A recording starts from an empty list.
    F_Main->ShowRecordingState(true);
    EXPECT_TRUE(output_lines().isEmpty());
    show(g[3]);
    EXPECT_EQ(output_lines(), QStringList({shown_text(g[3])}));
}

using terminal_bound = windows_test;

TEST_F(terminal_bound, keeps_the_latest_lines_and_shows_the_last_from_its_start) {
    create_windows();
    // Old lines go a batch at a time: up to trim_batch more may wait their turn.
    const int full = TF_Terminal::max_lines + TF_Terminal::trim_batch - 1;
    for (int i = 0; i < full; ++i)
        F_Terminal->add_line("line " + std::to_string(i) + "\r");
    F_Terminal->flush();
    EXPECT_EQ(output_lines().size(), full);
    // Hidden, nothing is laid out: layouts of every line held would cost
    // several times the text itself.
    const QTextDocument* doc = F_Terminal->M_Output->document();
    for (int b : {0, full / 2, full - 1})
        EXPECT_EQ(doc->findBlockByNumber(b).layout()->lineCount(), 0) << b;

    // One more line, and a batch goes; dropping it lays out no line either.
    const int n = full + 1;
    F_Terminal->add_line("line " + std::to_string(full) + "\r");
    F_Terminal->flush();
    const QStringList lines = output_lines();
    ASSERT_EQ(lines.size(), TF_Terminal::max_lines);
    EXPECT_EQ(lines.front(), "line " + QString::number(n - TF_Terminal::max_lines));
    EXPECT_EQ(lines.back(), "line " + QString::number(n - 1));
    for (int b : {0, TF_Terminal::max_lines / 2})
        EXPECT_EQ(doc->findBlockByNumber(b).layout()->lineCount(), 0) << b;

    // Filled while hidden, then shown: the last line, from its start.
    F_Terminal->add_line(std::string(3000, '7') + "\r");
    F_Terminal->flush();
    F_Terminal->show();
    QCoreApplication::processEvents();
    F_Terminal->add_line("one more\r");
    F_Terminal->flush();
    QCoreApplication::processEvents();
    const QScrollBar* down = F_Terminal->M_Output->verticalScrollBar();
    EXPECT_EQ(down->value(), down->maximum());
    const QScrollBar* side = F_Terminal->M_Output->horizontalScrollBar();
    EXPECT_GT(side->maximum(), 0);
    EXPECT_EQ(side->value(), 0);
}

} // namespace
