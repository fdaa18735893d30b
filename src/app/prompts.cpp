#include "app/prompts.h"

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
}

} // namespace marev
