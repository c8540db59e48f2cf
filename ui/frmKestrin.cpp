#include "frmKestrin.h"

#include <QAbstractItemView>
#include <QActionGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStyledItemDelegate>

#include "FileChoice.h"
#include "GothicFont.h"
#include "KestrinIcon.h"
#include "PathLabel.h"
#include "common/CuttingButton.h"
#include "common/FittedForm.h"
#include "common/KeywordList.h"
#include "common/Texts.h"
#include "common/WindowRun.h"

namespace kestrin {
namespace {

// The form's twips as Qt's device-independent pixels, 96 to the inch.
QRect FromTwips(const form::Twips& twips) {
    return QRect(form::Pixels(twips.left, 96), form::Pixels(twips.top, 96),
                 form::Pixels(twips.width, 96), form::Pixels(twips.height, 96));
}

QString FromUtf16(const char16_t* text) {
    return QString::fromUtf16(text);
}

QMessageBox::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Information:
            break;
    }
    return QMessageBox::Information;
}

// Paths reach the engine as the bytes the file system takes.
std::string FileSystemPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// The open keyword list's entries, as KeywordListText says.
class KeywordListDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->font.setPointSizeF(option->font.pointSizeF() * kKeywordListScale);
        option->text = QString::fromStdU16String(KeywordListText(option->text.toStdU16String()));
    }
};

template <typename Control>
Control* Place(Control* control, const form::Control& design) {
    control->setObjectName(design.name);
    control->setGeometry(FromTwips(design.place));
    return control;
}

// The width `control` needs to show its caption whole in its font: a label's text, a
// button's with its frame and margin, the keyword box's longest entry with its arrow.
// The path boxes cut their paths to fit.
int CaptionWidth(const QWidget& control) {
    const QFontMetrics metrics = control.fontMetrics();
    if (const auto* box = qobject_cast<const QComboBox*>(&control)) {
        QStyleOptionComboBox option;
        option.initFrom(box);
        option.editable = true;
        const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                         QStyle::SC_ComboBoxEditField, box);
        int widest = 0;
        for (int i = 0; i < box->count(); ++i)
            widest = std::max(widest, metrics.horizontalAdvance(box->itemText(i)));
        // The edit field keeps a margin of 2 pixels each side of its text.
        return widest + 4 + box->width() - field.width();
    }
    if (const auto* button = qobject_cast<const QPushButton*>(&control)) {
        const QStyle& style = *button->style();
        return metrics.horizontalAdvance(button->text()) +
               style.pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
               2 * style.pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    }
    if (qobject_cast<const PathLabel*>(&control) != nullptr) return 0;
    if (const auto* label = qobject_cast<const QLabel*>(&control))
        return metrics.horizontalAdvance(label->text()) + 2 * label->margin();
    return 0;
}

}  // namespace

frmKestrin::frmKestrin(Desktop& desktop)
    : desktop_(desktop), controller_(*this, desktop.RememberedGrouping()) {
    // A fixed size, so no maximize button either.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(FromUtf16(form::kTitle));
    setWindowIcon(KestrinIcon());
    setFont(GothicFont());
    CreateControls();
    CreateMenus();
    SetTabOrder();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    SelectFirstKeyword();
}

void frmKestrin::CreateControls() {
    auto* client = new QWidget(this);
    client->setObjectName("client");
    client->setFixedSize(FromTwips(form::kClientArea).size());
    setCentralWidget(client);

    for (std::size_t i = 0; i < lblView.size(); ++i)
        lblView[i] =
            Place(new QLabel(FromUtf16(form::lblView[i].caption), client), form::lblView[i]);
    for (const PathBox box : {PathBox::Log, PathBox::Save}) {
        const auto i = std::size_t(box);
        lblFile[i] = Place(new PathLabel(box, client), form::lblFile[i]);
        cmdSelectFile[i] = Place(new QPushButton(FromUtf16(form::cmdSelectFile[i].caption), client),
                                 form::cmdSelectFile[i]);
    }
    cmbBackkey = Place(new QComboBox(client), form::cmbBackkey);
    cmdCutting =
        Place(new QPushButton(FromUtf16(form::cmdCutting.caption), client), form::cmdCutting);
    cmdEND = Place(new QPushButton(FromUtf16(form::cmdEND.caption), client), form::cmdEND);

    for (QLabel* label : lblView) label->setTextFormat(Qt::PlainText);
    Box(PathBox::Log).setAcceptDrops(true);

    cmbBackkey->setEditable(true);
    cmbBackkey->setInsertPolicy(QComboBox::NoInsert);
    for (const char16_t* entry : kBackKeywordEntries)
        cmbBackkey->addItem(QString::fromUtf16(entry));
    cmbBackkey->setCurrentIndex(-1);  // SelectFirstKeyword selects the first entry
    cmbBackkey->setItemDelegate(new KeywordListDelegate(cmbBackkey));
    // The list is wider than the box, to show the names.
    cmbBackkey->view()->setMinimumWidth(cmbBackkey->view()->sizeHintForColumn(0) +
                                        2 * cmbBackkey->view()->frameWidth());

    cmdCutting->setEnabled(false);
    FitControls(*client);

    for (const PathBox box : {PathBox::Log, PathBox::Save}) {
        connect(cmdSelectFile[std::size_t(box)], &QPushButton::clicked, this, [this, box] {
            controller_.Do(box == PathBox::Log ? form::Command::ChooseLog
                                               : form::Command::ChooseSave);
        });
        connect(lblFile[std::size_t(box)], &PathLabel::Dropped, this, &frmKestrin::TakeDrop);
    }
    connect(cmdCutting, &QPushButton::clicked, this,
            [this] { controller_.Do(form::Command::Cut); });
    connect(cmdEND, &QPushButton::clicked, this, [this] { controller_.Do(form::Command::Quit); });
}

// The form's places, with room for every caption in the font in use.
void frmKestrin::FitControls(QWidget& client) {
    const auto control = [&client](const form::Control& design) {
        return client.findChild<QWidget*>(design.name);
    };
    const form::FittedForm fitted = form::FitForm(
        96, [&](const form::Control& design) { return CaptionWidth(*control(design)); });
    for (const form::Control* design : form::FittedForm::Designs()) {
        const form::PixelPlace& place = fitted.Of(*design);
        control(*design)->setGeometry(place.left, place.top, place.width, place.height);
    }
    client.setFixedSize(fitted.clientWidth, fitted.clientHeight);
}

void frmKestrin::CreateMenus() {
    auto* groupings = new QActionGroup(this);  // exclusive: one radio group
    for (const form::Menu& design : form::kMenus) {
        QMenu* menu = menuBar()->addMenu(FromUtf16(design.caption));
        menu->setObjectName(design.name);
        for (const form::MenuItem& item : design.items) {
            if (item.command == form::Command::None) {
                menu->addSeparator()->setObjectName(item.name);
                continue;
            }
            QAction* action =
                menu->addAction(FromUtf16(item.caption), this,
                                [this, command = item.command] { controller_.Do(command); });
            action->setObjectName(item.name);
            if (const std::optional<Grouping> grouping = form::GroupingOf(item.command)) {
                action->setCheckable(true);
                action->setChecked(*grouping == controller_.Entries());
                groupings->addAction(action);
            }
        }
    }
}

// Labels sit in the tab order too but never take the focus, so the order that
// shows is: both "..", Cutting, Quit, the keyword box.
void frmKestrin::SetTabOrder() {
    QWidget* const order[] = {lblFile[0], lblFile[1], cmdSelectFile[0], cmdSelectFile[1],
                              cmdCutting, cmdEND,     lblView[0],       lblView[1],
                              lblView[2], cmbBackkey};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        setTabOrder(order[i], order[i + 1]);
    }
    cmdSelectFile[0]->setFocus();
}

void frmKestrin::SelectFirstKeyword() {
    cmbBackkey->setCurrentIndex(0);
}

WindowView::Boxes frmKestrin::CurrentBoxes() {
    return {FileSystemPath(Box(PathBox::Log).Tag()), FileSystemPath(Box(PathBox::Save).Tag()),
            cmbBackkey->currentText().toStdU16String()};
}

// Only the log's box takes drops; when several files are dropped the last one stays.
void frmKestrin::TakeDrop(PathBox box, const QMimeData* data) {
    if (box == PathBox::Log) {
        for (const QString& path : DroppedFilePaths(*data)) OpenLog(path);
    }
    UpdateCuttingEnabled();
}

void frmKestrin::OpenLog(const QString& path) {
    Box(PathBox::Log).SetCaption(path);
    Box(PathBox::Log).SetTag(path);
    UpdateCuttingEnabled();
}

void frmKestrin::Quit() {
    desktop_.EndProgram();
}

void frmKestrin::ShowAbout() {
    desktop_.ShowMessageBox(this, {QString::fromStdString(AboutText()), kAboutTitle,
                                   QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok});
}

void frmKestrin::ChooseFile(PathBox box) {
    FileDialogRequest request = FileDialogRequestFor(box);
    request.chosen = Box(box).Tag();
    const QString path = desktop_.ChooseFile(this, request);
    if (!path.isEmpty()) {
        Box(box).SetTag(path);
        Box(box).SetCaption(Box(box).Tag());
    }
    UpdateCuttingEnabled();
}

void frmKestrin::UpdateCuttingEnabled() {
    cmdCutting->setEnabled(CuttingEnabled(cmdCutting->isEnabled(),
                                          !Box(PathBox::Log).Tag().isEmpty(),
                                          !Box(PathBox::Save).Tag().isEmpty()));
}

void frmKestrin::KeepGrouping(Grouping grouping) {
    desktop_.RememberGrouping(grouping);
}

bool frmKestrin::Post(std::function<void()> call) {
    // Calls still queued when the window goes are dropped with it.
    return QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void frmKestrin::SetBusy(bool busy) {
    if (busy) {
        setCursor(Qt::WaitCursor);
        setEnabled(false);
        showMinimized();
        return;
    }
    setWindowTitle(FromUtf16(form::kTitle));
    showNormal();
    unsetCursor();
    setEnabled(true);
}

void frmKestrin::ShowMessage(const RunMessage& message) {
    desktop_.ShowMessageBox(this, {QString::fromStdString(MessageBoxText(message)),
                                   QString::fromStdString(message.title), BoxIcon(message.icon),
                                   QMessageBox::Ok, QMessageBox::Ok});
}

bool frmKestrin::AskYesNo(const std::string& text, const std::string& title) {
    return desktop_.ShowMessageBox(this, {QString::fromStdString(text),
                                          QString::fromStdString(title), QMessageBox::Question,
                                          QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes}) ==
           QMessageBox::Yes;
}

void frmKestrin::ShowProgress(const RunProgress& progress) {
    setWindowTitle(QString::fromStdU16String(ProgressTitle(progress.fraction)));
}

// Closing the window is the one way out during a run (Quit is disabled with the
// rest of the window): the window goes once the run has stopped.
void frmKestrin::closeEvent(QCloseEvent* event) {
    if (controller_.Close()) return QMainWindow::closeEvent(event);
    event->ignore();
}

}  // namespace kestrin
