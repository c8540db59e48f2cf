#include "PathLabel.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

#include "FileChoice.h"
#include "common/PathElision.h"

namespace kestrin {

PathLabel::PathLabel(PathBox box, QWidget* parent) : QLabel(parent), box_(box) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setIndent(2);
    setTextFormat(Qt::PlainText);
}

void PathLabel::SetCaption(const QString& caption) {
    caption_ = caption;
    ShowCaption();
}

void PathLabel::dragEnterEvent(QDragEnterEvent* event) {
    // Only a file list is offered the drop; anything else would change nothing.
    if (!DroppedFilePaths(*event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void PathLabel::dropEvent(QDropEvent* event) {
    emit Dropped(box_, event->mimeData());
    event->acceptProposedAction();
}

void PathLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    ShowCaption();
}

void PathLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) ShowCaption();
}

void PathLabel::ShowCaption() {
    // The indent on both sides: a shortened path keeps clear of the ".." beside it.
    const int room = contentsRect().width() - 2 * indent();
    const QFontMetrics metrics = fontMetrics();
    const QString shown = QString::fromStdU16String(
        ElideMiddle(caption_.toStdU16String(), room, [&metrics](std::u16string_view text) {
            return metrics.horizontalAdvance(
                QString::fromUtf16(text.data(), qsizetype(text.size())));
        }));
    setText(shown);
    setToolTip(shown == caption_ ? QString() : caption_);
}

}  // namespace kestrin
