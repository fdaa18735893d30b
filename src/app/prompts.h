#pragma once

#include <QEventLoop>
#include <QString>
#include <QTimer>

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
// Boxes still waiting to be shown (tell_later) are dropped.
void set_prompts(prompts* p);

// Shows a message box from the event loop once the handler that asks for it
// has returned. Qt does not fire a timer again while its handler runs, so a
// box opened inside a tick would stop that timer until someone clicks OK.
// Boxes come one at a time, in order; one with the text and caption of a box
// still waiting or open is dropped, so that a failure that repeats while
// nobody is there does not pile them up.
void tell_later(const QString& text, const QString& caption, const QString& detail = {});

// Records every call and answers the choosers from queues (cancel when a
// queue is empty). A message box closes at once, or with open_ms set stays
// open that long while a nested event loop runs, as under a real modal box.
class fake_prompts : public prompts {
public:
    struct shown_message {
        QString text, caption, detail;
    };

    void message(const QString& text, const QString& caption, const QString& detail) override {
        messages.push_back({text, caption, detail});
        if (open_ms <= 0)
            return;
        ++open_boxes;
        QEventLoop loop;
        QTimer::singleShot(open_ms, &loop, &QEventLoop::quit);
        loop.exec();
        --open_boxes;
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

    // How long each message box stays open, in milliseconds.
    int open_ms = 0;
    // Message boxes open now.
    int open_boxes = 0;
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
