#pragma once

#include <QLabel>
#include <QMimeData>

#include "FileChoice.h"

namespace kestrin {

/// A one-line label that names a file. The chosen path is kept in `Tag`, apart
/// from the `Caption` shown; a caption wider than the label is shown shortened in
/// the middle and whole in the tooltip.
class PathLabel : public QLabel {
    Q_OBJECT

  public:
    PathLabel(PathBox box, QWidget* parent);

    const QString& Tag() const { return tag_; }
    void SetTag(const QString& tag) { tag_ = tag; }

    void SetCaption(const QString& caption);

  signals:
    /// Data was dropped on the label; `box` says which label it was.
    void Dropped(PathBox box, const QMimeData* data);

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void ShowCaption();

    PathBox box_;
    QString tag_;
    QString caption_;
};

}  // namespace kestrin
