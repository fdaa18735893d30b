#include "app/prompts.h"

#include "link/event_log.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace marev {
namespace {

class real_prompts : public prompts {
public:
    void message(const QString& text, const QString& caption, const QString& detail) override {
        QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, parent());
        if (!detail.isEmpty())
            box.setDetailedText(detail);
        box.exec();
    }
    void about(const QString& title, const QString& text) override {
        QMessageBox::about(parent(), title, text);
    }
    std::optional<QString> save_file(const QString& default_name) override {
        const QString path = QFileDialog::getSaveFileName(parent(), QString(), default_name);
        return answer(path);
    }
    std::optional<QString> open_file() override {
        return answer(QFileDialog::getOpenFileName(parent()));
    }
    std::optional<QString> choose_folder(const QString& title) override {
        return answer(QFileDialog::getExistingDirectory(parent(), title, QString(),
                                                        QFileDialog::ShowDirsOnly));
    }

private:
    static QWidget* parent() { return QApplication::activeWindow(); }
    static std::optional<QString> answer(const QString& path) {
        if (path.isEmpty())
            return std::nullopt;
        return path;
    }
};

prompts* current = nullptr;

// Every box the program shows is also told to the event log, so that an
// error met while nobody watched is found afterwards.
class logged_prompts : public prompts {
public:
    void message(const QString& text, const QString& caption, const QString& detail) override {
        QString line = caption + ": " + text;
        if (!detail.isEmpty())
            line += " (" + detail + ")";
        log_event(line.simplified().toStdString());
        target().message(text, caption, detail);
    }
    std::optional<QString> save_file(const QString& default_name) override {
        return target().save_file(default_name);
    }
    void about(const QString& title, const QString& text) override { target().about(title, text); }
    std::optional<QString> open_file() override { return target().open_file(); }
    std::optional<QString> choose_folder(const QString& title) override {
        return target().choose_folder(title);
    }

private:
    static prompts& target() { return current ? *current : system_prompts(); }
};

} // namespace

prompts& system_prompts() {
    static real_prompts p;
    return p;
}

prompts& current_prompts() {
    static logged_prompts logged;
    return logged;
}

void set_prompts(prompts* p) {
    current = p;
}

} // namespace marev
