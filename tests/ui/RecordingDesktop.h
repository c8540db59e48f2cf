#pragma once

#include <QEvent>
#include <QMetaEnum>
#include <QStringList>
#include <QWidget>
#include <deque>
#include <vector>

#include "Desktop.h"

namespace kestrin::testing {

/// A Desktop that answers every dialog as told and writes down, in one log, each
/// dialog, each message box and each busy-state change of the window it watches,
/// so that a test can compare a whole dialogue with the user at once.
class RecordingDesktop : public QObject, public Desktop {
  public:
    std::deque<QString> files;  // what the next file dialogs return; "" is Cancel
    std::deque<QMessageBox::StandardButton> answers;  // to the next Yes/No questions
    QStringList log;
    std::vector<FileDialogRequest> dialogs;
    std::vector<QWidget*> owners;  // of every dialog and box, in order
    int endProgramCalls = 0;

    void Watch(QWidget* window) {
        window_ = window;
        window->installEventFilter(this);
    }

    QString ChooseFile(QWidget* owner, const FileDialogRequest& request) override {
        dialogs.push_back(request);
        owners.push_back(owner);
        return Next(files, QString(), "unexpected dialog");
    }

    QMessageBox::StandardButton ShowMessageBox(QWidget* owner,
                                               const MessageBoxRequest& request) override {
        owners.push_back(owner);
        log.append(QStringLiteral("%1 [%2; %3; default %4] %5")
                       .arg(request.title,
                            QMetaEnum::fromType<QMessageBox::Icon>().valueToKey(request.icon),
                            Buttons(request.buttons), Buttons(request.defaultButton),
                            request.text));
        if (!(request.buttons & QMessageBox::Yes)) return QMessageBox::Ok;
        return Next(answers, QMessageBox::No, "unexpected question");
    }

    void EndProgram() override { ++endProgramCalls; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != window_) return false;
        // Qt also sends CursorChange when the shape stays: only changes count.
        if (event->type() == QEvent::CursorChange && window_->cursor().shape() != cursor_) {
            cursor_ = window_->cursor().shape();
            log.append(cursor_ == Qt::WaitCursor ? "wait cursor" : "normal cursor");
        } else if (event->type() == QEvent::EnabledChange) {
            log.append(window_->isEnabled() ? "enabled" : "disabled");
        } else if (event->type() == QEvent::WindowStateChange) {
            log.append(window_->isMinimized() ? "minimized" : "restored");
        }
        return false;
    }

  private:
    static QString Buttons(QMessageBox::StandardButtons buttons) {
        const QMetaEnum keys = QMetaEnum::fromType<QMessageBox::StandardButtons>();
        QStringList names;
        for (int bit = 1; bit > 0 && bit <= int(buttons); bit <<= 1) {
            if (buttons & bit) names.append(keys.valueToKey(bit));
        }
        return names.join('|');
    }

    template <typename Answer>
    Answer Next(std::deque<Answer>& queue, Answer otherwise, const char* complaint) {
        if (queue.empty()) {
            log.append(complaint);
            return otherwise;
        }
        Answer answer = queue.front();
        queue.pop_front();
        return answer;
    }

    QWidget* window_ = nullptr;
    Qt::CursorShape cursor_ = Qt::ArrowCursor;
};

}  // namespace kestrin::testing
