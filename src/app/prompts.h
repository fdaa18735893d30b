#pragma once

#include <QString>

#include <deque>
#include <optional>
#include <vector>

namespace marev {

// Everything that waits for the user: message boxes and file choosers. The
// program asks through current_prompts(), so tests put a fake in its place and
// never meet a modal dialog.
class prompts {
public:
    virtual ~prompts() = default;
    // A message box with the text, the caption and an OK button; detail, when
    // not empty, goes to the box's detail area (the system's reason, a device).
    virtual void message(const QString& text, const QString& caption,
                         const QString& detail = {}) = 0;
    // The save dialog, with default_name as the offered file name; it asks
    // before overwriting. Nothing when the user cancels.
    virtual std::optional<QString> save_file(const QString& default_name) = 0;
    // An information box about the program (title, rich text, the program's icon).
    virtual void about(const QString& title, const QString& text) { message(text, title); }
    virtual std::optional<QString> open_file() = 0;
    virtual std::optional<QString> choose_folder(const QString& title) = 0;
};

// QMessageBox and QFileDialog, parented to the active window.
prompts& system_prompts();
prompts& current_prompts();
// Makes p the prompts the program uses; nullptr puts the real ones back.
void set_prompts(prompts* p);

// Records every call and answers the choosers from queues (cancel when a
// queue is empty); never blocks.
class fake_prompts : public prompts {
public:
    struct shown_message {
        QString text, caption, detail;
    };

    void message(const QString& text, const QString& caption, const QString& detail) override {
        messages.push_back({text, caption, detail});
    }
    void about(const QString& title, const QString& text) override {
        abouts.push_back({text, title, {}});
    }
    std::optional<QString> save_file(const QString& default_name) override {
        save_requests.push_back(default_name);
        return take(save_answers);
    }
    std::optional<QString> open_file() override {
        ++open_requests;
        return take(open_answers);
    }
    std::optional<QString> choose_folder(const QString& title) override {
        folder_requests.push_back(title);
        return take(folder_answers);
    }

    std::vector<shown_message> messages;
    std::vector<shown_message> abouts;
    std::vector<QString> save_requests; // the default names offered
    int open_requests = 0;
    std::vector<QString> folder_requests; // the titles
    std::deque<std::optional<QString>> save_answers, open_answers, folder_answers;

private:
    static std::optional<QString> take(std::deque<std::optional<QString>>& q) {
        std::optional<QString> a;
        if (!q.empty()) {
            a.swap(q.front());
            q.pop_front();
        }
        return a;
    }
};

} // namespace marev
