#include "app/prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include <algorithm>
#include <deque>
#include <optional>

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

struct later_box {
    QString text, caption, detail;
    // The same failure again, whatever its detail (a path, the system's reason).
    bool operator==(const later_box& o) const { return text == o.text && caption == o.caption; }
};
std::deque<later_box> waiting;
std::optional<later_box> showing;
bool draining = false;

void show_waiting() {
    if (draining)
        return;
    draining = true;
    // A box asked for while one is open waits for it to close.
    while (!waiting.empty()) {
        showing = waiting.front();
        waiting.pop_front();
        current_prompts().message(showing->text, showing->caption, showing->detail);
        showing.reset();
    }
    draining = false;
}

} // namespace

prompts& system_prompts() {
    static real_prompts p;
    return p;
}

prompts& current_prompts() {
    return current ? *current : system_prompts();
}

void set_prompts(prompts* p) {
    current = p;
    waiting.clear();
}

void tell_later(const QString& text, const QString& caption, const QString& detail) {
    const later_box box{text, caption, detail};
    if (showing == box || std::find(waiting.begin(), waiting.end(), box) != waiting.end())
        return;
    waiting.push_back(box);
    if (waiting.size() == 1 && !draining)
        QMetaObject::invokeMethod(QCoreApplication::instance(), show_waiting, Qt::QueuedConnection);
}

} // namespace marev
