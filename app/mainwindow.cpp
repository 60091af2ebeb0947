#include "app/mainwindow.h"
#include "ui_mainwindow.h"
#include "device/receiverlink.h"
#include "installer/installationrunner.h"
#include "installer/options.h"
#include "installer/scriptrun.h"
#include "storage/download.h"
#include "storage/listing.h"
#include "storage/upload.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QLocale>
#include <QTextCodec>
#include <QTime>
#include <QTimer>

void prepareHighDpiScaling()
{
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , link(new ReceiverLink(this))
    , listing(new StorageListing(link, this))
    , download(new FileDownload(link, this))
    , upload(new FileUpload(link, this))
    , runner(new InstallationRunner(link, this))
    , installProgress(new QProgressBar(this))
    , listPorts(seenPorts)
{
    // The backup folder's digits come from this generator, as they always have.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    qsrand(uint(QTime(0, 0).secsTo(QTime::currentTime())));
    QT_WARNING_POP

    ui->setupUi(this);
    installProgress->hide();
    statusBar()->addPermanentWidget(installProgress);
    connectFileManager();
    connectInstaller();

    ui->pushButton->hide();
    ui->pushButton_2->hide();
    ui->pushButton_3->hide();
    ui->pushButton_4->hide();
    ui->pushButton_5->hide();
    ui->pushButton_7->hide();
    ui->pushButton_8->hide();
    ui->pushButton_9->hide();
    ui->pushButton_UploadAll->hide();
    ui->pushButton_DownloadAll->hide();
    ui->tableWidget->hide();
    ui->memory->hide();
    ui->label->hide();
    ui->label_2->hide();
    ui->totalMemory->hide();
    ui->availableMemory->hide();

    on_pushButton_6_clicked();

    setWindowFlags(Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint);

    ui->tableWidget->setColumnCount(3);
    // The style's minimum section size would widen the icon column past 28.
    ui->tableWidget->horizontalHeader()->setMinimumSectionSize(16);
    ui->tableWidget->setColumnWidth(0, 28);
    ui->tableWidget->setColumnWidth(1, 230);
    ui->tableWidget->setColumnWidth(2, 77);
    ui->tableWidget->setSelectionBehavior(QAbstractItemView::SelectRows);

    ui->comboBox_2->addItem("ili9341");
    ui->comboBox_2->addItem("st7789");
    ui->comboBox_2->addItem("ili9488");
    ui->comboBox_2->addItem("st7796");

    // The change logs are UTF-8; the language handler below already reads one.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));

    for (const QString &name : languageNames())
        ui->comboBox_language->addItem(name);

    if (QLocale::system().name() == "ru_RU")
        ui->comboBox_language->setCurrentIndex(1);

    connect(ui->comboBox, QOverload<int>::of(&QComboBox::activated), this,
            [this](int index) { pickedPort = ui->comboBox->itemText(index); });
    auto *portWatch = new QTimer(this);
    connect(portWatch, &QTimer::timeout, this, &MainWindow::followPorts);
    portWatch->start(1000);
}

MainWindow::~MainWindow()
{
    delete openQuestion;
    delete ui;
}

void MainWindow::setTimings(const InstallTimings &shorter)
{
    runner->setTimings(shorter);
}

void MainWindow::setPortLister(const std::function<QVector<SeenPort>()> &lister)
{
    listPorts = lister;
    runner->setPortLister(lister);
}

// A close can't wait for an event: the installation is asked at once. The
// buttons say what they do; staying is the default.
void MainWindow::closeEvent(QCloseEvent *event)
{
    const QString question = runner->questionBeforeClosing();
    if (!question.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, windowTitle(), question, QMessageBox::Yes | QMessageBox::No);
        box.button(QMessageBox::Yes)->setText("Quit");
        box.button(QMessageBox::No)->setText(runner->isRunning() ? "Keep installing" : "Stay");
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes) {
            event->ignore();
            return;
        }
    }
    // The script may have ended while the question was open.
    runner->stopFlashing();
    if (driverScript)
        driverScript->stop();
    delete openQuestion;
    event->accept();
}

void MainWindow::log(const QString &line)
{
    ui->textBrowser->append(line);
}

// Progress repeats the same percentage for many chunks: a text that is
// already shown is not shown again, so the status bar repaints only when
// what it shows changes.
void MainWindow::showStatus(const QString &text)
{
    if (text != ui->statusbar->currentMessage())
        ui->statusbar->showMessage(text);
}
