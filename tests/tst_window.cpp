// The window as the user first sees it, and the controls of the installer
// area reaching their handlers.

#include "session.h"
#include "testkit.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTextBrowser>
#include <QtTest>

namespace {
QStringList warnings;
QtMessageHandler previousHandler = nullptr;

void collectWarnings(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtWarningMsg)
        warnings << text;
    previousHandler(type, context, text);
}
}

class WindowTest : public QObject
{
    Q_OBJECT

private slots:
    void buildsWithoutConnectionWarnings();
    void visibleWidgetsAfterStartUp();
    void fixedSizeAndGeometry_data();
    void fixedSizeAndGeometry();
    void fileTableSetUp();
    void initialSessionState();
    void languagesIndexForIndex();
    void scanButtonRefillsPorts();
    void hiddenButtonsReachTheirSlots_data();
    void hiddenButtonsReachTheirSlots();
    void installAndCancelButtons();
    void modelLabelFollowsController();
    void changelogFollowsLanguage();
    void changelogWithByteOrderMark();
    void missingChangelogKeepsText();
    void languageChangeWipesLogLines();
    void driverButtonRunsDriverScript();
};

void WindowTest::buildsWithoutConnectionWarnings()
{
    warnings.clear();
    previousHandler = qInstallMessageHandler(collectWarnings);
    {
        Bench bench;
    }
    qInstallMessageHandler(previousHandler);
    for (const QString &warning : warnings)
        QVERIFY2(!warning.contains("connectSlotsByName") && !warning.contains("No matching signal"),
                 qPrintable(warning));
}

void WindowTest::visibleWidgetsAfterStartUp()
{
    Bench bench;
    const QStringList visible = { "centralwidget", "comboBox", "pushButton_6", "pushButton_Install",
                                  "comboBox_language", "label_3", "comboBox_2", "pushButton_Driver",
                                  "label_4", "textBrowser", "layoutWidget", "statusbar" };
    const QStringList hidden = { "pushButton", "pushButton_2", "pushButton_3", "memory", "totalMemory",
                                 "label", "availableMemory", "label_2", "pushButton_4", "pushButton_5",
                                 "pushButton_7", "pushButton_8", "tableWidget", "pushButton_UploadAll",
                                 "pushButton_DownloadAll", "pushButton_9" };
    for (const QString &name : visible) {
        auto *widget = bench.window->findChild<QWidget *>(name);
        QVERIFY2(widget && widget->isVisibleTo(bench.window.get()), qPrintable(name));
    }
    for (const QString &name : hidden) {
        auto *widget = bench.window->findChild<QWidget *>(name);
        QVERIFY2(widget && !widget->isVisibleTo(bench.window.get()), qPrintable(name));
    }
    QCOMPARE(bench.window->findChild<QLabel *>("totalMemory")->text(), QString("0"));
    QCOMPARE(bench.window->findChild<QLabel *>("availableMemory")->text(), QString("0"));
}

void WindowTest::fixedSizeAndGeometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::newRow("Scan") << "pushButton_6" << QRect(10, 10, 61, 31) << "Scan";
    QTest::newRow("port") << "comboBox" << QRect(80, 10, 131, 31) << "";
    QTest::newRow("Install FW") << "pushButton_Install" << QRect(220, 10, 141, 31) << "Install FW";
    QTest::newRow("language") << "comboBox_language" << QRect(450, 10, 131, 31) << "";
    QTest::newRow("Display:") << "label_3" << QRect(20, 50, 51, 31) << "Display:";
    QTest::newRow("display") << "comboBox_2" << QRect(80, 50, 131, 31) << "";
    QTest::newRow("Cancel") << "pushButton_9" << QRect(220, 50, 141, 31) << "Cancel";
    QTest::newRow("Install driver") << "pushButton_Driver" << QRect(450, 50, 131, 31) << "Install driver";
    QTest::newRow("model") << "label_4" << QRect(10, 90, 561, 31) << "Lumo 1/Lumo 2/Lumo Mini";
    QTest::newRow("log pane") << "textBrowser" << QRect(10, 130, 571, 221) << "";
    QTest::newRow("Connect") << "pushButton_3" << QRect(220, 360, 201, 31) << "Connect";
    QTest::newRow("Format") << "pushButton_5" << QRect(10, 410, 71, 31) << "Format";
}

void WindowTest::fixedSizeAndGeometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    Bench bench;
    bench.window->show();
    QCOMPARE(bench.window->size(), QSize(590, 420));
    QCOMPARE(bench.window->minimumSize(), QSize(590, 420));
    QCOMPARE(bench.window->maximumSize(), QSize(590, 420));
    QCOMPARE(bench.window->windowTitle(), QString("VELTRA manager"));
    QCOMPARE(bench.window->contextMenuPolicy(), Qt::NoContextMenu);
    QVERIFY(!bench.window->findChild<QMenuBar *>());
    auto *widget = bench.window->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
    if (auto *button = qobject_cast<QPushButton *>(widget))
        QCOMPARE(button->text(), text);
    if (auto *label = qobject_cast<QLabel *>(widget))
        QCOMPARE(label->text(), text);
}

void WindowTest::fileTableSetUp()
{
    Bench bench;
    QTableWidget *table = bench.table();
    QCOMPARE(table->columnCount(), 3);
    // The header never makes a section narrower than the style's minimum.
    QCOMPARE(table->columnWidth(0), qMax(28, table->horizontalHeader()->minimumSectionSize()));
    QCOMPARE(table->columnWidth(1), 230);
    QCOMPARE(table->columnWidth(2), 77);
    QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(bench.window->findChild<QPushButton *>("pushButton_5")->autoFillBackground());
}

void WindowTest::initialSessionState()
{
    Bench bench;
    QVERIFY(!connected);
    QVERIFY(mode.isEmpty());
    QVERIFY(nextFileNameUpload.isEmpty());
    QCOMPARE(installStat, 0);
    QCOMPARE(currentRowDownloadAll, -1);
    QCOMPARE(sizeOfData, quint32(0));
    QVERIFY(recived.isEmpty());
}

void WindowTest::languagesIndexForIndex()
{
    Bench bench;
    const QStringList names = { "English", "Русский", "Italiano", "Cesky", "Deutsch",
                                "Francais", "Polski", "Portugues", "Romana", "Espanol" };
    const QStringList codes = { "ENG", "RUS", "ITA", "CZE", "DEU", "FRA", "POL", "POR", "RON", "SPA" };
    QCOMPARE(bench.languageBox()->count(), 10);
    for (int i = 0; i < 10; ++i) {
        QCOMPARE(bench.languageBox()->itemText(i), names.at(i));
        QCOMPARE(lang[i], codes.at(i));
    }
    const QStringList controllers = { "ili9341", "st7789", "ili9488", "st7796" };
    QCOMPARE(bench.displayBox()->count(), 4);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(bench.displayBox()->itemText(i), controllers.at(i));
}

void WindowTest::scanButtonRefillsPorts()
{
    Bench bench;
    bench.statusBar()->clearMessage();
    QVERIFY(bench.portBox()->findText(bench.receiver.portName()) >= 0);
    bench.window->findChild<QPushButton *>("pushButton_6")->click();
    // The pseudo-terminal is no port the system enumerates: the refill drops it.
    QCOMPARE(bench.portBox()->findText(bench.receiver.portName()), -1);
    QCOMPARE(bench.status(), QString("scan ports complete"));
}

void WindowTest::hiddenButtonsReachTheirSlots_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("message");
    QTest::newRow("Download") << "pushButton" << "connect to device, please";
    QTest::newRow("Upload") << "pushButton_2" << "connect to device, please";
    QTest::newRow("Remove") << "pushButton_4" << "connect to device, please";
    QTest::newRow("Format") << "pushButton_5" << "connect to device, please";
    QTest::newRow("Execute") << "pushButton_7" << "connect to device, please";
    QTest::newRow("Reboot") << "pushButton_8" << "connect to device, please";
    QTest::newRow("Upload all") << "pushButton_UploadAll" << "connect to device, please";
    QTest::newRow("Download all") << "pushButton_DownloadAll" << "connect to device, please";
}

void WindowTest::hiddenButtonsReachTheirSlots()
{
    QFETCH(QString, button);
    QFETCH(QString, message);
    Bench bench;
    // Download all needs a row to fetch before it asks for the link.
    bench.table()->setRowCount(1);
    bench.table()->setItem(0, 1, new QTableWidgetItem("ap.csv"));
    bench.window->findChild<QPushButton *>(button)->click();
    QCOMPARE(bench.boxes.texts, QStringList{ message });
    QCOMPARE(bench.boxes.icons.first(), QMessageBox::Information);
    QCOMPARE(bench.status(), QString());
    QVERIFY(noModalLeft());
}

void WindowTest::installAndCancelButtons()
{
    Bench bench;
    bench.portBox()->clear();
    auto *install = bench.window->findChild<QPushButton *>("pushButton_Install");
    auto *cancel = bench.window->findChild<QPushButton *>("pushButton_9");
    install->click();
    QCOMPARE(bench.status(), QString("ESP32: can't use the port"));
    QCOMPARE(bench.logPane()->toPlainText(), QString("-> Start installation..."));
    QVERIFY(cancel->isVisibleTo(bench.window.get()));
    for (const char *name : { "pushButton_6", "pushButton_Install", "pushButton_Driver", "comboBox", "comboBox_2",
                              "comboBox_language" })
        QVERIFY2(!bench.window->findChild<QWidget *>(name)->isEnabled(), name);
    cancel->click();
    QCOMPARE(installStat, 0);
    QVERIFY(!cancel->isVisibleTo(bench.window.get()));
    for (const char *name : { "pushButton_6", "pushButton_Install", "pushButton_Driver", "comboBox", "comboBox_2",
                              "comboBox_language" })
        QVERIFY2(bench.window->findChild<QWidget *>(name)->isEnabled(), name);
}

void WindowTest::modelLabelFollowsController()
{
    Bench bench;
    auto *model = bench.window->findChild<QLabel *>("label_4");
    QCOMPARE(model->text(), QString("Lumo 1/Lumo 2/Lumo Mini"));
    bench.displayBox()->setCurrentText("st7789");
    QCOMPARE(model->text(), QString("Lumo 7"));
    bench.displayBox()->setCurrentText("ili9488");
    QCOMPARE(model->text(), QString("Lumo Max"));
    bench.displayBox()->setCurrentText("st7796");
    QCOMPARE(model->text(), QString());
    bench.displayBox()->setCurrentText("ili9341");
    QCOMPARE(model->text(), QString("Lumo 1/Lumo 2/Lumo Mini"));
}

void WindowTest::changelogFollowsLanguage()
{
    Bench bench;
    QVERIFY(bench.logPane()->toPlainText().startsWith("VELTRA firmware 2.4.1"));
    bench.languageBox()->setCurrentIndex(1);
    QVERIFY(bench.logPane()->toPlainText().startsWith(QString::fromUtf8("Прошивка VELTRA 2.4.1")));
    QVERIFY(bench.logPane()->toPlainText().contains(QString::fromUtf8("Пресеты сохраняют порядок")));
}

void WindowTest::changelogWithByteOrderMark()
{
    Bench bench;
    QVERIFY(bench.workspace.readFile("firmware/changelog/changelogDEU.txt").startsWith("\xef\xbb\xbf"));
    bench.languageBox()->setCurrentText("Deutsch");
    QVERIFY(bench.logPane()->toPlainText().startsWith("VELTRA-Firmware 2.4.1"));
    QVERIFY(bench.logPane()->toPlainText().contains(QString::fromUtf8("Städteliste")));
}

void WindowTest::missingChangelogKeepsText()
{
    Bench bench;
    QVERIFY(QFile::remove("firmware/changelog/changelogPOL.txt"));
    bench.languageBox()->setCurrentText("Italiano");
    const QString italian = bench.logPane()->toPlainText();
    QVERIFY(italian.startsWith("Firmware VELTRA 2.4.1"));
    bench.languageBox()->setCurrentText("Polski");
    QCOMPARE(bench.logPane()->toPlainText(), italian);
}

void WindowTest::languageChangeWipesLogLines()
{
    Bench bench;
    QVERIFY(bench.connectAndList());
    QVERIFY(bench.logPane()->toPlainText().contains("...connected to device"));
    bench.languageBox()->setCurrentText("Espanol");
    QVERIFY(!bench.logPane()->toPlainText().contains("...connected to device"));
    QVERIFY(bench.logPane()->toPlainText().startsWith("Firmware VELTRA 2.4.1\n\n- Barrido"));
}

void WindowTest::driverButtonRunsDriverScript()
{
    Bench bench;
    bench.workspace.writeFile("driver.sh", "echo \"$0 $#\" > driver-ran\n");
    bench.window->findChild<QPushButton *>("pushButton_Driver")->click();
    QCOMPARE(bench.workspace.readFile("driver-ran"), QByteArray("driver.sh 0\n"));
    QCOMPARE(bench.status(), QString("scan ports complete"));
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
