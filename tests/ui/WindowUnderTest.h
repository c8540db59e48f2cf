#pragma once

#include <QAbstractButton>
#include <QAction>
#include <QDropEvent>
#include <QFile>
#include <QMetaEnum>
#include <QMimeData>
#include <QTest>
#include <functional>

#include "Desktop.h"
#include "PathLabel.h"
#include "frmKestrin.h"

namespace kestrin::testing {

/// A Desktop that answers every dialog as told and writes down, in one log, each
/// message box and each change of the window's busy state and title, so that a
/// test compares a whole dialogue with the user at once.
class RecordingDesktop : public QObject, public Desktop {
  public:
    explicit RecordingDesktop(Grouping remembered) : remembered(remembered) {}

    QStringList files;  // what the next file dialogs return; "" is Cancel
    QMessageBox::StandardButton answer = QMessageBox::No;  // to every Yes/No question
    QStringList log;
    QWidget* window = nullptr;         // the owner every dialog must have
    Grouping remembered;               // the Options menu's choice, kept
    std::function<void()> onQuestion;  // done before a Yes/No question is answered

    QString ChooseFile(QWidget*, const FileDialogRequest&) override {
        return files.empty() ? "unexpected dialog" : files.takeFirst();
    }

    // Logged as "title [icon; buttons; default button] text".
    QMessageBox::StandardButton ShowMessageBox(QWidget* owner,
                                               const MessageBoxRequest& r) override {
        const QMetaEnum buttons = QMetaEnum::fromType<QMessageBox::StandardButtons>();
        log.append(QStringLiteral("%1 [%2; %3; default %4]%5 %6")
                       .arg(r.title, QMetaEnum::fromType<QMessageBox::Icon>().valueToKey(r.icon),
                            buttons.valueToKeys(r.buttons).replace("|FirstButton", ""),
                            buttons.valueToKey(r.defaultButton), Stray(owner), r.text));
        if (!(r.buttons & QMessageBox::Yes)) return QMessageBox::Ok;
        if (onQuestion) onQuestion();
        return answer;
    }

    void EndProgram() override { log.append("end program"); }
    Grouping RememberedGrouping() override { return remembered; }
    void RememberGrouping(Grouping grouping) override {
        log.append(QStringLiteral("remember ") + EntryName(grouping));
        remembered = grouping;
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != window) return false;
        // Qt also sends CursorChange when the shape stays: only changes count.
        if (event->type() == QEvent::CursorChange && window->cursor().shape() != cursor_) {
            cursor_ = window->cursor().shape();
            log.append(cursor_ == Qt::WaitCursor ? "wait cursor" : "normal cursor");
        } else if (event->type() == QEvent::EnabledChange) {
            log.append(window->isEnabled() ? "enabled" : "disabled");
        } else if (event->type() == QEvent::WindowStateChange && !window->isEnabled()) {
            // The window minimizes and comes back while disabled; the window system's
            // late word of a state the window has already left is no change of its.
            log.append(window->isMinimized() ? "minimized" : "restored");
        } else if (event->type() == QEvent::WindowTitleChange) {
            log.append("title " + window->windowTitle());
        }
        return false;
    }

  private:
    QString Stray(QWidget* owner) const { return owner == window ? "" : " (not the window's)"; }

    Qt::CursorShape cursor_ = Qt::ArrowCursor;
};

/// A shown window on a recording desktop, with the moves a user makes on it.
struct WindowUnderTest {
    RecordingDesktop desktop;
    frmKestrin window{desktop};

    /// The window as a start finds it when the Options menu's choice kept was
    /// `remembered`.
    explicit WindowUnderTest(Grouping remembered = Grouping::Url) : desktop(remembered) {
        desktop.window = &window;
        window.installEventFilter(&desktop);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window)) qFatal("the window never showed");
    }

    template <typename Control = QWidget>
    Control* Find(const QString& name) {
        auto* control = window.findChild<Control*>(name);
        if (control == nullptr) qFatal("no control %s", qPrintable(name));
        return control;
    }
    PathLabel* File(int index) { return Find<PathLabel>(QStringLiteral("lblFile(%1)").arg(index)); }
    void Click(const QString& name) {
        QTest::mouseClick(Find<QAbstractButton>(name), Qt::LeftButton);
    }

    /// Clicks ".." of label `index`; the dialog returns `path` ("" cancels).
    void Choose(int index, const QString& path) {
        desktop.files.push_back(path);
        Click(QStringLiteral("cmdSelectFile(%1)").arg(index));
    }

    /// Drags `urls` (text when there are none) onto label `index` and drops them
    /// there if the label takes the drag; returns whether it did.
    bool Drop(int index, const QStringList& urls) {
        QMimeData data;
        urls.isEmpty() ? data.setText("/logs/a.log") : data.setUrls(QUrl::fromStringList(urls));
        const QPoint centre = File(index)->rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(File(index), &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(File(index), &drop);
        return true;
    }

    /// Clicks Cutting, answering the question `answer`, and returns the report once
    /// the window is back and its message read.
    QByteArray Cut(QMessageBox::StandardButton answer) {
        desktop.answer = answer;
        desktop.log.append("click");
        const auto clicked = desktop.log.size();
        Click("cmdCutting");
        if (!QTest::qWaitFor([&] { return desktop.log.indexOf("enabled", clicked) >= 0; }, 120000))
            return "(the run never ended)";
        desktop.log.removeOne("click");
        QFile report(File(1)->Tag());
        return report.open(QIODevice::ReadOnly) ? report.readAll() : "(no report)";
    }
};

}  // namespace kestrin::testing
