// The window as the user first sees it, and the controls of the installer
// area reaching their handlers.

#include "app/session.h"
#include "installer/shippedscript.h"
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
#include <QTimer>
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
    void portListChoosesTheBridge();
    void hiddenButtonsReachTheirSlots_data();
    void hiddenButtonsReachTheirSlots();
    void installAndCancelButtons();
    void incompleteReleaseSendsNothing();
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
        Rig rig;
    }
    qInstallMessageHandler(previousHandler);
    for (const QString &warning : warnings)
        QVERIFY2(!warning.contains("connectSlotsByName") && !warning.contains("No matching signal"),
                 qPrintable(warning));
}

void WindowTest::visibleWidgetsAfterStartUp()
{
    Rig rig;
    const QStringList visible = { "centralwidget", "comboBox", "pushButton_6", "pushButton_Install",
                                  "comboBox_language", "label_3", "comboBox_2", "pushButton_Driver",
                                  "label_4", "textBrowser", "layoutWidget", "statusbar" };
    const QStringList hidden = { "pushButton", "pushButton_2", "pushButton_3", "memory", "totalMemory",
                                 "label", "availableMemory", "label_2", "pushButton_4", "pushButton_5",
                                 "pushButton_7", "pushButton_8", "tableWidget", "pushButton_UploadAll",
                                 "pushButton_DownloadAll", "pushButton_9" };
    for (const QString &name : visible) {
        auto *widget = rig.window->findChild<QWidget *>(name);
        QVERIFY2(widget && widget->isVisibleTo(rig.window.get()), qPrintable(name));
    }
    for (const QString &name : hidden) {
        auto *widget = rig.window->findChild<QWidget *>(name);
        QVERIFY2(widget && !widget->isVisibleTo(rig.window.get()), qPrintable(name));
    }
    QCOMPARE(rig.window->findChild<QLabel *>("totalMemory")->text(), QString("0"));
    QCOMPARE(rig.window->findChild<QLabel *>("availableMemory")->text(), QString("0"));
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
    Rig rig;
    rig.window->show();
    QCOMPARE(rig.window->size(), QSize(590, 420));
    QCOMPARE(rig.window->minimumSize(), QSize(590, 420));
    QCOMPARE(rig.window->maximumSize(), QSize(590, 420));
    QCOMPARE(rig.window->windowTitle(), QString("VELTRA manager"));
    QCOMPARE(rig.window->contextMenuPolicy(), Qt::NoContextMenu);
    QVERIFY(!rig.window->findChild<QMenuBar *>());
    auto *widget = rig.window->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
    if (auto *button = qobject_cast<QPushButton *>(widget))
        QCOMPARE(button->text(), text);
    if (auto *label = qobject_cast<QLabel *>(widget))
        QCOMPARE(label->text(), text);
}

void WindowTest::fileTableSetUp()
{
    Rig rig;
    QTableWidget *table = rig.table();
    QCOMPARE(table->columnCount(), 3);
    QCOMPARE(table->columnWidth(0), 28);
    QCOMPARE(table->columnWidth(1), 230);
    QCOMPARE(table->columnWidth(2), 77);
    QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(rig.window->findChild<QPushButton *>("pushButton_5")->autoFillBackground());
}

void WindowTest::initialSessionState()
{
    Rig rig;
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
    Rig rig;
    const QStringList names = { "English", "Русский", "Italiano", "Cesky", "Deutsch",
                                "Francais", "Polski", "Portugues", "Romana", "Espanol" };
    const QStringList codes = { "ENG", "RUS", "ITA", "CZE", "DEU", "FRA", "POL", "POR", "RON", "SPA" };
    QCOMPARE(rig.languageBox()->count(), 10);
    for (int i = 0; i < 10; ++i) {
        QCOMPARE(rig.languageBox()->itemText(i), names.at(i));
        QCOMPARE(lang[i], codes.at(i));
    }
    const QStringList controllers = { "ili9341", "st7789", "ili9488", "st7796" };
    QCOMPARE(rig.displayBox()->count(), 4);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(rig.displayBox()->itemText(i), controllers.at(i));
}

// Scan and the list's watch choose the receiver's bridge, keep the user's
// pick while it is listed, and show what each port is.
void WindowTest::portListChoosesTheBridge()
{
    Rig rig;
    QVector<SeenPort> ports = { { "COM1" }, { "COM5", true, 0x10c4, 0xea60, "CP2102 USB to UART Bridge Controller", "Silicon Labs" } };
    rig.window->setPortLister([&ports] { return ports; });
    rig.window->findChild<QPushButton *>("pushButton_6")->click();
    QCOMPARE(rig.portBox()->currentText(), QString("COM5"));
    QCOMPARE(rig.portBox()->itemData(1, Qt::ToolTipRole).toString(), QString("CP2102 USB to UART Bridge Controller – Silicon Labs"));
    QCOMPARE(rig.status(), QString("scan ports complete"));
    rig.statusBar()->clearMessage();

    rig.portBox()->setCurrentIndex(0);
    emit rig.portBox()->activated(0);
    ports.append({ "COM9", true, 0x1a86, 0x7523 });
    QTRY_COMPARE(rig.portBox()->count(), 3);
    QCOMPARE(rig.portBox()->currentText(), QString("COM1"));
    ports.removeFirst();
    QTRY_COMPARE(rig.portBox()->count(), 2);
    QCOMPARE(rig.portBox()->currentText(), QString("COM5"));
    QCOMPARE(rig.status(), QString());
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
    Rig rig;
    // Download all needs a row to fetch before it asks for the link.
    rig.table()->setRowCount(1);
    rig.table()->setItem(0, 1, new QTableWidgetItem("ap.csv"));
    rig.window->findChild<QPushButton *>(button)->click();
    QCOMPARE(rig.boxes.texts, QStringList{ message });
    QCOMPARE(rig.boxes.icons.first(), QMessageBox::Information);
    QCOMPARE(rig.status(), QString());
    QVERIFY(noModalLeft());
}

void WindowTest::installAndCancelButtons()
{
    Rig rig;
    rig.portBox()->clear();
    auto *install = rig.window->findChild<QPushButton *>("pushButton_Install");
    auto *cancel = rig.window->findChild<QPushButton *>("pushButton_9");
    install->click();
    QCOMPARE(rig.status(), QString("ESP32: can't use the port"));
    QTRY_COMPARE(rig.logPane()->toPlainText(), "-> Start installation...\n" + rig.keptLogLine() + "\n...ESP32: can't use the port; "
                                               "Cancel ends the installation\n...no port is chosen: plug the receiver in, press Scan and "
                                               "choose its port");
    QVERIFY(cancel->isVisibleTo(rig.window.get()));
    for (const char *name : { "pushButton_6", "pushButton_Install", "pushButton_Driver", "comboBox", "comboBox_2",
                              "comboBox_language" })
        QVERIFY2(!rig.window->findChild<QWidget *>(name)->isEnabled(), name);
    cancel->click();
    QCOMPARE(installStat, 0);
    QVERIFY(!cancel->isVisibleTo(rig.window.get()));
    for (const char *name : { "pushButton_6", "pushButton_Install", "pushButton_Driver", "comboBox", "comboBox_2",
                              "comboBox_language" })
        QVERIFY2(rig.window->findChild<QWidget *>(name)->isEnabled(), name);
}

// A release that lacks its flashing script is refused before anything is sent.
void WindowTest::incompleteReleaseSendsNothing()
{
    Rig rig;
    const QString script = shippedScriptFile("flash");
    QVERIFY(QFile::remove(script));
    rig.window->findChild<QPushButton *>("pushButton_Install")->click();
    const QString problem = script + " is missing beside the program: unpack the whole release into one folder";
    QTRY_COMPARE(rig.boxes.texts, QStringList{ problem });
    QCOMPARE(rig.boxes.icons.first(), QMessageBox::Information);
    QCOMPARE(rig.logLines().last(), "..." + problem);
    QCOMPARE(rig.receiver.bytesRead(), 0);
    QVERIFY(!rig.window->findChild<QPushButton *>("pushButton_9")->isVisibleTo(rig.window.get()));
    QVERIFY(rig.window->findChild<QPushButton *>("pushButton_Install")->isEnabled());
    QVERIFY(noModalLeft());
}

void WindowTest::modelLabelFollowsController()
{
    Rig rig;
    auto *model = rig.window->findChild<QLabel *>("label_4");
    QCOMPARE(model->text(), QString("Lumo 1/Lumo 2/Lumo Mini"));
    rig.displayBox()->setCurrentText("st7789");
    QCOMPARE(model->text(), QString("Lumo 7"));
    rig.displayBox()->setCurrentText("ili9488");
    QCOMPARE(model->text(), QString("Lumo Max"));
    rig.displayBox()->setCurrentText("st7796");
    QCOMPARE(model->text(), QString());
    rig.displayBox()->setCurrentText("ili9341");
    QCOMPARE(model->text(), QString("Lumo 1/Lumo 2/Lumo Mini"));
}

void WindowTest::changelogFollowsLanguage()
{
    Rig rig;
    QVERIFY(rig.logPane()->toPlainText().startsWith("VELTRA firmware 2.4.1"));
    rig.languageBox()->setCurrentIndex(1);
    QVERIFY(rig.logPane()->toPlainText().startsWith(QString::fromUtf8("Прошивка VELTRA 2.4.1")));
    QVERIFY(rig.logPane()->toPlainText().contains(QString::fromUtf8("Пресеты сохраняют порядок")));
}

void WindowTest::changelogWithByteOrderMark()
{
    Rig rig;
    QVERIFY(rig.workspace.readFile("firmware/changelog/changelogDEU.txt").startsWith("\xef\xbb\xbf"));
    rig.languageBox()->setCurrentText("Deutsch");
    QVERIFY(rig.logPane()->toPlainText().startsWith("VELTRA-Firmware 2.4.1"));
    QVERIFY(rig.logPane()->toPlainText().contains(QString::fromUtf8("Städteliste")));
}

void WindowTest::missingChangelogKeepsText()
{
    Rig rig;
    QVERIFY(QFile::remove("firmware/changelog/changelogPOL.txt"));
    rig.languageBox()->setCurrentText("Italiano");
    const QString italian = rig.logPane()->toPlainText();
    QVERIFY(italian.startsWith("Firmware VELTRA 2.4.1"));
    rig.languageBox()->setCurrentText("Polski");
    QCOMPARE(rig.logPane()->toPlainText(), italian);
}

void WindowTest::languageChangeWipesLogLines()
{
    Rig rig;
    QVERIFY(rig.connectAndList());
    QVERIFY(rig.logPane()->toPlainText().contains("...connected to device"));
    rig.languageBox()->setCurrentText("Espanol");
    QVERIFY(!rig.logPane()->toPlainText().contains("...connected to device"));
    QVERIFY(rig.logPane()->toPlainText().startsWith("Firmware VELTRA 2.4.1\n\n- Barrido"));
}

// The driver installer runs as the flashing script does: the window is
// served meanwhile, what it says and how it ended show in the log pane, and
// nothing that uses a port can start until it has ended.
void WindowTest::driverButtonRunsDriverScript()
{
    Rig rig;
    // A script that waits for a key at its end gets end-of-file at once.
    rig.workspace.writeFile("driver.sh", "echo \"installing for $# arguments\"\nsleep 3\nread answer\necho done\nexit 3\n");
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start(50);
    rig.window->findChild<QPushButton *>("pushButton_Driver")->click();
    for (const char *name : { "pushButton_Driver", "pushButton_Install", "pushButton_6", "comboBox" })
        QVERIFY2(!rig.window->findChild<QWidget *>(name)->isEnabled(), name);
    QTRY_VERIFY_WITH_TIMEOUT(rig.logLines().contains("...driver script ended (exit code 3)"), 20000);
    QVERIFY(ticks > 10);
    const QStringList lines = rig.logLines();
    QCOMPARE(lines.mid(lines.indexOf("-> Install driver...")),
             QStringList({ "-> Install driver...", "installing for 0 arguments", "done", "...driver script ended (exit code 3)" }));
    for (const char *name : { "pushButton_Driver", "pushButton_Install", "pushButton_6", "comboBox" })
        QVERIFY2(rig.window->findChild<QWidget *>(name)->isEnabled(), name);
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
