#pragma once

#include <QAbstractButton>
#include <QAction>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTest>

#include "PathLabel.h"
#include "RecordingDesktop.h"
#include "TestFiles.h"
#include "frmKestrin.h"

namespace kestrin::testing {

/// A shown window on a recording desktop, with the moves a user makes on it.
struct WindowUnderTest {
    RecordingDesktop desktop;
    frmKestrin window{desktop};

    WindowUnderTest() {
        desktop.Watch(&window);
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
    bool CuttingEnabled() { return Find("cmdCutting")->isEnabled(); }

    void Click(const QString& button) {
        QTest::mouseClick(Find<QAbstractButton>(button), Qt::LeftButton);
    }
    void Menu(const QString& item) { Find<QAction>(item)->trigger(); }

    /// Clicks ".." of label `index`; the dialog returns `path` ("" cancels).
    void Choose(int index, const QString& path) {
        desktop.files.push_back(path);
        Click(QStringLiteral("cmdSelectFile(%1)").arg(index));
    }

    /// Drags `urls` (or, when there are none, `text`) onto label `index` and drops
    /// it there if the label takes the drag; returns whether it did.
    bool Drop(int index, const QStringList& urls, const QString& text = {}) {
        QMimeData data;
        if (urls.isEmpty()) data.setText(text);
        if (!urls.isEmpty()) data.setUrls(QUrl::fromStringList(urls));
        const QPoint centre = File(index)->rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(File(index), &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(File(index), &drop);
        return true;
    }

    /// Clicks Cutting, answering the question `answer`, and returns the report.
    QByteArray Cut(QMessageBox::StandardButton answer = QMessageBox::No) {
        desktop.answers = {answer};
        Click("cmdCutting");
        QFile report(File(1)->Tag());
        return report.open(QIODevice::ReadOnly) ? report.readAll() : "(no report)";
    }
};

}  // namespace kestrin::testing
