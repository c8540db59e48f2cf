#include "frmKestrin.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <algorithm>

#include "FileChoice.h"
#include "GothicFont.h"
#include "KestrinIcon.h"
#include "PathLabel.h"
#include "Version.h"

namespace kestrin {
namespace {

// The layout is given in twips; at 15 twips a pixel it lands on whole pixels.
QRect FromTwips(int left, int top, int width, int height) {
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

const QSize kClientArea = QSize(7920, 1170) / 15;

// The headline and the path, and beneath them what else the run has to say: the
// system's reason for a failure, the counts of a run, warnings.
QString Shown(const RunMessage& message) {
    QStringList lines = {QString::fromStdString(message.headline)};
    if (message.path) lines.append(QString::fromStdString(*message.path));
    if (!message.details.empty() || !message.warnings.empty()) lines.append(QString());
    for (const std::string& detail : message.details) lines.append(QString::fromStdString(detail));
    for (const std::string& warning : message.warnings)
        lines.append("Warning: " + QString::fromStdString(warning));
    return lines.join('\n');
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

// A lone quote or comma in the keyword list is easily missed, so the list draws it
// larger and names it beside its glyph. Only the list: the entries, and the box once one is chosen,
// show the bare glyph, which is what the run takes.
class KeywordListDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->font.setPointSizeF(option->font.pointSizeF() * 4 / 3);
        if (option->text == QStringLiteral("\"")) option->text += QStringLiteral("   double quote");
        if (option->text == QStringLiteral(",")) option->text += QStringLiteral("   comma");
    }
};

template <typename Control>
Control* Place(Control* control, const char* name, QRect geometry) {
    control->setObjectName(name);
    control->setGeometry(geometry);
    return control;
}

}  // namespace

frmKestrin::frmKestrin(Desktop& desktop) : desktop_(desktop) {
    // A fixed size, so no maximize button either.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle("KSTN");
    setWindowIcon(KestrinIcon());
    setFont(GothicFont());
    CreateControls();
    CreateMenus();
    SetTabOrder();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    SelectFirstKeyword();
    connect(&worker_, &RunWorker::Finished, this, [this] {
        if (closeWhenRunEnds_) close();
    });
}

void frmKestrin::CreateControls() {
    auto* client = new QWidget(this);
    client->setObjectName("client");
    client->setFixedSize(kClientArea);
    setCentralWidget(client);

    lblView[0] =
        Place(new QLabel("MasterLog", client), "lblView(0)", FromTwips(120, 120, 975, 255));
    lblFile[0] =
        Place(new PathLabel(PathBox::Log, client), "lblFile(0)", FromTwips(1080, 120, 6375, 255));
    cmdSelectFile[0] =
        Place(new QPushButton("..", client), "cmdSelectFile(0)", FromTwips(7440, 120, 375, 255));
    lblView[1] = Place(new QLabel("SaveFile", client), "lblView(1)", FromTwips(120, 480, 975, 255));
    lblFile[1] =
        Place(new PathLabel(PathBox::Save, client), "lblFile(1)", FromTwips(1080, 480, 6375, 255));
    cmdSelectFile[1] =
        Place(new QPushButton("..", client), "cmdSelectFile(1)", FromTwips(7440, 480, 375, 255));
    lblView[2] =
        Place(new QLabel("Back Keyword", client), "lblView(2)", FromTwips(3120, 840, 1215, 255));
    cmbBackkey = Place(new QComboBox(client), "cmbBackkey", FromTwips(4320, 840, 855, 300));
    cmdCutting =
        Place(new QPushButton("Cutting", client), "cmdCutting", FromTwips(5280, 840, 1215, 255));
    cmdEND = Place(new QPushButton("Quit", client), "cmdEND", FromTwips(6600, 840, 1215, 255));

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

    for (const PathBox box : {PathBox::Log, PathBox::Save}) {
        connect(cmdSelectFile[std::size_t(box)], &QPushButton::clicked, this,
                [this, box] { ChooseFile(box); });
        connect(lblFile[std::size_t(box)], &PathLabel::Dropped, this, &frmKestrin::TakeDrop);
    }
    connect(cmdCutting, &QPushButton::clicked, this, &frmKestrin::StartRun);
    connect(cmdEND, &QPushButton::clicked, this, &frmKestrin::Quit);
}

void frmKestrin::CreateMenus() {
    QMenu* file = menuBar()->addMenu("File(&F)");
    file->setObjectName("MENU_F");
    file->addAction("LogFile(&L)", this, [this] { ChooseFile(PathBox::Log); })
        ->setObjectName("MENU_F_LOG");
    file->addAction("SaveFile(&S)", this, [this] { ChooseFile(PathBox::Save); })
        ->setObjectName("MENU_F_SAVE");
    file->addSeparator()->setObjectName("MENU_TMP01");
    file->addAction("Quit(&Q)", this, &frmKestrin::Quit)->setObjectName("MENU_F_QUIT");

    QMenu* help = menuBar()->addMenu("HELP(&H)");
    help->setObjectName("MENU_H");
    help->addAction("About ..", this, &frmKestrin::ShowAbout)->setObjectName("MENU_H_INDEX");
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

void frmKestrin::StartRun() {
    RunRequest request;
    request.logPaths = {FileSystemPath(Box(PathBox::Log).Tag())};
    request.savePath = FileSystemPath(Box(PathBox::Save).Tag());
    // Typed text equal to a list entry counts as that entry, "Space" included.
    request.backKeyword = BackKeywordFrom(cmbBackkey->currentText().toStdU16String());
    worker_.Start(std::move(request));
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
    const QStringList about = {QStringLiteral("Kestrin V") + kVersion,
                               "(tallies the http:// URLs of text logs)",
                               "2026 The Kestrin developers"};
    desktop_.ShowMessageBox(this, {about.join('\n'), "About Kestrin", QMessageBox::NoIcon,
                                   QMessageBox::Ok, QMessageBox::Ok});
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

// Only ever enables: no choice in the window can empty a path again.
void frmKestrin::UpdateCuttingEnabled() {
    if (!Box(PathBox::Log).Tag().isEmpty() && !Box(PathBox::Save).Tag().isEmpty()) {
        cmdCutting->setEnabled(true);
    }
}

void frmKestrin::EnterBusy() {
    setCursor(Qt::WaitCursor);
    setEnabled(false);
    showMinimized();
}

void frmKestrin::ShowMessage(const RunMessage& message) {
    desktop_.ShowMessageBox(this, {Shown(message), QString::fromStdString(message.title),
                                   BoxIcon(message.icon), QMessageBox::Ok, QMessageBox::Ok});
}

bool frmKestrin::AskYesNo(const std::string& text, const std::string& title) {
    return desktop_.ShowMessageBox(this, {QString::fromStdString(text),
                                          QString::fromStdString(title), QMessageBox::Question,
                                          QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes}) ==
           QMessageBox::Yes;
}

void frmKestrin::ShowProgress(double fractionDone) {
    // A log that grows during the run may pass its size.
    const int percent = std::clamp(int(fractionDone * 100), 0, 100);
    setWindowTitle(QStringLiteral("KSTN %1%").arg(percent));
}

void frmKestrin::LeaveBusy() {
    setWindowTitle("KSTN");
    showNormal();
    unsetCursor();
    setEnabled(true);
}

// Closing the window is the one way out during a run (Quit is disabled with the
// rest of the window): the run stops at once and the window closes when it has.
void frmKestrin::closeEvent(QCloseEvent* event) {
    if (!worker_.Running()) return QMainWindow::closeEvent(event);
    closeWhenRunEnds_ = true;
    worker_.Stop();
    event->ignore();
}

}  // namespace kestrin
