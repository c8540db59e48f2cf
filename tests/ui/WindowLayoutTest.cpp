#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <QTest>

#include "WindowUnderTest.h"

using kestrin::testing::WindowUnderTest;

class WindowLayoutTest : public QObject {
    Q_OBJECT

  private slots:
    void controlsSitWhereTheTableSays_data() {
        QTest::addColumn<QRect>("geometry");  // the layout's twips divided by 15
        QTest::addColumn<QString>("caption");
        QTest::newRow("lblView(0)") << QRect(8, 8, 65, 17) << "MasterLog";
        QTest::newRow("lblFile(0)") << QRect(72, 8, 425, 17) << "";
        QTest::newRow("cmdSelectFile(0)") << QRect(496, 8, 25, 17) << "..";
        QTest::newRow("lblView(1)") << QRect(8, 32, 65, 17) << "SaveFile";
        QTest::newRow("lblFile(1)") << QRect(72, 32, 425, 17) << "";
        QTest::newRow("cmdSelectFile(1)") << QRect(496, 32, 25, 17) << "..";
        QTest::newRow("lblView(2)") << QRect(208, 56, 81, 17) << "Back Keyword";
        QTest::newRow("cmbBackkey") << QRect(288, 56, 57, 20) << "Space";
        QTest::newRow("cmdCutting") << QRect(352, 56, 81, 17) << "Cutting";
        QTest::newRow("cmdEND") << QRect(440, 56, 81, 17) << "Quit";
    }

    void controlsSitWhereTheTableSays() {
        QFETCH(QRect, geometry);
        QFETCH(QString, caption);
        WindowUnderTest w;
        QWidget* control = w.Find(QTest::currentDataTag());
        QCOMPARE(control->parentWidget(), w.window.centralWidget());
        QCOMPARE(control->geometry(), geometry);
        QCOMPARE(CaptionOf(control), caption);
        QCOMPARE(control->font().pointSize(), 9);
    }

    void theWindowStartsAsKstnWithSpaceAndCuttingDisabled() {
        WindowUnderTest w;
        QCOMPARE(w.window.windowTitle(), QString("KSTN"));
        QCOMPARE(w.window.centralWidget()->geometry(),
                 QRect(0, w.window.menuBar()->height(), 528, 78));
        QCOMPARE(w.window.minimumSize(), w.window.maximumSize());
        QCOMPARE(w.window.size(), QSize(528, 78 + w.window.menuBar()->height()));

        auto* keyword = w.Find<QComboBox>("cmbBackkey");
        QStringList entries;
        for (int i = 0; i < keyword->count(); ++i) entries.append(keyword->itemText(i));
        QCOMPARE(entries, QStringList({"Space", "\"", ","}));
        QVERIFY(keyword->isEditable() && keyword->currentIndex() == 0);
        QVERIFY(!w.CuttingEnabled());
        QVERIFY(w.File(0)->acceptDrops() && !w.File(1)->acceptDrops());
        for (auto* button : w.window.findChildren<QPushButton*>()) {
            QVERIFY(!button->isDefault() && !button->autoDefault());
        }

        QStringList menus;
        for (QAction* menu : w.window.menuBar()->actions()) {
            QStringList items;
            for (QAction* item : menu->menu()->actions()) {
                items.append(item->isSeparator() ? "-" : item->text());
            }
            menus.append(menu->text() + ": " + items.join(", "));
        }
        QCOMPARE(menus, QStringList({"File(&F): LogFile(&L), SaveFile(&S), -, Quit(&Q)",
                                     "HELP(&H): About .."}));
    }

    void tabWalksTheControlsFromTheFirstButton() {
        WindowUnderTest w;
        w.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        QCOMPARE(FocusWalk(5), QStringList({"cmdSelectFile(0)", "cmdSelectFile(1)", "cmdEND",
                                            "cmbBackkey", "cmdSelectFile(0)"}));
        w.Choose(0, "log");  // Cutting joins the walk once enabled
        w.Choose(1, "save");
        w.Find("cmdSelectFile(0)")->setFocus();
        QCOMPARE(FocusWalk(5), QStringList({"cmdSelectFile(0)", "cmdSelectFile(1)", "cmdCutting",
                                            "cmdEND", "cmbBackkey"}));
    }

    void aJapaneseGothicFaceDrawsJapanesePaths() {
        WindowUnderTest w;
        const QString path = QStringLiteral("/home/利用者/アクセスログ/ｱｸｾｽ記録.log");
        w.Choose(0, path);
        const QString face = QFontInfo(w.File(0)->font()).family();
        QVERIFY2(face.contains("Gothic") || face.contains("ゴシック") || face.contains("CJK JP"),
                 qPrintable(face));
        for (QChar c : path) QVERIFY2(w.File(0)->fontMetrics().inFont(c), qPrintable(c));
        QCOMPARE(w.File(0)->text(), path);
    }

    void theIconIsAYellowDiamondIn32And16PixelsOf16Colours() {
        WindowUnderTest w;
        const QIcon icon = w.window.windowIcon();
        QCOMPARE(icon.availableSizes().size(), 2);
        for (int side : {32, 16}) {
            QVERIFY(icon.availableSizes().contains(QSize(side, side)));
            const QImage image = icon.pixmap(side).toImage();
            QSet<QRgb> colours;
            for (int y = 0; y < side; ++y) {
                for (int x = 0; x < side; ++x) colours.insert(image.pixel(x, y));
            }
            QVERIFY(colours.size() <= 16);
            QCOMPARE(qAlpha(image.pixel(0, 0)), 0);                        // outside the diamond
            QCOMPARE(image.pixel(side / 2, 0), qRgb(0, 0, 0));             // its outline
            QCOMPARE(image.pixel(side / 4, side / 2), qRgb(255, 255, 0));  // its face
        }
    }

  private:
    static QString CaptionOf(QWidget* control) {
        if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
        return qobject_cast<QComboBox*>(control)->currentText();
    }

    // The focused control, then where each Tab goes; the keyword box's line edit
    // stands for the box.
    static QStringList FocusWalk(int stops) {
        QStringList walk;
        for (int i = 0; i < stops && QApplication::focusWidget(); ++i) {
            QWidget* focus = QApplication::focusWidget();
            walk.append(focus->objectName().isEmpty() ? focus->parentWidget()->objectName()
                                                      : focus->objectName());
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        return walk;
    }
};

QTEST_MAIN(WindowLayoutTest)
#include "WindowLayoutTest.moc"
